// The stand-in's materials and maps, answered from the description: the
// Standard, Multi/Sub-Object and Blend materials, the Bitmap map with its UV
// generator, the Normal Bump map around a bitmap and the reflection map that
// answers I_REFLECTION_MAP.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/host/mtl.h"
#include "platform/host/scene_description.h"

namespace KT::Host {

// The class id the stand-in gives its reflection map.
inline constexpr Class_ID kReflectionMapClassID(0x7E5D0020, 0);

class HostUVGen : public StdUVGen {
 public:
  explicit HostUVGen(const BitmapDesc& bitmap) : bitmap_(bitmap) {}
  float GetUOffs(TimeValue) override { return bitmap_.uOffset; }
  float GetVOffs(TimeValue) override { return bitmap_.vOffset; }
  float GetUScl(TimeValue) override { return bitmap_.uTiling; }
  float GetVScl(TimeValue) override { return bitmap_.vTiling; }

 private:
  const BitmapDesc& bitmap_;
};

class HostBitmapTex : public BitmapTex {
 public:
  explicit HostBitmapTex(const BitmapDesc& bitmap) : bitmap_(bitmap), uvGen_(bitmap) {}
  const TCHAR* GetName() override { return "Bitmap"; }
  const TCHAR* GetMapName() override { return bitmap_.file.c_str(); }
  UVGen* GetTheUVGen() override { return &uvGen_; }
  int GetUVWSource() override { return bitmap_.uvwSource; }
  int GetMapChannel() override { return bitmap_.channel; }

 private:
  const BitmapDesc& bitmap_;
  HostUVGen uvGen_;
};

// A normal bump map: sub-map 0 is the normal map (null when it has none).
class HostNormalBump : public Texmap {
 public:
  explicit HostNormalBump(const MapDesc& map);
  Class_ID ClassID() override { return NORMAL_BUMP_CLASS_ID; }
  const TCHAR* GetName() override { return "Normal Bump"; }
  int NumSubTexmaps() override { return 1; }
  Texmap* GetSubTexmap(int i) override;

 private:
  std::unique_ptr<HostBitmapTex> normal_;
};

class HostReflectionMap : public Texmap {
 public:
  Class_ID ClassID() override { return kReflectionMapClassID; }
  const TCHAR* GetName() override { return "Reflection"; }
  using Texmap::GetInterface;
  void* GetInterface(ULONG id) override { return id == I_REFLECTION_MAP ? this : nullptr; }
};

// The map of a description.
std::unique_ptr<Texmap> MakeMap(const MapDesc& map);

class HostStdMat : public StdMat {
 public:
  explicit HostStdMat(const MaterialDesc& desc);
  const TCHAR* GetName() override { return desc_.name.c_str(); }
  int NumSubTexmaps() override { return STD_MAT_SLOT_COUNT; }
  Texmap* GetSubTexmap(int i) override;
  BOOL GetTwoSided() override { return desc_.twoSided ? TRUE : FALSE; }
  Color GetAmbient(TimeValue t) override { return ColorAt("ambient", t); }
  Color GetDiffuse(TimeValue t) override { return ColorAt("diffuse", t); }
  Color GetSpecular(TimeValue t) override { return ColorAt("specular", t); }
  Color GetFilter(TimeValue t) override { return ColorAt("filter", t); }
  float GetShininess(TimeValue t) override { return desc_.params.EvalFloat("shininess", t, 0.0f); }
  float GetShinStr(TimeValue t) override { return desc_.params.EvalFloat("shinStr", t, 0.0f); }
  float GetSelfIllum(TimeValue t) override { return desc_.params.EvalFloat("selfIllum", t, 0.0f); }
  float GetOpacity(TimeValue t) override { return desc_.params.EvalFloat("opacity", t, 1.0f); }
  float GetOpacFalloff(TimeValue t) override { return desc_.params.EvalFloat("opacFalloff", t, 0.0f); }
  float GetWireSize(TimeValue t) override { return desc_.params.EvalFloat("wireSize", t, 1.0f); }
  float GetIOR(TimeValue t) override { return desc_.params.EvalFloat("ior", t, 1.5f); }
  float GetTexmapAmt(int id, TimeValue t) override;

 private:
  Color ColorAt(const char* name, TimeValue t) const;
  const MaterialDesc& desc_;
  std::array<std::unique_ptr<Texmap>, STD_MAT_SLOT_COUNT> maps_;
};

// Multi/Sub-Object and Blend: sub-materials (null for an empty slot); the
// blend's sub-map 0 is its mask.
class HostCompositeMtl : public Mtl {
 public:
  explicit HostCompositeMtl(const MaterialDesc& desc);
  Class_ID ClassID() override;
  const TCHAR* GetName() override { return desc_.name.c_str(); }
  int NumSubMtls() override { return static_cast<int>(subs_.size()); }
  Mtl* GetSubMtl(int i) override;
  int NumSubTexmaps() override { return desc_.cls == MaterialClass::kBlend ? 1 : 0; }
  Texmap* GetSubTexmap(int i) override { return (i == 0) ? mask_.get() : nullptr; }
  // Fills the sub-materials once every material exists.
  void Link(std::vector<Mtl*> subs) { subs_ = std::move(subs); }

 private:
  const MaterialDesc& desc_;
  std::vector<Mtl*> subs_;
  std::unique_ptr<Texmap> mask_;
};

}  // namespace KT::Host
