// The UVW animation of the export: the coordinates of one UV channel,
// sampled from the host over each clip, become one KT::CUvwMapControl per
// clip inside one KT::CUvwMapClipControl on the channel's map. The mesh
// export reaches it through its control-data pass; an animation-only export
// first builds placeholder meshes (BuildUvwAnimation).

#include <vector>

#include "controllers/core/clip_key.h"
#include "controllers/core/data_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/convert/key_sampling.h"
#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/inode.h"
#include "platform/host/interface.h"
#include "platform/host/modifier.h"
#include "platform/host/object.h"
#include "platform/host/unwrap_interface.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace {

bool IsUvwModifier(Modifier* mod) {
  if (mod == nullptr) return false;
  const Class_ID id = mod->ClassID();
  return id == UVW_MAP_CLASS_ID || id == UNWRAP_UVW_CLASS_ID;
}

struct StackEntry {
  Modifier* modifier = nullptr;
  ModContext* context = nullptr;
};

// The UVW Map and Unwrap UVW modifiers of the node's stack with their
// contexts, derived objects from the top down, each stack in index order.
std::vector<StackEntry> UvwModifiers(INode* inode) {
  std::vector<StackEntry> out;
  for (Object* object = inode->GetObjectRef(); object != nullptr && object->SuperClassID() == SUPER_DERIVED_OBJECT;) {
    auto* derived = dynamic_cast<IDerivedObject*>(object);
    if (derived == nullptr) break;
    const int count = derived->NumModifiers();
    for (int i = 0; i < count; ++i)
      if (IsUvwModifier(derived->GetModifier(i))) out.push_back({derived->GetModifier(i), derived->GetModContext(i)});
    object = derived->GetObjRef();
  }
  return out;
}

// The host map channel a modifier animates, or -1 when the pass has nothing
// to do: the UVW Map's parameter 13; the Unwrap's channel value, where 1 (the
// vertex colours) exports nothing and 0 stands for channel 1.
int AnimatedChannel(Modifier* mod, TimeValue t) {
  const Class_ID id = mod->ClassID();
  if (id == UVW_MAP_CLASS_ID) {
    int channel = -1;
    Interval valid(TIME_NegInfinity, TIME_PosInfinity);
    if (!mod->GetParamValue(UVW_MAP_PARAM_CHANNEL, t, channel, valid)) return -1;
    return channel < 0 ? -1 : channel;
  }
  if (id == UNWRAP_UVW_CLASS_ID) {
    auto* unwrap = dynamic_cast<IUnwrapChannel*>(mod->GetInterface(UNWRAP_CHANNEL_INTERFACE));
    if (unwrap == nullptr) return -1;
    const int channel = unwrap->GetMapChannel();
    if (channel == 1 || channel < 0) return -1;
    return channel == 0 ? 1 : channel;
  }
  return -1;
}

// The node's mesh at t: false when the object does not convert to a
// triangle object. A converted copy is deleted here.
bool MeshAtTick(INode* inode, TimeValue t, Mesh& out) {
  Object* object = inode->EvalWorldState(t).obj;
  if (object == nullptr || !object->CanConvertToType(TRIOBJ_CLASS_ID)) return false;
  Object* converted = object->ConvertToType(t, TRIOBJ_CLASS_ID);
  if (converted == nullptr) return false;
  auto* tri = dynamic_cast<TriObject*>(converted);
  if (tri != nullptr) out = tri->GetMesh();
  if (converted != object) converted->DeleteMe();
  return tri != nullptr;
}

// The UV channel table of a mesh: channel 0 (the vertex colours) is never
// written; a channel with at least one map vertex and one map face gets the
// next UV channel index, any other channel -1.
std::vector<KT::i32> UvChannelTable(const Mesh& mesh) {
  std::vector<KT::i32> table(static_cast<std::size_t>(mesh.getNumMaps()), -1);
  KT::i32 next = 0;
  for (int m = 1; m < mesh.getNumMaps(); ++m)
    if (mesh.Map(m).getNumVerts() >= 1 && mesh.Map(m).getNumFaces() >= 1) table[static_cast<std::size_t>(m)] = next++;
  return table;
}

// One placeholder channel: `count` zeroed coordinates (at least one) and
// one zeroed triangle and vertex entry of index data.
KT::CPointer<KT::CUvwMap> PlaceholderChannel(int count) {
  KT::CPointer<KT::CUvwMap> map;
  KT::CPointer<KT::CUvwMapData> data;
  if (KT::Failed(KT::CUvwMap::Create(map)) || KT::Failed(KT::CUvwMapData::Create(data))) return {};
  data->AllocateUvwTriIndex(1);
  data->AllocateVertexUvwMap(1);
  map->AllocateUvw(static_cast<KT::u32>(count < 1 ? 1 : count));
  map->SetUvwMapData(data.Get());
  return map;
}

}  // namespace

