#include "platform/host/host_materials.h"

#include <string>

namespace KT::Host {

HostNormalBump::HostNormalBump(const MapDesc& map) {
  if (map.bitmap.has_value()) normal_ = std::make_unique<HostBitmapTex>(*map.bitmap);
}

Texmap* HostNormalBump::GetSubTexmap(int i) { return i == 0 ? normal_.get() : nullptr; }

std::unique_ptr<Texmap> MakeMap(const MapDesc& map) {
  switch (map.kind) {
    case MapKind::kBitmap:
      if (!map.bitmap.has_value()) return nullptr;
      return std::make_unique<HostBitmapTex>(*map.bitmap);
    case MapKind::kNormalBump:
      return std::make_unique<HostNormalBump>(map);
    case MapKind::kReflection:
      return std::make_unique<HostReflectionMap>();
  }
  return nullptr;
}

HostStdMat::HostStdMat(const MaterialDesc& desc) : desc_(desc) {
  for (std::size_t i = 0; i < maps_.size(); ++i)
    if (desc.slots[i].map.has_value()) maps_[i] = MakeMap(*desc.slots[i].map);
}

Texmap* HostStdMat::GetSubTexmap(int i) {
  return (i >= 0 && i < STD_MAT_SLOT_COUNT) ? maps_[static_cast<std::size_t>(i)].get() : nullptr;
}

float HostStdMat::GetTexmapAmt(int id, TimeValue t) {
  if (id < 0 || id >= STD_MAT_SLOT_COUNT) return 0.0f;
  return desc_.params.EvalFloat("amount:" + std::to_string(id), t, desc_.slots[static_cast<std::size_t>(id)].amount);
}

Color HostStdMat::ColorAt(const char* name, TimeValue t) const {
  const std::vector<float> c = desc_.params.Eval(name, t, {0.0f, 0.0f, 0.0f});
  return c.size() >= 3 ? Color(c[0], c[1], c[2]) : Color();
}

HostCompositeMtl::HostCompositeMtl(const MaterialDesc& desc) : desc_(desc) {
  if (desc.mask.has_value()) mask_ = MakeMap(*desc.mask);
}

Class_ID HostCompositeMtl::ClassID() {
  return desc_.cls == MaterialClass::kBlend ? BLEND_MTL_CLASS_ID : MULTI_MTL_CLASS_ID;
}

Mtl* HostCompositeMtl::GetSubMtl(int i) {
  return (i >= 0 && i < NumSubMtls()) ? subs_[static_cast<std::size_t>(i)] : nullptr;
}

}  // namespace KT::Host
