#include "platform/host/scene_report.h"

#include <cstdarg>
#include <cstdio>

#include "platform/host/control.h"
#include "platform/host/gen_camera.h"
#include "platform/host/gen_light.h"
#include "platform/host/inode.h"
#include "platform/host/mesh_select_data.h"
#include "platform/host/modifier.h"
#include "platform/host/morpher.h"
#include "platform/host/mtl.h"
#include "platform/host/physique_interface.h"
#include "platform/host/skin_interface.h"
#include "platform/host/unwrap_interface.h"
#include "platform/text_encoding.h"

namespace KT::Host {

namespace {

// Materials nest as deep as a file makes them; the account stops here.
constexpr int kMaxMaterialDepth = 64;

class Report {
 public:
  Report(Interface& ip, const std::vector<TimeValue>& ticks) : ip_(ip), ticks_(ticks) {}
  std::string Take() { return std::move(out_); }

  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    out_.append(static_cast<std::size_t>(indent_) * 2, ' ');
    va_list args;
    va_start(args, format);
    char buffer[512];
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n >= static_cast<int>(sizeof buffer)) {
      std::vector<char> big(static_cast<std::size_t>(n) + 1);
      va_start(args, format);
      std::vsnprintf(big.data(), big.size(), format, args);
      va_end(args);
      out_ += big.data();
    } else if (n > 0) {
      out_ += buffer;
    }
    out_ += '\n';
  }

  // Host names are narrow code-page text; the account is UTF-8.
  static std::string Text(const TCHAR* narrow) {
    if (narrow == nullptr) return "(null)";
    return Platform::Utf16ToUtf8Lossy(Platform::Windows1252ToUtf16(narrow));
  }
  static std::string Numbers(const float* v, int n) {
    std::string s;
    char buffer[32];
    for (int i = 0; i < n; ++i) {
      std::snprintf(buffer, sizeof buffer, "%s%.9g", i == 0 ? "" : " ", static_cast<double>(v[i]));
      s += buffer;
    }
    return s;
  }
  static std::string Numbers(const Matrix3& m) { return Numbers(&m.m[0][0], 12); }
  static std::string Numbers(const Point3& p) { return Numbers(&p.x, 3); }

  void Node(INode* node);
  void Controller(Control* control);
  void Object(INode* node);
  void Mesh(::Mesh& mesh);
  void Material(Mtl* mtl, int depth);
  void Map(Texmap* map, int depth);
  void Modifiers(INode* node);
  void Modifier(INode* node, ::Modifier* m, ModContext* context);

  Interface& ip_;
  const std::vector<TimeValue>& ticks_;
  std::string out_;
  int indent_ = 0;
};

const char* ModifierName(const Class_ID& id) {
  if (id == SKIN_CLASS_ID) return "Skin";
  if (id == PHYSIQUE_CLASS_ID) return "Physique";
  if (id == MORPHER_CLASS_ID) return "Morpher";
  if (id == MESH_SELECT_CLASS_ID) return "MeshSelect";
  if (id == UVW_MAP_CLASS_ID) return "UvwMap";
  if (id == UNWRAP_UVW_CLASS_ID) return "Unwrap";
  return nullptr;
}

std::string ModifierList(INode* node) {
  std::string list;
  for (::Object* o = node->GetObjectRef(); o != nullptr && o->SuperClassID() == SUPER_DERIVED_OBJECT;) {
    auto* derived = static_cast<IDerivedObject*>(o);
    for (int i = 0; i < derived->NumModifiers(); ++i) {
      ::Modifier* m = derived->GetModifier(i);
      if (m == nullptr) continue;
      const Class_ID id = m->ClassID();
      char other[48];
      std::snprintf(other, sizeof other, "(0x%X, 0x%X)", id.PartA(), id.PartB());
      if (!list.empty()) list += ',';
      list += ModifierName(id) != nullptr ? ModifierName(id) : other;
    }
    o = derived->GetObjRef();
  }
  return list.empty() ? "none" : list;
}

