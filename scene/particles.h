// KT::CParticles: a geometry that holds a particle system of fixed
// capacity.
//
// The node owns the per-particle storage and its sizing and resetting; the
// particle controllers bound to it run the simulation and fill the slots.
// Every slot array holds at least MaxQuantity entries at all times, so a
// controller may index every slot below MaxQuantity:
//   positions     WorldXYZ (world space; level 0 holds one zeroed vertex
//                 per slot, so the geometry's vertex count is the capacity)
//   colours       Color (a counted buffer)
//   state         Size (vector-3), Life, RemainingLife, Angle
//   motion        BaseVelocity, Velocity (vector-3), Spin, JitterTimer,
//                 FallSpeed
// The scalar slots are single floats. The node also keeps the live count of
// the last step (ParticleCounter), the emit flag (ParticleFlag) and the
// emitter's world position (Origin).
//
// Record, after the KT::CGeometry record (little-endian): version pair
// 2.02; MaxQuantity, BlendMode, FaceToMode, Softness (u32 each). Records
// of 2.00 end after BlendMode, records of 2.01 after FaceToMode. The slot
// arrays are not stored: Link builds them for the stored capacity.
#pragma once

#include <vector>

#include "objectmodel/color.h"
#include "scene/geometry.h"

namespace KT {

class CParticles : public CGeometry {
  KT_DECLARE_CLASS(CParticles)

 public:
  enum BlendModeType : u32 { EAlphaBlend = 0, EAdditive = 1, ESubtractive = 2 };
  enum FaceToModeType : u32 { EFaceCam = 0, EVertical = 1, EHorizontal = 2 };
  static const char16_t* const kBlendModeNames[3];
  static const char16_t* const kFaceToModeNames[3];

  // Version gates of the record.
  static constexpr u32 kVersionFaceToMode = 201;  // FaceToMode stored from here on
  static constexpr u32 kVersionSoftness = 202;    // Softness stored from here on

  // The largest capacity SetMaxQuantity accepts. Every slot is stepped each
  // frame, so real systems stay far below it; the limit keeps a capacity
  // read from a file from asking for gigabytes.
  static constexpr u32 kMaxQuantityLimit = 1u << 20;

  // Capacity 0, no arrays, every setting 0.
  CParticles();
  // The geometry copy, BlendMode, FaceToMode, Softness and Origin; the copy
  // has capacity 0 and no arrays (Clone sizes them).
  CParticles(const CParticles& other);
  ~CParticles() override;

  // A new default node into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CParticles>& out);

  // --- capacity --------------------------------------------------------------------------
  // Sets the capacity to `n` and ParticleCounter to 0.
  // n = 0: the arrays stay as they are; kOk.
  // n > 0: the geometry must have exactly one level, and it must be present
  // (else kErrInvalidArg); level 0 gets n zeroed positions (its per-vertex
  // material ids follow the count), WorldXYZ and Color n zeroed entries,
  // every state and motion array n entries (existing entries kept); then
  // ResetParticles. kOk.
  // Refused, with nothing changed: n above kMaxQuantityLimit
  // (kErrInvalidArg); a level 0 whose vertex map names a position at or
  // past n (kErrInvalidArg); memory that cannot be had (kErrOutOfMemory).
  Result SetMaxQuantity(u32 n);
  u32 GetMaxQuantity() const { return maxQuantity_; }
  // For every slot below MaxQuantity: Life, RemainingLife, Spin,
  // JitterTimer and FallSpeed become 0, BaseVelocity and Velocity the zero
  // vector. Size, Angle, positions and colours stay.
  void ResetParticles();

  // --- settings ---------------------------------------------------------------------------
  // Stored as given: a value outside its enumeration (from a file) is kept
  // and saved again unchanged.
  u32 GetBlendMode() const { return blendMode_; }
  void SetBlendMode(u32 mode) {
    blendMode_ = mode;
    SetModified();
  }
  u32 GetFaceToMode() const { return faceToMode_; }
  void SetFaceToMode(u32 mode) {
    faceToMode_ = mode;
    SetModified();
  }
  u32 GetSoftness() const { return softness_; }
  void SetSoftness(u32 softness) {
    softness_ = softness;
    SetModified();
  }

  // --- simulation state (written by the particle controllers) -------------------------------
  u32 GetParticleCounter() const { return particleCounter_; }
  void SetParticleCounter(u32 count) { particleCounter_ = count; }
  bool GetParticleFlag() const { return particleFlag_; }
  void SetParticleFlag(bool flag) { particleFlag_ = flag; }
  const Vec3& GetOrigin() const { return origin_; }
  void SetOrigin(const Vec3& origin) { origin_ = origin; }

  // The slot arrays. Writers change elements in place; the sizes belong to
  // SetMaxQuantity.
  CBuffer<CColor>& GetColor() { return color_; }
  const CBuffer<CColor>& GetColor() const { return color_; }
  std::vector<Vec3>& GetSize() { return size_; }
  std::vector<f32>& GetLife() { return life_; }
  std::vector<f32>& GetRemainingLife() { return remainingLife_; }
  std::vector<f32>& GetAngle() { return angle_; }
  std::vector<Vec3>& GetBaseVelocity() { return baseVelocity_; }
  std::vector<Vec3>& GetVelocity() { return velocity_; }
  std::vector<f32>& GetSpin() { return spin_; }
  std::vector<f32>& GetJitterTimer() { return jitterTimer_; }
  std::vector<f32>& GetFallSpeed() { return fallSpeed_; }

  // --- spatial protocol ---------------------------------------------------------------------
  // Clears WorldXYZReady and WorldNormalReady; at the zero time (the start
  // of playback) ResetParticles; then the controllers. On success both
  // flags are set (the controllers write world positions) and the result is
  // kOk; else the first failure.
  Result Update(i32 time) override;
  // The centre of the world bound becomes the translation of WorldMatrix;
  // its radius and corners stay. kDone.
  Result UpdateWorldBound() override;
  // The geometry's collection, then the node itself (it updates every
  // frame). kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;

  // --- overrides ------------------------------------------------------------------------------
  // The geometry's clone (kDone and failures returned as is), then the
  // copy is sized to this capacity; its failure is returned.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a particle node (null: kErrInvalidArg; another
  // class: kErrNotFound; checked before anything is copied). The geometry
  // part, BlendMode, FaceToMode, ParticleFlag and Softness; a target of
  // another capacity is resized to this one (its failure is returned), one
  // of the same capacity keeps its arrays.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  // Reads the record of any version. The capacity takes effect in Link.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The geometry's link, then SetMaxQuantity with the stored capacity; its
  // failure fails the load (a capacity the node cannot hold, or a geometry
  // without exactly one level).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  u32 maxQuantity_ = 0;
  u32 blendMode_ = EAlphaBlend;
  u32 faceToMode_ = EFaceCam;
  u32 softness_ = 0;
  u32 particleCounter_ = 0;
  // State group.
  std::vector<Vec3> size_;
  std::vector<f32> life_;
  std::vector<f32> remainingLife_;
  std::vector<f32> angle_;
  CBuffer<CColor> color_;
  // Motion group.
  std::vector<Vec3> baseVelocity_;
  std::vector<Vec3> velocity_;
  std::vector<f32> spin_;
  std::vector<f32> jitterTimer_;
  std::vector<f32> fallSpeed_;
  Vec3 origin_;
  bool particleFlag_ = false;
  // The capacity Load read, applied by Link (so that MaxQuantity never
  // exceeds the arrays, even between the two).
  u32 loadedQuantity_ = 0;
};

}  // namespace KT