void CMaxDrn::ExportUvwAnimation(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext*) {
  if (mesh == nullptr || node == nullptr || mod == nullptr) return;
  Object* object = node->EvalWorldState(t).obj;
  if (object == nullptr || !object->HasUVW()) return;

  const int channel = AnimatedChannel(mod, t);
  if (channel < 0 || channel >= object->NumMaps() || static_cast<std::size_t>(channel) >= uvChannels.size()) return;
  const KT::i32 index = uvChannels[static_cast<std::size_t>(channel)];
  if (index < 0) return;
  KT::CTriMeshData* data = mesh->GetTriMeshLod(0);
  KT::CUvwMap* target = data != nullptr ? data->GetUvwChannel(static_cast<KT::u32>(index)) : nullptr;
  if (target == nullptr) return;

  KT::CPointer<KT::CUvwMapClipControl> clipControl(new (std::nothrow) KT::CUvwMapClipControl());
  if (!clipControl) return;
  clipControl->SetFrequency(1.0f);
  target->AddControl(clipControl.Get());

  const int ticksPerFrame = GetTicksPerFrame();
  for (const ClipRecord& clip : clips) {
    KT::CPointer<KT::CUvwMapControl> child(new (std::nothrow) KT::CUvwMapControl());
    if (!child) return;
    child->SetName(clip.Name);
    child->SetRepeat(KT::CControl::RT_WRAP);
    child->SetFrequency(1.0f);
    clipControl->AddChild(child.Get());

    const TimeValue origin = static_cast<TimeValue>(clip.From) * ticksPerFrame;
    const TimeValue end = static_cast<TimeValue>(clip.To) * ticksPerFrame;
    for (const TimeValue tick : SampleTicks(origin, end, sampleRate, ticksPerFrame)) {
      Mesh sampled;
      if (!MeshAtTick(node, tick, sampled)) return;  // the controls built so far stay
      if (channel >= sampled.getNumMaps()) continue;
      const std::vector<UVVert>& coordinates = sampled.Map(channel).tv;
      KT::CPointer<KT::CUvwMap> sample;
      if (KT::Failed(KT::CUvwMap::Create(sample)) ||
          KT::Failed(sample->AllocateUvw(static_cast<KT::u32>(coordinates.size()))))
        continue;
      KT::CUvwMap::Vec3* out = sample->GetUVW().GetData();
      for (std::size_t i = 0; i < coordinates.size(); ++i) out[i] = {coordinates[i].x, coordinates[i].y, coordinates[i].z};
      // A set of another size than the channel's is refused: that key is missing.
      child->SetKey(KeyTimeFromTicks(tick, origin, ticksPerFrame), kSampledKeyFramesPerSecond, sample.Get(),
                    KT::TT_LINEAR);
    }
  }

  KT::CClipKey key;
  key.ClipID = 0;
  clipControl->AddClipKey(key, kSampledKeyFramesPerSecond);
}

void CMaxDrn::BuildUvwAnimation(int /*ticksPerFrame*/) {
  StepProgress(10, "Build Uvw Animation");
  if (!root) return;
  for (INode* inode : nodes) {
    KT::CNode* parent = FindConvertedNode(root.Get(), inode);
    if (parent == nullptr) continue;
    const std::vector<StackEntry> modifiers = UvwModifiers(inode);
    if (modifiers.empty()) continue;
    Mesh mesh;
    if (!MeshAtTick(inode, 0, mesh)) continue;

    uvChannels = UvChannelTable(mesh);
    KT::CPointer<KT::CTriMesh> placeholder;
    KT::CPointer<KT::CTriMeshData> data;
    if (KT::Failed(KT::CTriMesh::Create(placeholder)) || KT::Failed(KT::CTriMeshData::Create(data))) continue;
    placeholder->SetName(ToWide(inode->GetName()));
    parent->AddChild(placeholder.Get());
    placeholder->SetSingleLod(data.Get());
    for (int m = 0; m < mesh.getNumMaps(); ++m) {
      if (uvChannels[static_cast<std::size_t>(m)] < 0) continue;
      KT::CPointer<KT::CUvwMap> channel = PlaceholderChannel(mesh.Map(m).getNumVerts());
      if (channel) data->AddUvwMap(channel.Get());
    }

    for (const StackEntry& entry : modifiers)
      ExportUvwAnimation(placeholder.Get(), inode, 0, entry.modifier, entry.context);
  }
}