void Report::Controller(Control* control) {
  if (control == nullptr) {
    Line("controller none");
    return;
  }
  const Class_ID id = control->ClassID();
  Line("controller (0x%X, 0x%X) inherit 0x%X", id.PartA(), id.PartB(), control->GetInheritanceFlags());
  void* biped = control->GetInterface(I_BIPED_EXPORT);
  Line("biped interface %s", biped != nullptr ? "yes" : "no");
  if (biped != nullptr) control->ReleaseInterface(I_BIPED_EXPORT, biped);
  struct Sub {
    const char* name;
    Control* c;
  } subs[] = {{"position", control->GetPositionController()},
              {"rotation", control->GetRotationController()},
              {"scale", control->GetScaleController()}};
  for (const Sub& sub : subs) {
    if (sub.c == nullptr) {
      Line("%s none", sub.name);
      continue;
    }
    for (const TimeValue t : ticks_) {
      Interval valid = ip_.GetAnimRange();
      if (sub.c == control->GetRotationController()) {
        Quat q;
        sub.c->GetValue(t, &q, valid, CTRL_ABSOLUTE);
        const float v[4] = {q.x, q.y, q.z, q.w};
        Line("%s %d: %s", sub.name, t, Numbers(v, 4).c_str());
      } else if (sub.c == control->GetScaleController()) {
        ScaleValue s;
        sub.c->GetValue(t, &s, valid, CTRL_ABSOLUTE);
        Line("%s %d: %s", sub.name, t, Numbers(s.s).c_str());
      } else {
        Point3 p;
        sub.c->GetValue(t, &p, valid, CTRL_ABSOLUTE);
        Line("%s %d: %s", sub.name, t, Numbers(p).c_str());
      }
    }
  }
}

void Report::Mesh(::Mesh& mesh) {
  mesh.buildNormals();
  Line("verts %d", mesh.getNumVerts());
  for (int i = 0; i < mesh.getNumVerts(); ++i) Line("v %s", Numbers(mesh.getVert(i)).c_str());
  Line("faces %d", mesh.getNumFaces());
  for (int f = 0; f < mesh.getNumFaces(); ++f) {
    const Face& face = mesh.faces[static_cast<std::size_t>(f)];
    Line("f %u %u %u smooth 0x%X mtl %u normal %s", face.v[0], face.v[1], face.v[2], face.smGroup,
         mesh.getFaceMtlIndex(f), Numbers(mesh.getFaceNormal(f)).c_str());
  }
  Line("colours %d colour faces %d", mesh.getNumVertCol(), static_cast<int>(mesh.vcFace.size()));
  for (const VertColor& c : mesh.vertCol) Line("c %s", Numbers(c).c_str());
  for (const TVFace& f : mesh.vcFace) Line("cf %u %u %u", f.t[0], f.t[1], f.t[2]);
  Line("maps %d", mesh.getNumMaps());
  for (int m = 0; m < mesh.getNumMaps(); ++m) {
    const MeshMap& map = mesh.Map(m);
    Line("map %d support %d verts %d faces %d", m, mesh.mapSupport(m) ? 1 : 0, map.getNumVerts(), map.getNumFaces());
    for (const UVVert& v : map.tv) Line("tv %s", Numbers(v).c_str());
    for (const TVFace& f : map.tf) Line("tf %u %u %u", f.t[0], f.t[1], f.t[2]);
  }
  MeshNormalSpec* propSpec = mesh.GetSpecifiedNormals();
  if (propSpec == nullptr) {
    Line("specified normals none");
    return;
  }
  Line("specified normals %d faces %d", propSpec->GetNumNormals(), propSpec->GetNumFaces());
  for (int i = 0; i < propSpec->GetNumNormals(); ++i) Line("n %s", Numbers(propSpec->Normal(i)).c_str());
  for (int f = 0; f < propSpec->GetNumFaces(); ++f)
    Line("nf %d %d %d", propSpec->Face(f).GetNormalID(0), propSpec->Face(f).GetNormalID(1), propSpec->Face(f).GetNormalID(2));
}

