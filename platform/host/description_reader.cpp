// Reading the scene description file.
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>
#include <type_traits>

#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/host/physique_interface.h"
#include "platform/text_encoding.h"

namespace KT::Host {

namespace {

// Our format nests six levels deep; the XML parser recurses per level, so a
// hostile file is refused before parsing when it nests much deeper.
constexpr int kMaxDepth = 32;
// Bit counts and delta indices: beyond these a file asks for absurd memory.
constexpr long long kMaxIndex = 1 << 24;
constexpr int kMaxMapChannel = 99;  // as CheckMesh allows

// The deepest element nesting of an XML text and the line where it is
// first exceeded; quotes, comments, declarations and CDATA are skipped.
bool DepthWithin(const std::string& text, int limit, int& line) {
  int depth = 0;
  line = 1;
  std::size_t i = 0;
  auto skipTo = [&](const char* end) {
    const std::size_t at = text.find(end, i);
    const std::size_t stop = at == std::string::npos ? text.size() : at + std::char_traits<char>::length(end);
    for (; i < stop; ++i)
      if (text[i] == '\n') ++line;
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (c != '<') {
      ++i;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      skipTo("-->");
      continue;
    }
    if (text.compare(i, 9, "<![CDATA[") == 0) {
      skipTo("]]>");
      continue;
    }
    if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
      skipTo(">");
      continue;
    }
    const bool closing = i + 1 < text.size() && text[i + 1] == '/';
    // Find the tag's end outside quotes.
    char quote = 0;
    std::size_t j = i + 1;
    for (; j < text.size(); ++j) {
      const char d = text[j];
      if (d == '\n') ++line;
      if (quote != 0) {
        if (d == quote) quote = 0;
      } else if (d == '"' || d == '\'') {
        quote = d;
      } else if (d == '>') {
        break;
      }
    }
    const bool selfClosing = j < text.size() && j > i && text[j - 1] == '/';
    if (closing) {
      --depth;
    } else if (!selfClosing) {
      if (++depth > limit) return false;
    }
    i = j + 1;
  }
  return true;
}

class Reader {
 public:
  Reader(std::string folder, SceneDescription& out) : folder_(std::move(folder)), out_(out) {}

  bool Read(const TiXmlDocument& doc);
  const std::string& Error() const { return error_; }

 private:
  // A reference by name, resolved once every node is known.
  struct NodeRef {
    int line = 0;
    int from = 0;  // the referring node
    bool strictlyBefore = false;
    std::string name;
    bool parent = false;  // a parent reference (the root may answer it)
  };

  bool Fail(const TiXmlNode* at, const std::string& message) {
    if (error_.empty()) error_ = "line " + std::to_string(at != nullptr ? at->Row() : 0) + ": " + message;
    return false;
  }

  bool Attributes(const TiXmlElement* e, std::initializer_list<const char*> allowed);
  bool Children(const TiXmlElement* e, bool text);
  bool Narrow(const TiXmlElement* e, const std::string& utf8, std::string& out);
  bool NarrowAttr(const TiXmlElement* e, const char* name, std::string& out, bool required);
  // Numbers separated by white space; a float must be finite.
  template <typename T>
  bool Numbers(const TiXmlElement* e, const std::string& text, std::vector<T>& out, const char* what);
  bool Floats(const TiXmlElement* e, const std::string& text, std::vector<float>& out, const char* what) {
    return Numbers(e, text, out, what);
  }
  bool Ints(const TiXmlElement* e, const std::string& text, std::vector<long long>& out, const char* what) {
    return Numbers(e, text, out, what);
  }
  bool FloatAttr(const TiXmlElement* e, const char* name, std::vector<float>& out, std::size_t count, bool required);
  bool FloatAttr(const TiXmlElement* e, const char* name, float& out);
  bool IntAttr(const TiXmlElement* e, const char* name, long long& out, long long min, long long max, bool required);
  template <typename T>
  bool IntAttr(const TiXmlElement* e, const char* name, T& out, long long min, long long max) {
    long long v = static_cast<long long>(out);
    if (!IntAttr(e, name, v, min, max, false)) return false;
    out = static_cast<T>(v);
    return true;
  }
  bool BoolAttr(const TiXmlElement* e, const char* name, bool& out);
  // One of a list of words; `out` keeps its value when the attribute is absent.
  template <typename T>
  bool Choice(const TiXmlElement* e, const char* name, std::initializer_list<std::pair<const char*, T>> words, T& out) {
    const char* v = e->Attribute(name);
    if (v == nullptr) return true;
    std::string all;
    for (const auto& [word, value] : words) {
      if (std::string(word) == v) {
        out = value;
        return true;
      }
      all += all.empty() ? word : std::string(", ") + word;
    }
    return Fail(e, std::string("'") + name + "' must be one of " + all);
  }
  bool Text(const TiXmlElement* e, std::string& out);

  bool ReadProperty(const TiXmlElement* e);
  bool ReadMapFolder(const TiXmlElement* e);
  bool ReadMaterial(const TiXmlElement* e);
  bool ReadMap(const TiXmlElement* e, MapDesc& out);
  bool ReadBitmap(const TiXmlElement* e, BitmapDesc& out);
  bool ReadSingleMap(const TiXmlElement* e, MapDesc& out);
  bool ReadTrack(const TiXmlElement* e, ParamSet& params, const std::map<std::string, std::size_t>& arity);
  bool ReadNode(const TiXmlElement* e);
  bool ReadTransform(const TiXmlElement* e, NodeDesc& node);
  bool ReadMesh(const TiXmlElement* e, MeshDesc& mesh);
  bool ReadMapChannel(const TiXmlElement* e, MapChannelDesc& map);
  bool ReadLight(const TiXmlElement* e, LightDesc& light);
  // A light's or camera's parameter attributes and their tracks.
  bool ReadKeyable(const TiXmlElement* e, ParamSet& params, const std::map<std::string, std::size_t>& arity);
  bool ReadCamera(const TiXmlElement* e, CameraDesc& camera);
  bool ReadModifiers(const TiXmlElement* e, int node);
  bool ReadWeights(const TiXmlElement* e, ModifierDesc& m, int node, const char* targetAttr);
  bool ParseBits(const TiXmlElement* e, const std::string& text, SelectionSetDesc& set);
  bool Resolve();

