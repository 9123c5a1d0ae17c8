// The plain description of a host scene: what the SceneBuilder builds, the
// description file holds and a HostScene answers the SDK calls from.
//
// Names and texts are narrow host strings (Windows-1252 bytes); property
// names are UTF-16, as the property calls name them. Times are ticks.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/matrix3.h"
#include "platform/host/max_types.h"
#include "platform/host/point3.h"
#include "platform/host/quat.h"

namespace KT::Host {

template <typename T>
struct Key {
  TimeValue t = 0;
  T v{};
};

// Keys sorted by time. Linear between keys (rotations slerp), constant
// outside them.
template <typename T>
using KeyList = std::vector<Key<T>>;

// Keyable parameters by name: a value of one or three floats, and keys that
// override it when present.
struct ParamSet {
  std::map<std::string, std::vector<float>> values;
  std::map<std::string, KeyList<std::vector<float>>> tracks;

  // The value of `name` at t: interpolated keys, else the value, else
  // `fallback`.
  std::vector<float> Eval(const std::string& name, TimeValue t, std::vector<float> fallback) const;
  float EvalFloat(const std::string& name, TimeValue t, float fallback) const;
};

struct PropertyDesc {
  std::u16string name;
  bool isString = false;
  LONG intValue = 0;
  std::string text;
};

struct BitmapDesc {
  std::string file;
  int uvwSource = 0;
  int channel = 1;
  float uOffset = 0.0f;
  float vOffset = 0.0f;
  float uTiling = 1.0f;
  float vTiling = 1.0f;
};

enum class MapKind { kBitmap, kNormalBump, kReflection };

struct MapDesc {
  MapKind kind = MapKind::kBitmap;
  // The bitmap itself, or the normal map inside a normal bump.
  std::optional<BitmapDesc> bitmap;
};

enum class MaterialClass { kStandard, kMulti, kBlend };

// Parameter names of the Standard material: colours ambient, diffuse,
// specular, filter; floats shininess, shinStr, selfIllum, opacity,
// opacFalloff, wireSize, ior; slot amounts "amount:N".
struct SlotDesc {
  float amount = 1.0f;
  std::optional<MapDesc> map;
};

struct MaterialDesc {
  std::string id;
  std::string name;
  MaterialClass cls = MaterialClass::kStandard;
  // Standard.
  bool twoSided = false;
  ParamSet params;
  std::array<SlotDesc, 12> slots;
  // Multi (sub-materials by id, "" for an empty slot) and blend (two
  // sub-materials and a mask).
  std::vector<std::string> subs;
  std::optional<MapDesc> mask;
};

enum class ControllerKind { kNone, kPrs, kBipedSlave, kBipedBody, kFootstep };
enum class ObjectKind { kHelper, kMesh, kBone, kLight, kCamera };

struct FaceDesc {
  std::array<DWORD, 3> v{0, 0, 0};
  DWORD smooth = 0;
  DWORD mtl = 0;
};

struct MapChannelDesc {
  int channel = 1;
  std::vector<Point3> verts;
  std::vector<std::array<DWORD, 3>> faces;
  // Animated coordinates: each key holds as many coordinates as `verts`.
  KeyList<std::vector<Point3>> keys;
};

struct MeshDesc {
  std::vector<Point3> verts;
  std::vector<FaceDesc> faces;
  std::vector<Point3> colors;
  std::vector<std::array<DWORD, 3>> colorFaces;
  std::vector<MapChannelDesc> maps;  // ascending channel numbers
  std::vector<Point3> normals;       // explicit normals
  std::vector<std::array<int, 3>> normalFaces;
};

// Light parameters: color (three floats), attenEnd, hotspot, falloff.
struct LightDesc {
  int type = 0;
  ParamSet params;
};

// Camera parameters: fov, tdist, hither, yon, nearRange, farRange.
struct CameraDesc {
  bool ortho = false;
  int horzLine = 0;
  int manualClip = 0;
  ParamSet params;
};

enum class ModifierKind { kSkin, kPhysique, kMorpher, kMeshSelect, kUvwMap, kUnwrap };

struct WeightDesc {
  int target = 0;  // skin: index into the skin's bones; physique: node index
  float w = 0.0f;
};

struct VertexWeightsDesc {
  int i = 0;
  int type = 1;  // physique vertex type (1 or 5)
  std::vector<WeightDesc> weights;
};

struct MorphChannelDesc {
  std::string name;
  std::vector<Point3> deltas;
};

struct SelectionSetDesc {
  std::string name;
  int size = 0;
  std::vector<int> bits;  // ascending
};

struct ModifierDesc {
  ModifierKind kind = ModifierKind::kSkin;
  bool excluded = false;                   // answers the exclusion query
  std::vector<int> bones;                  // skin: node indices
  std::vector<VertexWeightsDesc> vertices; // skin and physique
  std::vector<MorphChannelDesc> channels;  // morpher
  std::vector<SelectionSetDesc> sets;      // mesh select
  int channel = 1;                         // UVW map and unwrap
};

struct NodeDesc {
  std::string name;
  int parent = -1;  // index into the nodes; -1 is the root
  bool selected = false;
  bool hidden = false;
  bool castShadows = true;
  bool receiveShadows = true;
  COLORREF wireColor = 0;
  std::string material;  // material id; "" for none
  Matrix3 local;          // the local transform of a node without controller
  ControllerKind controller = ControllerKind::kNone;
  DWORD inherit = 0;
  std::optional<KeyList<Point3>> position;
  std::optional<KeyList<Quat>> rotation;
  std::optional<KeyList<Point3>> scale;
  Point3 offsetPos;
  Quat offsetRot;
  Point3 offsetScale{1.0f, 1.0f, 1.0f};
  ObjectKind object = ObjectKind::kHelper;
  MeshDesc mesh;
  LightDesc light;
  CameraDesc camera;
  std::vector<ModifierDesc> modifiers;  // bottom of the stack first
};

struct SceneDescription {
  int ticksPerFrame = 160;
  TimeValue start = 0;
  TimeValue end = 16000;
  std::string rootName = "Root";
  std::string hostFolder = ".";
  std::vector<PropertyDesc> properties;
  std::vector<std::string> mapFolders;  // native paths
  std::vector<MaterialDesc> materials;
  std::vector<NodeDesc> nodes;
};

// Interpolation shared by every key list.
Point3 EvalKeys(const KeyList<Point3>& keys, TimeValue t, const Point3& fallback);
Quat EvalKeys(const KeyList<Quat>& keys, TimeValue t, const Quat& fallback);
std::vector<float> EvalKeys(const KeyList<std::vector<float>>& keys, TimeValue t, const std::vector<float>& fallback);
std::vector<Point3> EvalKeys(const KeyList<std::vector<Point3>>& keys, TimeValue t, const std::vector<Point3>& fallback);

// Inserts a key in time order; a key at a time already present replaces it.
template <typename T>
void InsertKey(KeyList<T>& keys, TimeValue t, T v) {
  auto it = keys.begin();
  while (it != keys.end() && it->t < t) ++it;
  if (it != keys.end() && it->t == t) {
    it->v = std::move(v);
  } else {
    keys.insert(it, Key<T>{t, std::move(v)});
  }
}

}  // namespace KT::Host