void Report::Object(INode* node) {
  for (const TimeValue t : ticks_) {
    const ObjectState os = node->EvalWorldState(t);
    ::Object* obj = os.obj;
    if (obj == nullptr) {
      Line("object %d: none", t);
      continue;
    }
    const Class_ID id = obj->ClassID();
    Line("object %d: super 0x%02X class (0x%X, 0x%X) tri %d uvw %d maps %d", t, obj->SuperClassID(), id.PartA(),
         id.PartB(), obj->CanConvertToType(TRIOBJ_CLASS_ID), obj->HasUVW(), obj->NumMaps());
    ++indent_;
    if (obj->CanConvertToType(TRIOBJ_CLASS_ID)) {
      ::Object* converted = obj->ConvertToType(t, TRIOBJ_CLASS_ID);
      if (converted == nullptr) {
        Line("conversion failed");
      } else {
        ::Mesh copy(static_cast<TriObject*>(converted)->GetMesh());
        if (converted != obj) converted->DeleteMe();
        Mesh(copy);
      }
    }
    if (obj->SuperClassID() == SUPER_LIGHT) {
      auto* light = static_cast<GenLight*>(obj);
      Interval valid = ip_.GetAnimRange();
      Line("light type %d color %s atten %.9g hotspot %.9g falloff %.9g", light->Type(),
           Numbers(light->GetRGBColor(t, valid)).c_str(), static_cast<double>(light->GetAtten(t, 3, valid)),
           static_cast<double>(light->GetHotspot(t, valid)), static_cast<double>(light->GetFallsize(t, valid)));
    }
    if (obj->SuperClassID() == SUPER_CAMERA) {
      CameraState cs;
      cs.size = 40;
      Interval valid(TIME_NegInfinity, TIME_PosInfinity);
      const int r = static_cast<GenCamera*>(obj)->EvalCameraState(t, valid, &cs);
      Line("camera %d ortho %d fov %.9g tdist %.9g horzLine %d manualClip %d hither %.9g yon %.9g near %.9g far %.9g", r,
           cs.isOrtho, static_cast<double>(cs.fov), static_cast<double>(cs.tdist), cs.horzLine, cs.manualClip,
           static_cast<double>(cs.hither), static_cast<double>(cs.yon), static_cast<double>(cs.nearRange),
           static_cast<double>(cs.farRange));
    }
    --indent_;
  }
}

void Report::Map(Texmap* map, int depth) {
  if (map == nullptr) {
    Line("map none");
    return;
  }
  if (depth > kMaxMaterialDepth) {
    Line("map ...");
    return;
  }
  const Class_ID id = map->ClassID();
  Line("map (0x%X, 0x%X) \"%s\" uvwSource %d channel %d reflection %s", id.PartA(), id.PartB(), Text(map->GetName()).c_str(),
       map->GetUVWSource(), map->GetMapChannel(), map->GetInterface(I_REFLECTION_MAP) != nullptr ? "yes" : "no");
  ++indent_;
  if (id == BITMAP_TEX_CLASS_ID) Line("file \"%s\"", Text(static_cast<BitmapTex*>(map)->GetMapName()).c_str());
  if (UVGen* gen = map->GetTheUVGen()) {
    auto* std = static_cast<StdUVGen*>(gen);
    for (const TimeValue t : ticks_)
      Line("uv %d: offset %.9g %.9g tiling %.9g %.9g", t, static_cast<double>(std->GetUOffs(t)),
           static_cast<double>(std->GetVOffs(t)), static_cast<double>(std->GetUScl(t)), static_cast<double>(std->GetVScl(t)));
  }
  for (int i = 0; i < map->NumSubTexmaps(); ++i) Map(map->GetSubTexmap(i), depth + 1);
  --indent_;
}