  std::string folder_;
  SceneDescription& out_;
  std::string error_;
  std::vector<NodeRef> refs_;
  std::vector<int> nodeLines_;
  std::vector<std::pair<int, std::string>> materialRefs_;  // line, id
  std::vector<int> materialLines_;
};

bool Reader::Attributes(const TiXmlElement* e, std::initializer_list<const char*> allowed) {
  for (const TiXmlAttribute* a = e->FirstAttribute(); a != nullptr; a = a->Next()) {
    bool known = false;
    for (const char* name : allowed) known = known || std::string(name) == a->Name();
    if (!known) return Fail(e, std::string("unknown attribute '") + a->Name() + "' of <" + e->Value() + ">");
  }
  return true;
}

bool Reader::Children(const TiXmlElement* e, bool text) {
  for (const TiXmlNode* c = e->FirstChild(); c != nullptr; c = c->NextSibling()) {
    if (c->Type() == TiXmlNode::TINYXML_TEXT && !text) return Fail(c, std::string("<") + e->Value() + "> holds no text");
    if (c->Type() == TiXmlNode::TINYXML_ELEMENT && text)
      return Fail(c, std::string("unknown element <") + c->Value() + "> in <" + e->Value() + ">");
  }
  return true;
}

bool Reader::Narrow(const TiXmlElement* e, const std::string& utf8, std::string& out) {
  std::u16string wide;
  if (!Platform::Utf8ToUtf16(utf8, wide)) return Fail(e, "text is not UTF-8");
  if (!Platform::Utf16ToWindows1252(wide, out)) return Fail(e, "text '" + utf8 + "' has characters the host's code page lacks");
  return true;
}

bool Reader::NarrowAttr(const TiXmlElement* e, const char* name, std::string& out, bool required) {
  const char* v = e->Attribute(name);
  if (v == nullptr) return required ? Fail(e, std::string("<") + e->Value() + "> needs '" + name + "'") : true;
  return Narrow(e, v, out);
}

template <typename T>
bool Reader::Numbers(const TiXmlElement* e, const std::string& text, std::vector<T>& out, const char* what) {
  out.clear();
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (true) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return true;
    T v = 0;
    const auto r = std::from_chars(p, end, v);
    bool bad = r.ec != std::errc() || (r.ptr < end && !std::isspace(static_cast<unsigned char>(*r.ptr)));
    if constexpr (std::is_floating_point_v<T>) bad = bad || !std::isfinite(v);
    if (bad) return Fail(e, std::string("bad number in ") + what);
    out.push_back(v);
    p = r.ptr;
  }
}

bool Reader::FloatAttr(const TiXmlElement* e, const char* name, std::vector<float>& out, std::size_t count, bool required) {
  const char* v = e->Attribute(name);
  if (v == nullptr) return required ? Fail(e, std::string("<") + e->Value() + "> needs '" + name + "'") : true;
  std::vector<float> values;
  if (!Floats(e, v, values, name)) return false;
  if (values.size() != count) return Fail(e, std::string("'") + name + "' needs " + std::to_string(count) + " numbers");
  out = std::move(values);
  return true;
}

bool Reader::FloatAttr(const TiXmlElement* e, const char* name, float& out) {
  std::vector<float> v;
  if (!FloatAttr(e, name, v, 1, false)) return false;
  if (!v.empty()) out = v[0];
  return true;
}

bool Reader::IntAttr(const TiXmlElement* e, const char* name, long long& out, long long min, long long max, bool required) {
  const char* v = e->Attribute(name);
  if (v == nullptr) return required ? Fail(e, std::string("<") + e->Value() + "> needs '" + name + "'") : true;
  std::vector<long long> values;
  if (!Ints(e, v, values, name)) return false;
  if (values.size() != 1 || values[0] < min || values[0] > max)
    return Fail(e, std::string("'") + name + "' must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
  out = values[0];
  return true;
}

bool Reader::BoolAttr(const TiXmlElement* e, const char* name, bool& out) {
  long long v = out ? 1 : 0;
  if (!IntAttr(e, name, v, 0, 1, false)) return false;
  out = v != 0;
  return true;
}

bool Reader::Text(const TiXmlElement* e, std::string& out) {
  if (!Children(e, true)) return false;
  const char* t = e->GetText();
  out = t != nullptr ? t : "";
  return true;
}

bool Reader::Read(const TiXmlDocument& doc) {
  const TiXmlElement* top = doc.RootElement();
  if (top == nullptr) return Fail(&doc, "no <HostScene> element");
  if (std::string(top->Value()) != "HostScene") return Fail(top, std::string("unknown element <") + top->Value() + ">");
  if (!Attributes(top, {"ticksPerFrame", "start", "end", "root"}) || !Children(top, false)) return false;
  if (!IntAttr(top, "ticksPerFrame", out_.ticksPerFrame, 1, std::numeric_limits<int>::max()) ||
      !IntAttr(top, "start", out_.start, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()) ||
      !IntAttr(top, "end", out_.end, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()) ||
      !NarrowAttr(top, "root", out_.rootName, false))
    return false;
  out_.hostFolder = folder_;
  for (const TiXmlElement* e = top->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    const std::string name = e->Value();
    bool ok = false;
    if (name == "Property") {
      ok = ReadProperty(e);
    } else if (name == "MapFolder") {
      ok = ReadMapFolder(e);
    } else if (name == "Material") {
      ok = ReadMaterial(e);
    } else if (name == "Node") {
      ok = ReadNode(e);
    } else {
      ok = Fail(e, "unknown element <" + name + ">");
    }
    if (!ok) return false;
  }
  return Resolve();
}

bool Reader::ReadProperty(const TiXmlElement* e) {
  if (!Attributes(e, {"name", "type", "value"}) || !Children(e, false)) return false;
  const char* name = e->Attribute("name");
  const char* type = e->Attribute("type");
  const char* value = e->Attribute("value");
  if (name == nullptr || type == nullptr || value == nullptr) return Fail(e, "<Property> needs name, type and value");
  PropertyDesc p;
  if (!Platform::Utf8ToUtf16(name, p.name)) return Fail(e, "property name is not UTF-8");
  const std::string kind = type;
  if (kind == "int") {
    long long v = 0;
    if (!IntAttr(e, "value", v, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), true)) return false;
    p.intValue = static_cast<LONG>(v);
  } else if (kind == "string") {
    p.isString = true;
    if (!Narrow(e, value, p.text)) return false;
  } else {
    return Fail(e, "property type must be int or string");
  }
  out_.properties.push_back(std::move(p));
  return true;
}

