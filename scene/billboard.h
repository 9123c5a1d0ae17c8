// KT::CBillboard: a geometry drawn as a card that turns about Z or faces
// the camera, with a blend mode.
//
// Apart from its two rendering settings it is a KT::CMirrorSurface in all
// but name: the same list of UVW maps with the same object operations, and
// the same per-frame update (KT::CUvwMappedGeometry, scene/mirror_surface.h).
//
// Record, after the KT::CGeometry record (little-endian): version pair
// 2.01; BlendMode (u32); Type (u32); UVWMapQuantity (u32); one 8-byte id
// per map. Records up to 2.00 store each map id in 4 bytes.
#pragma once

#include "scene/mirror_surface.h"

namespace KT {

class CBillboard : public CUvwMappedGeometry {
  KT_DECLARE_CLASS(CBillboard)

 public:
  enum BlendModeType : u32 { BM_AlphaBlend = 0, BM_Additive = 1, BM_Subtractive = 2 };
  enum BillboardType : u32 { BT_RotateZ = 0, BT_FaceCam = 1 };
  static const char16_t* const kBlendModeNames[3];
  static const char16_t* const kTypeNames[2];

  // Version gates of the record.
  static constexpr u32 kVersionWideMapIds = 201;  // map ids are 8 bytes from here on

  // BM_AlphaBlend, BT_RotateZ, no levels, no maps.
  CBillboard();
  // The geometry copy, BlendMode, Type and the source's maps, shared.
  CBillboard(const CBillboard& other);
  ~CBillboard() override;

  // A new default billboard into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CBillboard>& out);

  // Stored as given: a value outside the enumeration (from a file) is kept
  // and saved again unchanged.
  u32 GetBlendMode() const { return blendMode_; }
  void SetBlendMode(u32 mode) {
    blendMode_ = mode;
    SetModified();
  }
  u32 GetType() const { return type_; }
  void SetType(u32 type) {
    type_ = type;
    SetModified();
  }

  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a billboard (null: kErrInvalidArg; another class:
  // kErrNotFound; checked before anything is copied). The geometry part,
  // BlendMode and Type, then the maps shared (the target's former maps go
  // to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record of any version; the map count is checked against the
  // bytes left (kErrStream) before anything is allocated.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  u32 blendMode_ = BM_AlphaBlend;
  u32 type_ = BT_RotateZ;
};

}  // namespace KT