void Report::Material(Mtl* mtl, int depth) {
  if (mtl == nullptr) {
    Line("material none");
    return;
  }
  if (depth > kMaxMaterialDepth) {
    Line("material ...");
    return;
  }
  const Class_ID id = mtl->ClassID();
  Line("material (0x%X, 0x%X) \"%s\" subs %d maps %d", id.PartA(), id.PartB(), Text(mtl->GetName()).c_str(),
       mtl->NumSubMtls(), mtl->NumSubTexmaps());
  ++indent_;
  if (id == STANDARD_MTL_CLASS_ID) {
    auto* std = static_cast<StdMat*>(mtl);
    Line("twoSided %d", std->GetTwoSided());
    for (const TimeValue t : ticks_) {
      const Color a = std->GetAmbient(t), d = std->GetDiffuse(t), s = std->GetSpecular(t), f = std->GetFilter(t);
      const float colours[12] = {a.r, a.g, a.b, d.r, d.g, d.b, s.r, s.g, s.b, f.r, f.g, f.b};
      const float factors[7] = {std->GetShininess(t), std->GetShinStr(t),   std->GetSelfIllum(t), std->GetOpacity(t),
                                std->GetOpacFalloff(t), std->GetWireSize(t), std->GetIOR(t)};
      float amounts[STD_MAT_SLOT_COUNT];
      for (int i = 0; i < STD_MAT_SLOT_COUNT; ++i) amounts[i] = std->GetTexmapAmt(i, t);
      Line("at %d: colours %s factors %s amounts %s", t, Numbers(colours, 12).c_str(), Numbers(factors, 7).c_str(),
           Numbers(amounts, STD_MAT_SLOT_COUNT).c_str());
    }
  }
  for (int i = 0; i < mtl->NumSubMtls(); ++i) Material(mtl->GetSubMtl(i), depth + 1);
  for (int i = 0; i < mtl->NumSubTexmaps(); ++i) {
    Line("slot %d", i);
    ++indent_;
    Map(mtl->GetSubTexmap(i), depth + 1);
    --indent_;
  }
  --indent_;
}