bool Reader::ReadMapFolder(const TiXmlElement* e) {
  if (!Attributes(e, {"path"}) || !Children(e, false)) return false;
  const char* path = e->Attribute("path");
  if (path == nullptr) return Fail(e, "<MapFolder> needs 'path'");
  const std::filesystem::path p(path);
  out_.mapFolders.push_back(p.is_absolute() ? p.string() : (std::filesystem::path(folder_) / p).string());
  return true;
}

const std::map<std::string, std::size_t>& MaterialArity() {
  static const std::map<std::string, std::size_t> arity = [] {
    std::map<std::string, std::size_t> a{{"ambient", 3}, {"diffuse", 3}, {"specular", 3}, {"filter", 3},
                                         {"shininess", 1}, {"shinStr", 1}, {"selfIllum", 1}, {"opacity", 1},
                                         {"opacFalloff", 1}, {"wireSize", 1}, {"ior", 1}};
    for (int i = 0; i < 12; ++i) a["amount:" + std::to_string(i)] = 1;
    return a;
  }();
  return arity;
}

const std::map<std::string, std::size_t>& LightArity() {
  static const std::map<std::string, std::size_t> arity{{"color", 3}, {"attenEnd", 1}, {"hotspot", 1}, {"falloff", 1}};
  return arity;
}

const std::map<std::string, std::size_t>& CameraArity() {
  static const std::map<std::string, std::size_t> arity{{"fov", 1},       {"tdist", 1},     {"hither", 1},
                                                        {"yon", 1},       {"nearRange", 1}, {"farRange", 1}};
  return arity;
}

bool Reader::ReadTrack(const TiXmlElement* e, ParamSet& params, const std::map<std::string, std::size_t>& arity) {
  if (!Attributes(e, {"param"}) || !Children(e, false)) return false;
  const char* param = e->Attribute("param");
  if (param == nullptr) return Fail(e, "<Track> needs 'param'");
  const auto found = arity.find(param);
  if (found == arity.end()) return Fail(e, std::string("unknown track parameter '") + param + "'");
  KeyList<std::vector<float>>& keys = params.tracks[param];
  for (const TiXmlElement* k = e->FirstChildElement(); k != nullptr; k = k->NextSiblingElement()) {
    if (std::string(k->Value()) != "Key") return Fail(k, std::string("unknown element <") + k->Value() + "> in <Track>");
    if (!Attributes(k, {"t", "v"}) || !Children(k, false)) return false;
    long long t = 0;
    std::vector<float> v;
    if (!IntAttr(k, "t", t, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), true) ||
        !FloatAttr(k, "v", v, found->second, true))
      return false;
    InsertKey(keys, static_cast<TimeValue>(t), std::move(v));
  }
  return true;
}

bool Reader::ReadBitmap(const TiXmlElement* e, BitmapDesc& out) {
  if (!Attributes(e, {"file", "uvwSource", "channel", "uOffset", "vOffset", "uTiling", "vTiling"}) || !Children(e, false))
    return false;
  return NarrowAttr(e, "file", out.file, true) && IntAttr(e, "uvwSource", out.uvwSource, 0, 0x7FFFFFFF) &&
         IntAttr(e, "channel", out.channel, 0, kMaxMapChannel) && FloatAttr(e, "uOffset", out.uOffset) &&
         FloatAttr(e, "vOffset", out.vOffset) && FloatAttr(e, "uTiling", out.uTiling) && FloatAttr(e, "vTiling", out.vTiling);
}

bool Reader::ReadMap(const TiXmlElement* e, MapDesc& out) {
  const std::string name = e->Value();
  if (name == "Bitmap") {
    out.kind = MapKind::kBitmap;
    out.bitmap.emplace();
    return ReadBitmap(e, *out.bitmap);
  }
  if (name == "NormalBump") {
    out.kind = MapKind::kNormalBump;
    if (!Attributes(e, {}) || !Children(e, false)) return false;
    for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
      if (std::string(c->Value()) != "Bitmap" || out.bitmap.has_value())
        return Fail(c, "<NormalBump> holds one <Bitmap>");
      out.bitmap.emplace();
      if (!ReadBitmap(c, *out.bitmap)) return false;
    }
    return true;
  }
  if (name == "Reflection") {
    out.kind = MapKind::kReflection;
    return Attributes(e, {}) && Children(e, false) && e->FirstChildElement() == nullptr;
  }
  return Fail(e, "unknown map <" + name + ">");
}

// The one map inside a <Slot> or <Mask>.
bool Reader::ReadSingleMap(const TiXmlElement* e, MapDesc& out) {
  if (!Children(e, false)) return false;
  const TiXmlElement* map = e->FirstChildElement();
  if (map == nullptr || map->NextSiblingElement() != nullptr) return Fail(e, std::string("<") + e->Value() + "> holds one map");
  return ReadMap(map, out);
}

