// Writing the scene description file.
#include <tinyxml.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/text_encoding.h"

namespace KT::Host {

namespace {

// Nine significant digits give every float back exactly.
std::string Number(float v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
  return buffer;
}

std::string Numbers(const float* v, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += ' ';
    out += Number(v[i]);
  }
  return out;
}

std::string Numbers(const std::vector<float>& v) { return Numbers(v.data(), v.size()); }
std::string Numbers(const Point3& p) { return Numbers(&p.x, 3); }
std::string Numbers(const Quat& q) {
  const float v[4] = {q.x, q.y, q.z, q.w};
  return Numbers(v, 4);
}

std::string Points(const std::vector<Point3>& points) {
  std::string out;
  for (const Point3& p : points) {
    if (!out.empty()) out += ' ';
    out += Numbers(p);
  }
  return out;
}

template <typename Triple>
std::string Indices(const std::vector<Triple>& triples) {
  std::string out;
  for (const auto& t : triples) {
    for (const auto i : t) {
      if (!out.empty()) out += ' ';
      out += std::to_string(i);
    }
  }
  return out;
}

// "0 3 7-9" for bits 0, 3, 7, 8 and 9 (the list is ascending).
std::string Bits(const std::vector<int>& bits) {
  std::string out;
  for (std::size_t i = 0; i < bits.size();) {
    std::size_t j = i;
    while (j + 1 < bits.size() && bits[j + 1] == bits[j] + 1) ++j;
    if (!out.empty()) out += ' ';
    out += std::to_string(bits[i]);
    if (j > i) out += '-' + std::to_string(bits[j]);
    i = j + 1;
  }
  return out;
}

bool IsIdentity(const Matrix3& m) { return m == Matrix3(); }

class Writer {
 public:
  explicit Writer(const SceneDescription& d) : d_(d) {}
  bool Write(TiXmlDocument& doc);
  const std::string& Error() const { return error_; }

 private:
  std::string Utf8(const std::string& narrow) {
    std::string out;
    Platform::Utf16ToUtf8(Platform::Windows1252ToUtf16(narrow), out);
    return out;
  }
  TiXmlElement* Add(TiXmlElement* parent, const char* name) {
    return parent->LinkEndChild(new TiXmlElement(name))->ToElement();
  }
  void AddText(TiXmlElement* parent, const char* name, const std::string& text) {
    TiXmlElement* e = Add(parent, name);
    e->LinkEndChild(new TiXmlText(text));
  }
  void Keys(TiXmlElement* parent, const KeyList<std::vector<float>>& keys) {
    for (const auto& k : keys) {
      TiXmlElement* key = Add(parent, "Key");
      key->SetAttribute("t", k.t);
      key->SetAttribute("v", Numbers(k.v));
    }
  }
  void Params(TiXmlElement* e, const ParamSet& params) {
    for (const auto& [name, value] : params.values)
      if (name.rfind("amount:", 0) != 0) e->SetAttribute(name, Numbers(value));
  }
  void Tracks(TiXmlElement* e, const ParamSet& params) {
    for (const auto& [name, keys] : params.tracks) {
      TiXmlElement* track = Add(e, "Track");
      track->SetAttribute("param", name);
      Keys(track, keys);
    }
  }
  void Bitmap(TiXmlElement* parent, const BitmapDesc& b);
  void Map(TiXmlElement* parent, const MapDesc& map);
  void Material(TiXmlElement* top, const MaterialDesc& m);
  void Node(TiXmlElement* top, int index);
  void Mesh(TiXmlElement* parent, const MeshDesc& mesh);
  void Modifier(TiXmlElement* parent, const ModifierDesc& m);