void Report::Modifier(INode* node, ::Modifier* m, ModContext* context) {
  const Class_ID id = m->ClassID();
  Line("modifier (0x%X, 0x%X) excluded %s", id.PartA(), id.PartB(),
       m->GetInterface(MODIFIER_EXCLUDED_INTERFACE) != nullptr ? "yes" : "no");
  ++indent_;
  if (id == SKIN_CLASS_ID) {
    auto* skin = static_cast<ISkin*>(m->GetInterface(I_SKIN_INTERFACE));
    if (skin != nullptr) {
      for (int b = 0; b < skin->GetNumBones(); ++b)
        Line("bone %d \"%s\"", b, skin->GetBone(b) != nullptr ? Text(skin->GetBone(b)->GetName()).c_str() : "(null)");
      ISkinContextData* data = skin->GetContextInterface(node);
      Line("points %d", data != nullptr ? data->GetNumPoints() : -1);
      for (int i = 0; data != nullptr && i < data->GetNumPoints(); ++i) {
        std::string weights;
        for (int j = 0; j < data->GetNumAssignedBones(i); ++j) {
          char buffer[64];
          std::snprintf(buffer, sizeof buffer, " %d:%.9g", data->GetAssignedBone(i, j),
                        static_cast<double>(data->GetBoneWeight(i, j)));
          weights += buffer;
        }
        Line("vertex %d bones %d%s", i, data->GetNumAssignedBones(i), weights.c_str());
      }
      m->ReleaseInterface(I_SKIN_INTERFACE, skin);
    }
  } else if (id == PHYSIQUE_CLASS_ID) {
    auto* phy = static_cast<IPhysiqueExport*>(m->GetInterface(I_PHYSIQUE_EXPORT));
    IPhyContextExport* ctx = phy != nullptr ? phy->GetContextInterface(node) : nullptr;
    Line("context %s", ctx != nullptr ? "yes" : "no");
    if (ctx != nullptr) {
      ctx->ConvertToRigid(TRUE);
      ctx->AllowBlending(TRUE);
      for (int i = 0; i < ctx->GetNumberVertices(); ++i) {
        IPhyVertexExport* v = ctx->GetVertexInterface(i);
        if (v == nullptr) {
          Line("vertex %d none", i);
          continue;
        }
        if (v->GetVertexType() == RIGID_TYPE) {
          INode* bone = static_cast<IPhyRigidVertex*>(v)->GetNode();
          Line("vertex %d rigid \"%s\"", i, bone != nullptr ? Text(bone->GetName()).c_str() : "(null)");
        } else {
          auto* blended = static_cast<IPhyBlendedRigidVertex*>(v);
          std::string weights;
          for (int j = 0; j < blended->GetNumberNodes(); ++j) {
            INode* bone = blended->GetNode(j);
            weights += " \"" + (bone != nullptr ? Text(bone->GetName()) : std::string("(null)")) + "\":" +
                       Numbers(std::vector<float>{blended->GetWeight(j)}.data(), 1);
          }
          Line("vertex %d type %d%s", i, v->GetVertexType(), weights.c_str());
        }
        ctx->ReleaseVertexInterface(v);
      }
      phy->ReleaseContextInterface(ctx);
    }
    if (phy != nullptr) m->ReleaseInterface(I_PHYSIQUE_EXPORT, phy);
  } else if (id == MORPHER_CLASS_ID) {
    auto* morpher = static_cast<MorpherModifier*>(m);
    for (int c = 0; c < morpher->NumChannels(); ++c) {
      Line("channel \"%s\" deltas %d", Text(morpher->GetChannelName(c)).c_str(), morpher->NumChannelDeltas(c));
      for (int k = 0; k < morpher->NumChannelDeltas(c); ++k) Line("  d %s", Numbers(morpher->GetChannelDelta(c, k)).c_str());
    }
  } else if (id == MESH_SELECT_CLASS_ID) {
    auto* data = (context != nullptr && context->localData != nullptr)
                     ? static_cast<IMeshSelectData*>(context->localData->GetInterface(I_MESH_SELECT_DATA))
                     : nullptr;
    if (data != nullptr) {
      GenericNamedSelSetList& list = data->GetNamedVertSelList();
      for (int i = 0; i < list.Count(); ++i) {
        BitArray* bits = list.GetSetByIndex(i);
        std::string on;
        for (int b = 0; bits != nullptr && b < bits->GetSize(); ++b)
          if (bits->GetNthBitImpl(b) > 0) {
            on += ' ';
            on += std::to_string(b);
          }
        Line("set \"%s\" size %d empty %d bits%s", Text(list.GetName(i)).c_str(), bits != nullptr ? bits->GetSize() : -1,
             bits != nullptr && bits->IsEmpty() ? 1 : 0, on.c_str());
      }
    }
  } else if (id == UVW_MAP_CLASS_ID) {
    int channel = -1;
    Interval valid(TIME_NegInfinity, TIME_PosInfinity);
    const BOOL found = m->GetParamValue(UVW_MAP_PARAM_CHANNEL, 0, channel, valid);
    Line("channel %d (found %d)", channel, found);
  } else if (id == UNWRAP_UVW_CLASS_ID) {
    auto* unwrap = dynamic_cast<IUnwrapChannel*>(m->GetInterface(UNWRAP_CHANNEL_INTERFACE));
    Line("channel %d", unwrap != nullptr ? unwrap->GetMapChannel() : -1);
  }
  --indent_;
}

void Report::Modifiers(INode* node) {
  for (::Object* o = node->GetObjectRef(); o != nullptr && o->SuperClassID() == SUPER_DERIVED_OBJECT;) {
    auto* derived = static_cast<IDerivedObject*>(o);
    for (int i = 0; i < derived->NumModifiers(); ++i)
      if (derived->GetModifier(i) != nullptr) Modifier(node, derived->GetModifier(i), derived->GetModContext(i));
    o = derived->GetObjRef();
  }
}