bool Reader::ReadMaterial(const TiXmlElement* e) {
  if (!Attributes(e, {"id", "name", "class", "ambient", "diffuse", "specular", "filter", "shininess", "shinStr",
                      "selfIllum", "opacity", "opacFalloff", "wireSize", "ior", "twoSided"}) ||
      !Children(e, false))
    return false;
  MaterialDesc m;
  const char* id = e->Attribute("id");
  if (id == nullptr) return Fail(e, "<Material> needs 'id'");
  m.id = id;
  for (const MaterialDesc& other : out_.materials)
    if (other.id == m.id) return Fail(e, "material id '" + m.id + "' used twice");
  if (!NarrowAttr(e, "name", m.name, false)) return false;
  if (!Choice(e, "class",
              {{"standard", MaterialClass::kStandard}, {"multi", MaterialClass::kMulti}, {"blend", MaterialClass::kBlend}},
              m.cls))
    return false;
  const std::string cls = e->Attribute("class") != nullptr ? e->Attribute("class") : "standard";
  const bool standard = m.cls == MaterialClass::kStandard;
  for (const auto& [param, count] : MaterialArity()) {
    if (e->Attribute(param.c_str()) == nullptr) continue;
    if (!standard || param.rfind("amount:", 0) == 0) return Fail(e, "'" + param + "' belongs to a standard material");
    std::vector<float> v;
    if (!FloatAttr(e, param.c_str(), v, count, true)) return false;
    m.params.values[param] = std::move(v);
  }
  if (e->Attribute("twoSided") != nullptr && !standard) return Fail(e, "'twoSided' belongs to a standard material");
  if (!BoolAttr(e, "twoSided", m.twoSided)) return false;
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    const std::string name = c->Value();
    if (name == "Track" && standard) {
      if (!ReadTrack(c, m.params, MaterialArity())) return false;
    } else if (name == "Slot" && standard) {
      if (!Attributes(c, {"index", "amount"})) return false;
      int index = -1;
      if (!IntAttr(c, "index", index, 0, 11)) return false;
      if (index < 0) return Fail(c, "<Slot> needs 'index'");
      SlotDesc& slot = m.slots[static_cast<std::size_t>(index)];
      if (slot.map.has_value()) return Fail(c, "slot " + std::to_string(index) + " given twice");
      if (!FloatAttr(c, "amount", slot.amount)) return false;
      slot.map.emplace();
      if (!ReadSingleMap(c, *slot.map)) return false;
    } else if (name == "Sub" && !standard) {
      if (!Attributes(c, {"ref"}) || !Children(c, false)) return false;
      const char* ref = c->Attribute("ref");
      m.subs.push_back(ref != nullptr ? ref : "");
      if (!m.subs.back().empty()) materialRefs_.emplace_back(c->Row(), m.subs.back());
    } else if (name == "Mask" && m.cls == MaterialClass::kBlend) {
      if (!Attributes(c, {}) || m.mask.has_value()) return Fail(c, "a blend has one <Mask>");
      m.mask.emplace();
      if (!ReadSingleMap(c, *m.mask)) return false;
    } else {
      return Fail(c, "unknown element <" + name + "> in a " + cls + " material");
    }
  }
  if (m.cls == MaterialClass::kBlend && m.subs.size() > 2) return Fail(e, "a blend has two <Sub>");
  out_.materials.push_back(std::move(m));
  materialLines_.push_back(e->Row());
  return true;
}

bool Reader::ReadNode(const TiXmlElement* e) {
  if (!Attributes(e, {"name", "parent", "selected", "hidden", "castShadows", "receiveShadows", "wireColor", "material",
                      "local"}) ||
      !Children(e, false))
    return false;
  const int index = static_cast<int>(out_.nodes.size());
  NodeDesc node;
  if (!NarrowAttr(e, "name", node.name, true) || !BoolAttr(e, "selected", node.selected) ||
      !BoolAttr(e, "hidden", node.hidden) || !BoolAttr(e, "castShadows", node.castShadows) ||
      !BoolAttr(e, "receiveShadows", node.receiveShadows))
    return false;
  if (e->Attribute("parent") != nullptr) {
    NodeRef ref;
    ref.line = e->Row();
    ref.from = index;
    ref.strictlyBefore = true;
    ref.parent = true;
    if (!Narrow(e, e->Attribute("parent"), ref.name)) return false;
    refs_.push_back(std::move(ref));
  }
  if (e->Attribute("wireColor") != nullptr) {
    std::vector<long long> rgb;
    if (!Ints(e, e->Attribute("wireColor"), rgb, "wireColor")) return false;
    if (rgb.size() != 3 || rgb[0] < 0 || rgb[0] > 255 || rgb[1] < 0 || rgb[1] > 255 || rgb[2] < 0 || rgb[2] > 255)
      return Fail(e, "'wireColor' needs three numbers from 0 to 255");
    node.wireColor = RGB(static_cast<BYTE>(rgb[0]), static_cast<BYTE>(rgb[1]), static_cast<BYTE>(rgb[2]));
  }
  if (const char* material = e->Attribute("material")) {
    node.material = material;
    materialRefs_.emplace_back(e->Row(), node.material);
  }
  std::vector<float> local;
  if (!FloatAttr(e, "local", local, 12, false)) return false;
  if (!local.empty()) {
    float rows[12];
    std::copy(local.begin(), local.end(), rows);
    node.local = Matrix3(rows);
  }
  bool haveObject = false;
  bool haveTransform = false;
  bool haveOffset = false;
  bool haveModifiers = false;
  const TiXmlElement* modifiers = nullptr;
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    const std::string name = c->Value();
    const bool object = name == "Mesh" || name == "Bone" || name == "Helper" || name == "Light" || name == "Camera";
    if (object) {
      if (haveObject) return Fail(c, "a node holds one object");
      haveObject = true;
    }
    bool ok = true;
    if (name == "Transform") {
      if (haveTransform) return Fail(c, "a node holds one <Transform>");
      haveTransform = true;
      ok = ReadTransform(c, node);
    } else if (name == "Offset") {
      if (haveOffset) return Fail(c, "a node holds one <Offset>");
      haveOffset = true;
      std::vector<float> pos, rot, scale;
      ok = Attributes(c, {"pos", "rot", "scale"}) && Children(c, false) && FloatAttr(c, "pos", pos, 3, false) &&
           FloatAttr(c, "rot", rot, 4, false) && FloatAttr(c, "scale", scale, 3, false);
      if (ok && !pos.empty()) node.offsetPos = Point3(pos[0], pos[1], pos[2]);
      if (ok && !rot.empty()) node.offsetRot = Quat(rot[0], rot[1], rot[2], rot[3]);
      if (ok && !scale.empty()) node.offsetScale = Point3(scale[0], scale[1], scale[2]);
    } else if (name == "Mesh") {
      node.object = ObjectKind::kMesh;
      ok = ReadMesh(c, node.mesh);
    } else if (name == "Bone" || name == "Helper") {
      node.object = name == "Bone" ? ObjectKind::kBone : ObjectKind::kHelper;
      ok = Attributes(c, {}) && Children(c, false) && (c->FirstChildElement() == nullptr || Fail(c, "<" + name + "> is empty"));
    } else if (name == "Light") {
      node.object = ObjectKind::kLight;
      ok = ReadLight(c, node.light);
    } else if (name == "Camera") {
      node.object = ObjectKind::kCamera;
      ok = ReadCamera(c, node.camera);
    } else if (name == "Modifiers") {
      if (haveModifiers) return Fail(c, "a node holds one <Modifiers>");
      haveModifiers = true;
      modifiers = c;
    } else {
      ok = Fail(c, "unknown element <" + name + "> in <Node>");
    }
    if (!ok) return false;
  }
  out_.nodes.push_back(std::move(node));
  nodeLines_.push_back(e->Row());
  // Modifiers read the mesh, wherever they stand in the node.
  return modifiers == nullptr || ReadModifiers(modifiers, index);
}

