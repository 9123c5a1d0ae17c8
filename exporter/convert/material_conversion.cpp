#include "exporter/convert/material_conversion.h"

#include <new>

#include "exporter/plugin/conversion_helpers.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/mtl.h"
#include "render/materials/compound_materials.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"

namespace {

// The texture slots that need more than a bitmap lookup.
constexpr int kBumpSlot = 8;
constexpr int kReflectionSlot = 9;
constexpr int kRefractionSlot = 10;
// TextureSlotOfMapChannel's answer for a slot that is not exported.
constexpr int kNoChannel = 12;
constexpr float kRefractionIndex = 0.95f;

BitmapTex* AsBitmap(Texmap* tex) {
  if (tex == nullptr || !(tex->ClassID() == BITMAP_TEX_CLASS_ID)) return nullptr;
  return dynamic_cast<BitmapTex*>(tex);
}

KT::WString HostName(MtlBase* mtl) { return ToWide(mtl->GetName() != nullptr ? mtl->GetName() : ""); }

void StoreUvTransform(KT::CStandardMaterial* material, KT::u32 channel, Texmap* tex, TimeValue t) {
  auto* uvGen = dynamic_cast<StdUVGen*>(tex->GetTheUVGen());
  if (uvGen == nullptr) return;
  const UvTransform uv = ConvertUvTransform(uvGen, t);
  material->SetTexUvScale(channel, uv.scale[0], uv.scale[1]);
  material->SetTexUvTranslate(channel, uv.translate[0], uv.translate[1]);
}

}  // namespace

UvTransform ConvertUvTransform(StdUVGen* uvGen, TimeValue t) {
  UvTransform uv;
  if (uvGen == nullptr) return uv;
  const float uOffset = uvGen->GetUOffs(t);
  const float vOffset = uvGen->GetVOffs(t);
  const float uTiling = uvGen->GetUScl(t);
  const float vTiling = uvGen->GetVScl(t);
  uv.scale[0] = uTiling;
  uv.scale[1] = vTiling;
  uv.translate[0] = (1.0f - uTiling) * 0.5f - uOffset * uTiling;
  uv.translate[1] = (1.0f - vTiling) * 0.5f + vOffset * vTiling;
  return uv;
}

KT::CPointer<KT::CMaterial> CMaxDrn::ConvertMaterial(Mtl* mtl, TimeValue t) {
  if (mtl == nullptr) return nullptr;
  const Class_ID id = mtl->ClassID();
  if (id == STANDARD_MTL_CLASS_ID) {
    auto* standard = dynamic_cast<StdMat*>(mtl);
    if (standard == nullptr) return nullptr;
    const auto cached = materialCache.find(mtl);
    if (cached != materialCache.end()) return cached->second;
    KT::CPointer<KT::CStandardMaterial> converted = ConvertStandardMaterial(standard, t);
    if (!converted) return nullptr;
    BuildMaterialAttributeControl(standard, converted.Get());
    KT::CPointer<KT::CMaterial> result(converted.Get());
    materialCache[mtl] = result;
    return result;
  }
  if (id == MULTI_MTL_CLASS_ID) {
    KT::CPointer<KT::CMultiMaterial> multi(new (std::nothrow) KT::CMultiMaterial());
    if (!multi) return nullptr;
    multi->SetName(HostName(mtl));
    for (int i = 0; i < mtl->NumSubMtls(); ++i) {
      // A null result (empty slot, unsupported class) is skipped, so the
      // later sub-materials move down one place.
      multi->AddSubMaterial(ConvertMaterial(mtl->GetSubMtl(i), t).Get());
    }
    return KT::CPointer<KT::CMaterial>(multi.Get());
  }
  if (id == BLEND_MTL_CLASS_ID) {
    KT::CPointer<KT::CBlendMaterial> blend(new (std::nothrow) KT::CBlendMaterial());
    if (!blend) return nullptr;
    blend->SetName(HostName(mtl));
    for (int i = 0; i < mtl->NumSubMtls(); ++i) {
      blend->SetMaterial(static_cast<KT::u32>(i), ConvertMaterial(mtl->GetSubMtl(i), t).Get());
    }
    if (BitmapTex* mask = AsBitmap(mtl->GetSubTexmap(0))) {
      KT::CPointer<KT::CTextureMap> map(new (std::nothrow) KT::CTextureMap());
      if (map && KT::Succeeded(LoadTexture(map.Get(), mask))) blend->SetMask(map.Get());
    }
    return KT::CPointer<KT::CMaterial>(blend.Get());
  }
  return nullptr;
}