void Report::Node(INode* node) {
  INode* parent = node->GetParentNode();
  Line("flags root %d selected %d shadows %d %d hidden %d wire 0x%06X", node->IsRootNode(), node->Selected(),
       node->CastShadows(), node->RcvShadows(), node->IsHidden(), node->GetWireColor());
  INode* byName = ip_.GetINodeByName(node->GetName());
  Line("by name %s", byName == node ? "itself" : (byName != nullptr ? "another node" : "none"));
  Line("parent is root %d", parent != nullptr ? parent->IsRootNode() : -1);
  Controller(node->GetTMController());
  for (const TimeValue t : ticks_) {
    Line("parent tm %d: %s", t, Numbers(node->GetParentTM(t)).c_str());
    Line("object tm %d: %s", t, Numbers(node->GetObjectTM(t)).c_str());
  }
  Object(node);
  Material(node->GetMtl(), 0);
  Modifiers(node);
}

struct Collect : ITreeEnumProc {
  std::vector<INode*> nodes;
  int callback(INode* node) override {
    nodes.push_back(node);
    return 0;
  }
};

}  // namespace

std::string ReportScene(Interface& ip, IScene& scene, const std::vector<std::u16string>& propertyNames,
                        const std::vector<TimeValue>& ticks, ReportDetail detail) {
  Report r(ip, ticks);
  Collect collect;
  scene.EnumTree(&collect);
  const Interval range = ip.GetAnimRange();
  r.Line("scene ticksPerFrame %d range %d %d nodes %d", GetTicksPerFrame(), range.Start(), range.End(),
         static_cast<int>(collect.nodes.size()));
  for (const std::u16string& name : propertyNames) {
    std::u16string buffer = name;
    PROPSPEC propSpec;
    propSpec.ulKind = PRSPEC_LPWSTR;
    propSpec.lpwstr = buffer.data();
    const int index = ip.FindProperty(PROPSET_USERDEFINED, &propSpec);
    const PROPVARIANT* value = index >= 0 ? ip.GetPropertyVariant(PROPSET_USERDEFINED, index) : nullptr;
    const std::string shown = Platform::Utf16ToUtf8Lossy(name);
    if (value == nullptr) {
      r.Line("property \"%s\" missing", shown.c_str());
    } else if (value->vt == VT_I4) {
      r.Line("property \"%s\" int %d", shown.c_str(), static_cast<int>(value->lVal));
    } else if (value->vt == VT_LPSTR) {
      r.Line("property \"%s\" string \"%s\"", shown.c_str(), Report::Text(value->pszVal).c_str());
    } else {
      r.Line("property \"%s\" type %d", shown.c_str(), static_cast<int>(value->vt));
    }
  }
  for (INode* node : collect.nodes) {
    INode* parent = node->GetParentNode();
    Mtl* mtl = node->GetMtl();
    const ObjectState os = node->EvalWorldState(0);
    const Class_ID id = os.obj != nullptr ? os.obj->ClassID() : Class_ID();
    r.Line("node \"%s\" parent \"%s\" super 0x%02X class (0x%X, 0x%X) material \"%s\" modifiers %s",
           Report::Text(node->GetName()).c_str(), parent != nullptr ? Report::Text(parent->GetName()).c_str() : "",
           os.obj != nullptr ? os.obj->SuperClassID() : 0u, id.PartA(), id.PartB(),
           mtl != nullptr ? Report::Text(mtl->GetName()).c_str() : "", ModifierList(node).c_str());
    ++r.indent_;
    for (const TimeValue t : ticks) r.Line("tm %d: %s", t, Report::Numbers(node->GetNodeTM(t)).c_str());
    if (detail == ReportDetail::kFull) r.Node(node);
    --r.indent_;
  }
  return r.Take();
}

}  // namespace KT::Host