bool Reader::ReadTransform(const TiXmlElement* e, NodeDesc& node) {
  if (!Attributes(e, {"controller", "inherit"}) || !Children(e, false)) return false;
  node.controller = ControllerKind::kPrs;
  if (!Choice(e, "controller",
              {{"prs", ControllerKind::kPrs},
               {"bipedSlave", ControllerKind::kBipedSlave},
               {"bipedBody", ControllerKind::kBipedBody},
               {"footstep", ControllerKind::kFootstep}},
              node.controller))
    return false;
  if (!IntAttr(e, "inherit", node.inherit, 0, 0xFFFFFFFFll)) return false;
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    const std::string name = c->Value();
    const std::size_t count = name == "Rotation" ? 4 : 3;
    if (name != "Position" && name != "Rotation" && name != "Scale")
      return Fail(c, "unknown element <" + name + "> in <Transform>");
    if ((name == "Position" && node.position) || (name == "Rotation" && node.rotation) || (name == "Scale" && node.scale))
      return Fail(c, "<" + name + "> given twice");
    if (!Attributes(c, {}) || !Children(c, false)) return false;
    if (name == "Position") node.position.emplace();
    if (name == "Rotation") node.rotation.emplace();
    if (name == "Scale") node.scale.emplace();
    for (const TiXmlElement* k = c->FirstChildElement(); k != nullptr; k = k->NextSiblingElement()) {
      if (std::string(k->Value()) != "Key") return Fail(k, std::string("unknown element <") + k->Value() + "> in <" + name + ">");
      long long t = 0;
      std::vector<float> v;
      if (!Attributes(k, {"t", "v"}) || !Children(k, false) ||
          !IntAttr(k, "t", t, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), true) ||
          !FloatAttr(k, "v", v, count, true))
        return false;
      const TimeValue time = static_cast<TimeValue>(t);
      if (name == "Position") InsertKey(*node.position, time, Point3(v[0], v[1], v[2]));
      if (name == "Rotation") InsertKey(*node.rotation, time, Quat(v[0], v[1], v[2], v[3]));
      if (name == "Scale") InsertKey(*node.scale, time, Point3(v[0], v[1], v[2]));
    }
  }
  return true;
}

std::vector<Point3> ToPoints(const std::vector<float>& v) {
  std::vector<Point3> out;
  out.reserve(v.size() / 3);
  for (std::size_t i = 0; i + 2 < v.size(); i += 3) out.emplace_back(v[i], v[i + 1], v[i + 2]);
  return out;
}

bool Reader::ReadMapChannel(const TiXmlElement* e, MapChannelDesc& map) {
  if (!Attributes(e, {"channel"}) || !Children(e, false) || !IntAttr(e, "channel", map.channel, 0, kMaxMapChannel))
    return false;
  bool haveVerts = false;
  bool haveFaces = false;
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    const std::string name = c->Value();
    std::string text;
    if (name == "Verts") {
      if (!Attributes(c, {"t"}) || !Text(c, text)) return false;
      std::vector<float> v;
      if (!Floats(c, text, v, "<Verts>")) return false;
      if (v.size() % 3 != 0) return Fail(c, "<Verts> needs three numbers per coordinate");
      if (c->Attribute("t") == nullptr) {
        if (haveVerts) return Fail(c, "<Map> holds one <Verts> without 't'");
        haveVerts = true;
        map.verts = ToPoints(v);
      } else {
        long long t = 0;
        if (!IntAttr(c, "t", t, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), true)) return false;
        InsertKey(map.keys, static_cast<TimeValue>(t), ToPoints(v));
      }
    } else if (name == "Faces") {
      if (haveFaces) return Fail(c, "<Map> holds one <Faces>");
      haveFaces = true;
      std::vector<long long> v;
      if (!Attributes(c, {}) || !Text(c, text) || !Ints(c, text, v, "<Faces>")) return false;
      if (v.size() % 3 != 0) return Fail(c, "<Faces> needs three indices per face");
      for (std::size_t i = 0; i < v.size(); i += 3) {
        for (std::size_t k = 0; k < 3; ++k)
          if (v[i + k] < 0 || v[i + k] > 0xFFFFFFFFll) return Fail(c, "bad index in <Faces>");
        map.faces.push_back({static_cast<DWORD>(v[i]), static_cast<DWORD>(v[i + 1]), static_cast<DWORD>(v[i + 2])});
      }
    } else {
      return Fail(c, "unknown element <" + name + "> in <Map>");
    }
  }
  return true;
}

