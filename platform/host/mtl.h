// The host's materials and maps as the exporter reads them: names, sub-maps
// and sub-materials, the Standard material's parameters at a tick, and a
// map's UV generator, UVW source and map channel.
#pragma once

#include "platform/host/animatable.h"
#include "platform/host/max_types.h"
#include "platform/host/point3.h"

class Texmap;

// Sub-maps of a material or map.
class ISubMap {
 public:
  virtual ~ISubMap() = default;
  virtual int NumSubTexmaps() { return 0; }
  // Sub-map i, or null (empty slot, or i outside).
  virtual Texmap* GetSubTexmap(int) { return nullptr; }
};

class MtlBase : public ReferenceTarget, public ISubMap {
 public:
  virtual const TCHAR* GetName() = 0;
};

class Mtl : public MtlBase {
 public:
  virtual int NumSubMtls() { return 0; }
  // Sub-material i, or null (empty slot, or i outside).
  virtual Mtl* GetSubMtl(int) { return nullptr; }
};

class UVGen : public ReferenceTarget {};

class StdUVGen : public UVGen {
 public:
  virtual float GetUOffs(TimeValue t) = 0;
  virtual float GetVOffs(TimeValue t) = 0;
  virtual float GetUScl(TimeValue t) = 0;  // tiling
  virtual float GetVScl(TimeValue t) = 0;
};

class Texmap : public MtlBase {
 public:
  // The map's UV generator, or null when it has none.
  virtual UVGen* GetTheUVGen() { return nullptr; }
  // 0 when the coordinates come from an explicit map channel.
  virtual int GetUVWSource() { return 0; }
  virtual int GetMapChannel() { return 1; }
};

class BitmapTex : public Texmap {
 public:
  Class_ID ClassID() override { return BITMAP_TEX_CLASS_ID; }
  // The file name as the user entered it.
  virtual const TCHAR* GetMapName() = 0;
};

// Texture slots of the Standard material, 0 to 11.
inline constexpr int STD_MAT_SLOT_COUNT = 12;

class StdMat : public Mtl {
 public:
  Class_ID ClassID() override { return STANDARD_MTL_CLASS_ID; }
  virtual BOOL GetTwoSided() = 0;
  virtual Color GetAmbient(TimeValue t) = 0;
  virtual Color GetDiffuse(TimeValue t) = 0;
  virtual Color GetSpecular(TimeValue t) = 0;
  virtual Color GetFilter(TimeValue t) = 0;
  virtual float GetShininess(TimeValue t) = 0;
  virtual float GetShinStr(TimeValue t) = 0;
  virtual float GetSelfIllum(TimeValue t) = 0;
  virtual float GetOpacity(TimeValue t) = 0;
  virtual float GetOpacFalloff(TimeValue t) = 0;
  virtual float GetWireSize(TimeValue t) = 0;
  virtual float GetIOR(TimeValue t) = 0;
  // The amount of texture slot `id` (0 outside 0-11).
  virtual float GetTexmapAmt(int id, TimeValue t) = 0;
};