  const SceneDescription& d_;
  std::string error_;
};

void Writer::Bitmap(TiXmlElement* parent, const BitmapDesc& b) {
  TiXmlElement* e = Add(parent, "Bitmap");
  e->SetAttribute("file", Utf8(b.file));
  e->SetAttribute("uvwSource", b.uvwSource);
  e->SetAttribute("channel", b.channel);
  e->SetAttribute("uOffset", Number(b.uOffset));
  e->SetAttribute("vOffset", Number(b.vOffset));
  e->SetAttribute("uTiling", Number(b.uTiling));
  e->SetAttribute("vTiling", Number(b.vTiling));
}

void Writer::Map(TiXmlElement* parent, const MapDesc& map) {
  switch (map.kind) {
    case MapKind::kBitmap:
      if (map.bitmap.has_value()) Bitmap(parent, *map.bitmap);
      break;
    case MapKind::kNormalBump: {
      TiXmlElement* e = Add(parent, "NormalBump");
      if (map.bitmap.has_value()) Bitmap(e, *map.bitmap);
      break;
    }
    case MapKind::kReflection:
      Add(parent, "Reflection");
      break;
  }
}

void Writer::Material(TiXmlElement* top, const MaterialDesc& m) {
  TiXmlElement* e = Add(top, "Material");
  e->SetAttribute("id", m.id);
  e->SetAttribute("name", Utf8(m.name));
  switch (m.cls) {
    case MaterialClass::kStandard: {
      e->SetAttribute("class", "standard");
      Params(e, m.params);
      if (m.twoSided) e->SetAttribute("twoSided", 1);
      Tracks(e, m.params);
      for (std::size_t i = 0; i < m.slots.size(); ++i) {
        const SlotDesc& slot = m.slots[i];
        if (!slot.map.has_value() || (slot.map->kind == MapKind::kBitmap && !slot.map->bitmap.has_value())) continue;
        TiXmlElement* s = Add(e, "Slot");
        s->SetAttribute("index", static_cast<int>(i));
        s->SetAttribute("amount", Number(slot.amount));
        Map(s, *slot.map);
      }
      break;
    }
    case MaterialClass::kMulti:
    case MaterialClass::kBlend:
      e->SetAttribute("class", m.cls == MaterialClass::kMulti ? "multi" : "blend");
      for (const std::string& sub : m.subs) {
        TiXmlElement* s = Add(e, "Sub");
        if (!sub.empty()) s->SetAttribute("ref", sub);
      }
      if (m.cls == MaterialClass::kBlend && m.mask.has_value()) Map(Add(e, "Mask"), *m.mask);
      break;
  }
}

void Writer::Mesh(TiXmlElement* parent, const MeshDesc& mesh) {
  TiXmlElement* e = Add(parent, "Mesh");
  if (!mesh.verts.empty()) AddText(e, "Verts", Points(mesh.verts));
  for (const FaceDesc& f : mesh.faces) {
    TiXmlElement* face = Add(e, "Face");
    face->SetAttribute("v", Indices(std::vector<std::array<DWORD, 3>>{f.v}));
    if (f.smooth != 0) face->SetAttribute("smooth", std::to_string(f.smooth));
    if (f.mtl != 0) face->SetAttribute("mtl", std::to_string(f.mtl));
  }
  if (!mesh.colors.empty()) AddText(e, "Colors", Points(mesh.colors));
  if (!mesh.colorFaces.empty()) AddText(e, "ColorFaces", Indices(mesh.colorFaces));
  for (const MapChannelDesc& map : mesh.maps) {
    TiXmlElement* m = Add(e, "Map");
    m->SetAttribute("channel", map.channel);
    AddText(m, "Verts", Points(map.verts));
    AddText(m, "Faces", Indices(map.faces));
    for (const auto& key : map.keys) {
      TiXmlElement* verts = Add(m, "Verts");
      verts->SetAttribute("t", key.t);
      verts->LinkEndChild(new TiXmlText(Points(key.v)));
    }
  }
  if (!mesh.normals.empty() || !mesh.normalFaces.empty()) {
    TiXmlElement* n = Add(e, "Normals");
    AddText(n, "Verts", Points(mesh.normals));
    AddText(n, "Faces", Indices(mesh.normalFaces));
  }
}

void Writer::Modifier(TiXmlElement* parent, const ModifierDesc& m) {
  auto nodeName = [&](int index) { return Utf8(d_.nodes[static_cast<std::size_t>(index)].name); };
  switch (m.kind) {
    case ModifierKind::kSkin:
    case ModifierKind::kPhysique: {
      const bool skin = m.kind == ModifierKind::kSkin;
      TiXmlElement* e = Add(parent, skin ? "Skin" : "Physique");
      for (const int bone : m.bones) Add(e, "Bone")->SetAttribute("node", nodeName(bone));
      for (const VertexWeightsDesc& v : m.vertices) {
        TiXmlElement* vertex = Add(e, "Vertex");
        vertex->SetAttribute("i", v.i);
        if (!skin) vertex->SetAttribute("type", v.type);
        for (const WeightDesc& w : v.weights) {
          TiXmlElement* weight = Add(vertex, "W");
          if (skin) {
            weight->SetAttribute("bone", w.target);
          } else {
            weight->SetAttribute("node", nodeName(w.target));
          }
          weight->SetAttribute("w", Number(w.w));
        }
      }
      break;
    }
    case ModifierKind::kMorpher: {
      TiXmlElement* e = Add(parent, "Morpher");
      for (const MorphChannelDesc& c : m.channels) {
        TiXmlElement* channel = Add(e, "Channel");
        channel->SetAttribute("name", Utf8(c.name));
        for (std::size_t i = 0; i < c.deltas.size(); ++i) {
          TiXmlElement* delta = Add(channel, "D");
          delta->SetAttribute("i", static_cast<int>(i));
          delta->SetAttribute("v", Numbers(c.deltas[i]));
        }
      }
      break;
    }
    case ModifierKind::kMeshSelect: {
      TiXmlElement* e = Add(parent, "MeshSelect");
      if (m.excluded) e->SetAttribute("excluded", 1);
      for (const SelectionSetDesc& s : m.sets) {
        TiXmlElement* set = Add(e, "Set");
        set->SetAttribute("name", Utf8(s.name));
        set->SetAttribute("size", s.size);
        set->SetAttribute("bits", Bits(s.bits));
      }
      break;
    }
    case ModifierKind::kUvwMap:
    case ModifierKind::kUnwrap: {
      TiXmlElement* e = Add(parent, m.kind == ModifierKind::kUvwMap ? "UvwMap" : "Unwrap");
      e->SetAttribute("channel", m.channel);
      if (m.excluded) e->SetAttribute("excluded", 1);
      break;
    }
  }
}

void Writer::Node(TiXmlElement* top, int index) {
  const NodeDesc& n = d_.nodes[static_cast<std::size_t>(index)];
  TiXmlElement* e = Add(top, "Node");
  e->SetAttribute("name", Utf8(n.name));
  if (n.parent >= 0) e->SetAttribute("parent", Utf8(d_.nodes[static_cast<std::size_t>(n.parent)].name));
  if (n.selected) e->SetAttribute("selected", 1);
  if (n.hidden) e->SetAttribute("hidden", 1);
  if (!n.castShadows) e->SetAttribute("castShadows", 0);
  if (!n.receiveShadows) e->SetAttribute("receiveShadows", 0);
  if (n.wireColor != 0) {
    e->SetAttribute("wireColor", std::to_string(GetRValue(n.wireColor)) + " " + std::to_string(GetGValue(n.wireColor)) +
                                     " " + std::to_string(GetBValue(n.wireColor)));
  }
  if (!n.material.empty()) e->SetAttribute("material", n.material);
  if (!IsIdentity(n.local)) e->SetAttribute("local", Numbers(&n.local.m[0][0], 12));
  if (n.controller != ControllerKind::kNone) {
    TiXmlElement* t = Add(e, "Transform");
    static const char* const kKinds[] = {"", "prs", "bipedSlave", "bipedBody", "footstep"};
    t->SetAttribute("controller", kKinds[static_cast<int>(n.controller)]);
    if (n.inherit != 0) t->SetAttribute("inherit", std::to_string(n.inherit));
    if (n.position) {
      TiXmlElement* p = Add(t, "Position");
      for (const auto& k : *n.position) {
        TiXmlElement* key = Add(p, "Key");
        key->SetAttribute("t", k.t);
        key->SetAttribute("v", Numbers(k.v));
      }
    }
    if (n.rotation) {
      TiXmlElement* r = Add(t, "Rotation");
      for (const auto& k : *n.rotation) {
        TiXmlElement* key = Add(r, "Key");
        key->SetAttribute("t", k.t);
        key->SetAttribute("v", Numbers(k.v));
      }
    }
    if (n.scale) {
      TiXmlElement* s = Add(t, "Scale");
      for (const auto& k : *n.scale) {
        TiXmlElement* key = Add(s, "Key");
        key->SetAttribute("t", k.t);
        key->SetAttribute("v", Numbers(k.v));
      }
    }
  }
  if (!(n.offsetPos == Point3()) || !(n.offsetRot == Quat()) || !(n.offsetScale == Point3(1.0f, 1.0f, 1.0f))) {
    TiXmlElement* o = Add(e, "Offset");
    o->SetAttribute("pos", Numbers(n.offsetPos));
    o->SetAttribute("rot", Numbers(n.offsetRot));
    o->SetAttribute("scale", Numbers(n.offsetScale));
  }
  switch (n.object) {
    case ObjectKind::kHelper:
      break;  // no object element means a helper
    case ObjectKind::kMesh:
      Mesh(e, n.mesh);
      break;
    case ObjectKind::kBone:
      Add(e, "Bone");
      break;
    case ObjectKind::kLight: {
      TiXmlElement* l = Add(e, "Light");
      l->SetAttribute("type", n.light.type);
      Params(l, n.light.params);
      Tracks(l, n.light.params);
      break;
    }
    case ObjectKind::kCamera: {
      TiXmlElement* c = Add(e, "Camera");
      if (n.camera.ortho) c->SetAttribute("ortho", 1);
      c->SetAttribute("horzLine", n.camera.horzLine);
      c->SetAttribute("manualClip", n.camera.manualClip);
      Params(c, n.camera.params);
      Tracks(c, n.camera.params);
      break;
    }
  }
  if (!n.modifiers.empty()) {
    TiXmlElement* mods = Add(e, "Modifiers");
    for (const ModifierDesc& m : n.modifiers) Modifier(mods, m);
  }
}

bool Writer::Write(TiXmlDocument& doc) {
  error_ = CheckDescription(d_);
  if (!error_.empty()) return false;
  doc.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
  TiXmlElement* top = doc.LinkEndChild(new TiXmlElement("HostScene"))->ToElement();
  top->SetAttribute("ticksPerFrame", d_.ticksPerFrame);
  top->SetAttribute("start", d_.start);
  top->SetAttribute("end", d_.end);
  top->SetAttribute("root", Utf8(d_.rootName));
  for (const PropertyDesc& p : d_.properties) {
    TiXmlElement* e = Add(top, "Property");
    std::string name;
    if (!Platform::Utf16ToUtf8(p.name, name)) {
      error_ = "a property name is not valid UTF-16";
      return false;
    }
    e->SetAttribute("name", name);
    e->SetAttribute("type", p.isString ? "string" : "int");
    e->SetAttribute("value", p.isString ? Utf8(p.text) : std::to_string(p.intValue));
  }
  for (const std::string& folder : d_.mapFolders) Add(top, "MapFolder")->SetAttribute("path", folder);
  for (const MaterialDesc& m : d_.materials) Material(top, m);
  // The scene tree's order, parents first, so every parent name is written
  // before the nodes that name it.
  std::vector<std::vector<int>> children(d_.nodes.size() + 1);
  for (std::size_t i = 0; i < d_.nodes.size(); ++i)
    children[static_cast<std::size_t>(d_.nodes[i].parent + 1)].push_back(static_cast<int>(i));
  std::vector<int> stack(children[0].rbegin(), children[0].rend());
  while (!stack.empty()) {
    const int at = stack.back();
    stack.pop_back();
    Node(top, at);
    const auto& below = children[static_cast<std::size_t>(at + 1)];
    stack.insert(stack.end(), below.rbegin(), below.rend());
  }
  return true;
}

}  // namespace

bool FormatDescription(const SceneDescription& description, std::string& text, std::string& error) {
  TiXmlDocument doc;
  Writer writer(description);
  if (!writer.Write(doc)) {
    error = writer.Error();
    return false;
  }
  TiXmlPrinter printer;
  printer.SetIndent("  ");
  doc.Accept(&printer);
  text = printer.CStr();
  error.clear();
  return true;
}

bool WriteDescriptionFile(const SceneDescription& description, const std::string& path, std::string& error) {
  std::string text;
  if (!FormatDescription(description, text, error)) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace KT::Host