bool Reader::ReadMesh(const TiXmlElement* e, MeshDesc& mesh) {
  if (!Attributes(e, {}) || !Children(e, false)) return false;
  std::map<std::string, int> seen;
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    const std::string name = c->Value();
    std::string text;
    std::vector<float> f;
    std::vector<long long> n;
    if (name != "Face" && name != "Map" && seen[name]++ > 0) return Fail(c, "<Mesh> holds one <" + name + ">");
    if (name == "Verts" || name == "Colors") {
      if (!Attributes(c, {}) || !Text(c, text) || !Floats(c, text, f, name.c_str())) return false;
      if (f.size() % 3 != 0) return Fail(c, "<" + name + "> needs three numbers per entry");
      (name == "Verts" ? mesh.verts : mesh.colors) = ToPoints(f);
    } else if (name == "Face") {
      if (!Attributes(c, {"v", "smooth", "mtl"}) || !Children(c, false)) return false;
      FaceDesc face;
      if (c->Attribute("v") == nullptr || !Ints(c, c->Attribute("v"), n, "'v'") || n.size() != 3)
        return Fail(c, "<Face> needs three vertex indices in 'v'");
      for (std::size_t k = 0; k < 3; ++k) {
        if (n[k] < 0 || n[k] > 0xFFFFFFFFll) return Fail(c, "bad vertex index in <Face>");
        face.v[k] = static_cast<DWORD>(n[k]);
      }
      if (!IntAttr(c, "smooth", face.smooth, 0, 0xFFFFFFFFll) || !IntAttr(c, "mtl", face.mtl, 0, 0xFFFF)) return false;
      mesh.faces.push_back(face);
    } else if (name == "ColorFaces") {
      if (!Attributes(c, {}) || !Text(c, text) || !Ints(c, text, n, "<ColorFaces>")) return false;
      if (n.size() % 3 != 0) return Fail(c, "<ColorFaces> needs three indices per face");
      for (std::size_t i = 0; i < n.size(); i += 3) {
        for (std::size_t k = 0; k < 3; ++k)
          if (n[i + k] < 0 || n[i + k] > 0xFFFFFFFFll) return Fail(c, "bad index in <ColorFaces>");
        mesh.colorFaces.push_back({static_cast<DWORD>(n[i]), static_cast<DWORD>(n[i + 1]), static_cast<DWORD>(n[i + 2])});
      }
    } else if (name == "Map") {
      MapChannelDesc map;
      if (!ReadMapChannel(c, map)) return false;
      for (const MapChannelDesc& other : mesh.maps)
        if (other.channel == map.channel) return Fail(c, "map channel " + std::to_string(map.channel) + " given twice");
      auto at = mesh.maps.begin();
      while (at != mesh.maps.end() && at->channel < map.channel) ++at;
      mesh.maps.insert(at, std::move(map));
    } else if (name == "Normals") {
      if (!Attributes(c, {}) || !Children(c, false)) return false;
      for (const TiXmlElement* g = c->FirstChildElement(); g != nullptr; g = g->NextSiblingElement()) {
        const std::string part = g->Value();
        if (!Attributes(g, {}) || !Text(g, text)) return false;
        if (part == "Verts") {
          if (!Floats(g, text, f, "<Verts>")) return false;
          if (f.size() % 3 != 0) return Fail(g, "<Verts> needs three numbers per normal");
          mesh.normals = ToPoints(f);
        } else if (part == "Faces") {
          if (!Ints(g, text, n, "<Faces>")) return false;
          if (n.size() % 3 != 0) return Fail(g, "<Faces> needs three normal ids per face");
          for (std::size_t i = 0; i < n.size(); i += 3) {
            for (std::size_t k = 0; k < 3; ++k)
              if (n[i + k] < 0 || n[i + k] > std::numeric_limits<int>::max()) return Fail(g, "bad normal id");
            mesh.normalFaces.push_back({static_cast<int>(n[i]), static_cast<int>(n[i + 1]), static_cast<int>(n[i + 2])});
          }
        } else {
          return Fail(g, "unknown element <" + part + "> in <Normals>");
        }
      }
    } else {
      return Fail(c, "unknown element <" + name + "> in <Mesh>");
    }
  }
  const std::string problem = CheckMesh(mesh);
  return problem.empty() || Fail(e, problem);
}

bool Reader::ReadLight(const TiXmlElement* e, LightDesc& light) {
  if (!Attributes(e, {"type", "color", "attenEnd", "hotspot", "falloff"}) || !Children(e, false) ||
      !IntAttr(e, "type", light.type, 0, std::numeric_limits<int>::max()))
    return false;
  return ReadKeyable(e, light.params, LightArity());
}

bool Reader::ReadCamera(const TiXmlElement* e, CameraDesc& camera) {
  if (!Attributes(e, {"ortho", "fov", "tdist", "horzLine", "manualClip", "hither", "yon", "nearRange", "farRange"}) ||
      !Children(e, false) || !BoolAttr(e, "ortho", camera.ortho) ||
      !IntAttr(e, "horzLine", camera.horzLine, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()) ||
      !IntAttr(e, "manualClip", camera.manualClip, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()))
    return false;
  return ReadKeyable(e, camera.params, CameraArity());
}

bool Reader::ReadKeyable(const TiXmlElement* e, ParamSet& params, const std::map<std::string, std::size_t>& arity) {
  for (const auto& [param, count] : arity) {
    std::vector<float> v;
    if (!FloatAttr(e, param.c_str(), v, count, false)) return false;
    if (!v.empty()) params.values[param] = std::move(v);
  }
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    if (std::string(c->Value()) != "Track")
      return Fail(c, std::string("unknown element <") + c->Value() + "> in <" + e->Value() + ">");
    if (!ReadTrack(c, params, arity)) return false;
  }
  return true;
}

