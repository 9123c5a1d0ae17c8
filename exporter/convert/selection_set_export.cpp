// The named selection pass of the mesh export: each non-empty named vertex
// set of a mesh selection modifier becomes one KT::CMeshSelControl.

#include "controllers/core/mesh_sel_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/mesh_select_data.h"
#include "platform/host/modifier.h"
#include "scene/tri_mesh.h"

namespace {

// The host keeps a set of at most 32 bits in one word read in place; longer
// sets are read through its calls.
bool IsEmptySet(const BitArray& set) { return set.IsInline() ? set.GetInlineWord() == 0 : set.IsEmptyImpl(); }

bool IsSetBit(const BitArray& set, int bit) {
  if (set.IsInline()) return ((set.GetInlineWord() >> bit) & 1u) != 0;
  return set.GetNthBitImpl(bit) > 0;
}

}  // namespace

void CMaxDrn::ExportSelectionSets(KT::CTriMesh* mesh, INode*, TimeValue, Modifier* mod, ModContext* mc) {
  if (mesh == nullptr || mod == nullptr || mc == nullptr || mc->localData == nullptr) return;
  auto* data = static_cast<IMeshSelectData*>(mc->localData->GetInterface(I_MESH_SELECT_DATA));
  if (data == nullptr) return;
  GenericNamedSelSetList& sets = data->GetNamedVertSelList();
  const int count = sets.Count();
  for (int i = 0; i < count; ++i) {
    const BitArray* set = sets.GetSetByIndex(i);
    if (set == nullptr || IsEmptySet(*set)) continue;
    const int size = set->GetSize();
    KT::CBitArray bits(size);
    if (bits.GetBitCount() != size) continue;  // the bits could not be allocated
    for (int b = 0; b < size; ++b)
      if (IsSetBit(*set, b)) bits.SetBit(b, true);

    KT::CPointer<KT::CMeshSelControl> control(new (std::nothrow) KT::CMeshSelControl());
    if (!control) return;
    control->SetFrequency(1.0f);
    mesh->AddControl(control.Get());
    const TCHAR* name = sets.GetName(i);
    control->SetName(ToWide(name != nullptr ? name : ""));
    control->SetXYZSelBit(bits);
    control->SetModified();
  }
}