KT::CPointer<KT::CStandardMaterial> CMaxDrn::ConvertStandardMaterial(StdMat* mtl, TimeValue t) {
  if (mtl == nullptr) return nullptr;
  KT::CPointer<KT::CStandardMaterial> material(new (std::nothrow) KT::CStandardMaterial());
  if (!material) return nullptr;
  material->SetName(HostName(mtl));
  material->TwoSided = mtl->GetTwoSided() > 0;
  material->Ambient = ToVector(mtl->GetAmbient(t));
  material->Diffuse = ToVector(mtl->GetDiffuse(t));
  material->Specular = ToVector(mtl->GetSpecular(t));
  material->Filter = ToVector(mtl->GetFilter(t));
  material->Shininess = mtl->GetShininess(t);
  material->ShineStrength = mtl->GetShinStr(t);
  material->SelfIllum = mtl->GetSelfIllum(t);
  material->Opacity = mtl->GetOpacity(t);
  material->Opfall = mtl->GetOpacFalloff(t);
  material->WireSize = mtl->GetWireSize(t);
  material->IORefract = mtl->GetIOR(t);
  material->SetModified();

  for (int slot = 0; slot < STD_MAT_SLOT_COUNT; ++slot) {
    Texmap* tex = mtl->GetSubTexmap(slot);
    if (tex == nullptr || TextureSlotOfMapChannel(slot) == kNoChannel) continue;
    if (slot == kRefractionSlot) {
      // A marker only: the map itself is not read. Its weight is the
      // amount at the start of time, whatever t is.
      KT::CPointer<KT::CRefractionMap> refraction(new (std::nothrow) KT::CRefractionMap());
      if (!refraction) continue;
      refraction->RefractionIndex = kRefractionIndex;
      material->SetTexture(KT::CStandardMaterial::kRefraction, refraction.Get());
      material->TextureWeightRef(KT::CStandardMaterial::kRefraction) = mtl->GetTexmapAmt(slot, 0);
      continue;
    }
    if (slot == kReflectionSlot && tex->GetInterface(static_cast<ULONG>(I_REFLECTION_MAP)) != nullptr) {
      KT::CPointer<KT::CCubeMap> cube(new (std::nothrow) KT::CCubeMap());
      if (!cube) continue;
      material->SetTexture(KT::CStandardMaterial::kCube, cube.Get());
      material->TextureWeightRef(KT::CStandardMaterial::kCube) = mtl->GetTexmapAmt(slot, t);
      continue;
    }
    if (slot == kBumpSlot && tex->ClassID() == NORMAL_BUMP_CLASS_ID) {
      if (BitmapTex* normalMap = AsBitmap(tex->GetSubTexmap(0))) {
        KT::CPointer<KT::CNormalBumpTex> bump(new (std::nothrow) KT::CNormalBumpTex());
        KT::CPointer<KT::CTextureMap> map(new (std::nothrow) KT::CTextureMap());
        if (bump && map && KT::Succeeded(LoadTexture(map.Get(), normalMap))) {
          map->SetUvwChannel(0);
          bump->SetNormalTexture(map.Get());
          material->SetTexture(KT::CStandardMaterial::kBump, bump.Get());
          material->TextureWeightRef(KT::CStandardMaterial::kBump) = mtl->GetTexmapAmt(slot, t);
        }
        StoreUvTransform(material.Get(), KT::CStandardMaterial::kBump, normalMap, t);
        continue;
      }
    }
    ConvertTextureSlot(mtl, material.Get(), t, tex, slot);
  }
  return material;
}

KT::Result CMaxDrn::ConvertTextureSlot(StdMat* mtl, KT::CStandardMaterial* material, TimeValue t, Texmap* tex,
                                       int slot) {
  if (mtl == nullptr || material == nullptr || tex == nullptr) return KT::kErrInvalidArg;
  const int channelIndex = TextureSlotOfMapChannel(slot);
  if (channelIndex < 0 || channelIndex >= static_cast<int>(KT::CStandardMaterial::kChannelCount)) {
    return KT::kErrInvalidArg;
  }
  const auto channel = static_cast<KT::u32>(channelIndex);
  KT::Result result = KT::kDone;
  if (BitmapTex* bitmap = AsBitmap(tex)) {
    KT::CPointer<KT::CTextureMap> map(new (std::nothrow) KT::CTextureMap());
    result = map ? LoadTexture(map.Get(), bitmap) : KT::kErrOutOfMemory;
    if (KT::Succeeded(result)) {
      if (slot == kBumpSlot) map->SetUvwChannel(0);
      material->SetTexture(channel, map.Get());
      material->TextureWeightRef(channel) = mtl->GetTexmapAmt(slot, t);
    }
  }
  // The placement is kept even when the file did not load.
  StoreUvTransform(material, channel, tex, t);
  return result;
}