bool Reader::ReadWeights(const TiXmlElement* e, ModifierDesc& m, int node, const char* targetAttr) {
  const bool physique = m.kind == ModifierKind::kPhysique;
  if (!(physique ? Attributes(e, {"i", "type"}) : Attributes(e, {"i"})) || !Children(e, false)) return false;
  const int vertexCount = static_cast<int>(out_.nodes[static_cast<std::size_t>(node)].mesh.verts.size());
  VertexWeightsDesc v;
  v.i = -1;
  if (!IntAttr(e, "i", v.i, 0, std::numeric_limits<int>::max())) return false;
  if (v.i < 0) return Fail(e, "<Vertex> needs 'i'");
  if (v.i >= vertexCount) return Fail(e, "vertex " + std::to_string(v.i) + " is not a vertex of the node's mesh");
  for (const VertexWeightsDesc& other : m.vertices)
    if (other.i == v.i) return Fail(e, "vertex " + std::to_string(v.i) + " given twice");
  if (physique) {
    if (!IntAttr(e, "type", v.type, 0, std::numeric_limits<int>::max())) return false;
    if (v.type != RIGID_TYPE && v.type != RIGID_BLENDED_TYPE) return Fail(e, "physique vertex type must be 1 or 5");
  }
  for (const TiXmlElement* w = e->FirstChildElement(); w != nullptr; w = w->NextSiblingElement()) {
    if (std::string(w->Value()) != "W") return Fail(w, std::string("unknown element <") + w->Value() + "> in <Vertex>");
    if (!Attributes(w, {targetAttr, "w"}) || !Children(w, false)) return false;
    WeightDesc weight;
    if (!FloatAttr(w, "w", weight.w)) return false;
    if (physique) {
      NodeRef ref;
      ref.line = w->Row();
      ref.from = node;
      if (!NarrowAttr(w, "node", ref.name, true)) return false;
      refs_.push_back(std::move(ref));
      weight.target = static_cast<int>(refs_.size()) - 1;  // the reference's number, for now
    } else {
      long long bone = -1;
      if (!IntAttr(w, "bone", bone, 0, std::numeric_limits<int>::max(), true)) return false;
      if (bone >= static_cast<long long>(m.bones.size()))
        return Fail(w, "bone " + std::to_string(bone) + " is not one of the skin's " + std::to_string(m.bones.size()) + " bones");
      weight.target = static_cast<int>(bone);
    }
    v.weights.push_back(weight);
  }
  if (physique && v.type == RIGID_TYPE && v.weights.size() != 1) return Fail(e, "a rigid vertex has one <W>");
  m.vertices.push_back(std::move(v));
  return true;
}

bool Reader::ReadModifiers(const TiXmlElement* e, int node) {
  if (!Attributes(e, {}) || !Children(e, false)) return false;
  for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    const std::string name = c->Value();
    ModifierDesc m;
    bool ok = Children(c, false);
    if (name == "Skin") {
      m.kind = ModifierKind::kSkin;
      ok = ok && Attributes(c, {});
      // Bones first: weights name them by index.
      for (const TiXmlElement* b = c->FirstChildElement("Bone"); ok && b != nullptr; b = b->NextSiblingElement("Bone")) {
        NodeRef ref;
        ref.line = b->Row();
        ref.from = node;
        ok = Attributes(b, {"node"}) && Children(b, false) && NarrowAttr(b, "node", ref.name, true);
        refs_.push_back(std::move(ref));
        m.bones.push_back(static_cast<int>(refs_.size()) - 1);
      }
      for (const TiXmlElement* v = c->FirstChildElement(); ok && v != nullptr; v = v->NextSiblingElement()) {
        const std::string part = v->Value();
        if (part == "Vertex") {
          ok = ReadWeights(v, m, node, "bone");
        } else if (part != "Bone") {
          ok = Fail(v, "unknown element <" + part + "> in <Skin>");
        }
      }
    } else if (name == "Physique") {
      m.kind = ModifierKind::kPhysique;
      ok = ok && Attributes(c, {});
      for (const TiXmlElement* v = c->FirstChildElement(); ok && v != nullptr; v = v->NextSiblingElement()) {
        ok = std::string(v->Value()) == "Vertex" ? ReadWeights(v, m, node, "node")
                                                 : Fail(v, std::string("unknown element <") + v->Value() + "> in <Physique>");
      }
    } else if (name == "Morpher") {
      m.kind = ModifierKind::kMorpher;
      ok = ok && Attributes(c, {});
      for (const TiXmlElement* ch = c->FirstChildElement(); ok && ch != nullptr; ch = ch->NextSiblingElement()) {
        if (std::string(ch->Value()) != "Channel") {
          ok = Fail(ch, std::string("unknown element <") + ch->Value() + "> in <Morpher>");
          break;
        }
        MorphChannelDesc channel;
        ok = Attributes(ch, {"name"}) && Children(ch, false) && NarrowAttr(ch, "name", channel.name, false);
        for (const TiXmlElement* d = ch->FirstChildElement(); ok && d != nullptr; d = d->NextSiblingElement()) {
          if (std::string(d->Value()) != "D") {
            ok = Fail(d, std::string("unknown element <") + d->Value() + "> in <Channel>");
            break;
          }
          long long i = -1;
          std::vector<float> v;
          ok = Attributes(d, {"i", "v"}) && Children(d, false) && IntAttr(d, "i", i, 0, kMaxIndex - 1, true) &&
               FloatAttr(d, "v", v, 3, true);
          if (!ok) break;
          if (static_cast<std::size_t>(i) >= channel.deltas.size()) channel.deltas.resize(static_cast<std::size_t>(i) + 1);
          channel.deltas[static_cast<std::size_t>(i)] = Point3(v[0], v[1], v[2]);
        }
        m.channels.push_back(std::move(channel));
      }
    } else if (name == "MeshSelect") {
      m.kind = ModifierKind::kMeshSelect;
      ok = ok && Attributes(c, {"excluded"}) && BoolAttr(c, "excluded", m.excluded);
      for (const TiXmlElement* s = c->FirstChildElement(); ok && s != nullptr; s = s->NextSiblingElement()) {
        if (std::string(s->Value()) != "Set") {
          ok = Fail(s, std::string("unknown element <") + s->Value() + "> in <MeshSelect>");
          break;
        }
        SelectionSetDesc set;
        ok = Attributes(s, {"name", "size", "bits"}) && Children(s, false) && NarrowAttr(s, "name", set.name, false) &&
             IntAttr(s, "size", set.size, 0, kMaxIndex);
        if (ok && s->Attribute("bits") != nullptr) ok = ParseBits(s, s->Attribute("bits"), set);
        m.sets.push_back(std::move(set));
      }
    } else if (name == "UvwMap" || name == "Unwrap") {
      m.kind = name == "UvwMap" ? ModifierKind::kUvwMap : ModifierKind::kUnwrap;
      ok = ok && Attributes(c, {"channel", "excluded"}) && BoolAttr(c, "excluded", m.excluded) &&
           IntAttr(c, "channel", m.channel, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()) &&
           (c->FirstChildElement() == nullptr || Fail(c, "<" + name + "> is empty"));
    } else {
      return Fail(c, "unknown modifier <" + name + ">");
    }
    if (!ok) return false;
    out_.nodes[static_cast<std::size_t>(node)].modifiers.push_back(std::move(m));
  }
  return true;
}

bool Reader::ParseBits(const TiXmlElement* e, const std::string& text, SelectionSetDesc& set) {
  std::vector<char> on(static_cast<std::size_t>(set.size), 0);
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    const std::size_t dash = word.find('-', 1);
    std::vector<long long> ends;
    const std::string first = dash == std::string::npos ? word : word.substr(0, dash);
    if (!Ints(e, first, ends, "'bits'")) return false;
    if (dash != std::string::npos) {
      std::vector<long long> last;
      if (!Ints(e, word.substr(dash + 1), last, "'bits'")) return false;
      ends.insert(ends.end(), last.begin(), last.end());
    }
    if (ends.empty() || ends.size() > 2 || (dash != std::string::npos && ends.size() != 2))
      return Fail(e, "bad entry '" + word + "' in 'bits'");
    const long long from = ends.front();
    const long long to = ends.back();
    if (from < 0 || to < from || to >= set.size) return Fail(e, "bit '" + word + "' is outside the set's size");
    for (long long b = from; b <= to; ++b) on[static_cast<std::size_t>(b)] = 1;
  }
  for (int b = 0; b < set.size; ++b)
    if (on[static_cast<std::size_t>(b)] != 0) set.bits.push_back(b);
  return true;
}

bool Reader::Resolve() {
  std::map<std::string, std::vector<int>> byName;
  for (std::size_t i = 0; i < out_.nodes.size(); ++i) byName[out_.nodes[i].name].push_back(static_cast<int>(i));
  std::vector<int> resolved(refs_.size(), -1);
  for (std::size_t r = 0; r < refs_.size(); ++r) {
    const NodeRef& ref = refs_[r];
    const auto found = byName.find(ref.name);
    int before = -1;
    int after = -1;
    if (found != byName.end()) {
      for (const int i : found->second) {
        if (i < ref.from || (i == ref.from && !ref.strictlyBefore)) before = i;
        if (i > ref.from && after < 0) after = i;
      }
    }
    // The nearest node of that name before the reference wins, then (for a
    // parent) the root, then the first one after it.
    if (before >= 0) {
      resolved[r] = before;
    } else if (ref.parent && ref.name == out_.rootName) {
      resolved[r] = -1;
    } else if (after >= 0) {
      resolved[r] = after;
    } else if (found != byName.end()) {
      resolved[r] = ref.from;  // a node that is its own parent: the cycle check names it
    } else {
      error_ = "line " + std::to_string(ref.line) + ": no node named '" + ref.name + "'";
      return false;
    }
    if (ref.parent) out_.nodes[static_cast<std::size_t>(ref.from)].parent = resolved[r];
  }
  for (NodeDesc& node : out_.nodes) {
    for (ModifierDesc& m : node.modifiers) {
      for (int& bone : m.bones) bone = resolved[static_cast<std::size_t>(bone)];
      if (m.kind != ModifierKind::kPhysique) continue;
      for (VertexWeightsDesc& v : m.vertices)
        for (WeightDesc& w : v.weights) w.target = resolved[static_cast<std::size_t>(w.target)];
    }
  }
  const int cycle = NodeOnParentCycle(out_.nodes);
  if (cycle >= 0) {
    error_ = "line " + std::to_string(nodeLines_[static_cast<std::size_t>(cycle)]) + ": node '" +
             out_.nodes[static_cast<std::size_t>(cycle)].name + "' is its own ancestor";
    return false;
  }
  for (const auto& [line, id] : materialRefs_) {
    bool known = false;
    for (const MaterialDesc& m : out_.materials) known = known || m.id == id;
    if (!known) {
      error_ = "line " + std::to_string(line) + ": no material with id '" + id + "'";
      return false;
    }
  }
  const int loop = MaterialOnCycle(out_.materials);
  if (loop >= 0) {
    error_ = "line " + std::to_string(materialLines_[static_cast<std::size_t>(loop)]) + ": material '" +
             out_.materials[static_cast<std::size_t>(loop)].id + "' contains itself";
    return false;
  }
  return true;
}

}  // namespace

bool ParseDescription(const std::string& text, const std::string& folder, SceneDescription& out, std::string& error) {
  out = SceneDescription();
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) {
    error = "line " + std::to_string(1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(zero), '\n')) +
            ": a zero byte";
    return false;
  }
  int line = 0;
  if (!DepthWithin(text, kMaxDepth, line)) {
    error = "line " + std::to_string(line) + ": elements nested too deeply";
    return false;
  }
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (doc.Error()) {
    error = "line " + std::to_string(doc.ErrorRow()) + ": " + doc.ErrorDesc();
    return false;
  }
  Reader reader(folder, out);
  if (!reader.Read(doc)) {
    error = reader.Error();
    out = SceneDescription();
    return false;
  }
  error.clear();
  return true;
}

bool ReadDescriptionFile(const std::string& path, SceneDescription& out, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    error = "cannot read " + path;
    return false;
  }
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  return ParseDescription(text, folder, out, error);
}

}  // namespace KT::Host
