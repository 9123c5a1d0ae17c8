// KT::CCameraKeyframeControl: the keyframe transform controller of a
// camera. It keeps everything of KT::CKeyframeControl (the RTS and sticky
// tracks, the time mapping, the per-frame UpdateTransform, the records of
// the keys) and replaces only the evaluation of the RTS track:
//   - a camera never scales or stretches: with keys, the result always has
//     scale (1, 1, 1) and the identity stretch (sign, rotation and
//     translation stay as evaluated);
//   - with OrbitInterpolation on (the default), two keys whose views
//     converge on a common region are blended by orbiting that region
//     (distance and focus blended, orientation slerped) instead of moving
//     the camera along the straight line between the two positions.
//
// The orbit between the earlier key P and the later key N at the fraction
// f (w = f eased by N's transition), with dir(q) = (0, 0, -1) turned by q
// (a key's view direction) and Flip(q) = q followed by a half turn about an
// axis perpendicular to dir(q) (so dir(Flip(q)) = -dir(q)):
//   1. on a key, or at f = 0, P's transform stands and nothing is written;
//   2. dA, dB = the normalised views of P and N; the closest points C1, C2
//      of the view lines pA + s dA and pB + u dB;
//   3. the straight blend (InterpolateRts at w) is taken instead when the
//      views are parallel or opposite (within 1e-5 rad), when the closest
//      points cannot be found (a view or the lines' determinant below 1e-5),
//      when the views do not converge ((dA x dB) . (dA x unit(pB - pA)) > 0),
//      or when the controlled object is not a KT::CCamera;
//   4. L = |pA - C1| blended to |pB - C2| at w, the focus F = C1 blended to
//      C2 at w, q = slerp(Flip(P.rotation), Flip(N.rotation), w) and
//      d = dir(q) (from the focus toward the camera); the orbit point is
//      F + d x L, the view -d and the up vector U = (+Z x d) x (-d);
//   5. KT::CCamera::AlignToDirection turns the camera's own eye frame onto
//      that view and up vector and places the camera so that its eye, not
//      its origin, stands at the orbit point (when it refuses the frame, a
//      view along Z, the straight blend is taken instead);
//   6. the camera's WorldEyeLocation (the placed translation), WorldEyeUp
//      (U) and WorldEyeDirection (-d) are written and the camera is marked
//      modified. The camera's own transform update recomputes its world eye
//      frame from its world matrix afterwards.
//
// Record, after the KT::CKeyframeControl part: version pair 2.01 and
// OrbitInterpolation (one byte; non-zero reads as true): 9 bytes. Records
// below 2.01 end after the pair and load with the flag on. The member
// description is the keyframe controller's alone.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/quaternion.h"

namespace KT {

class CCamera;

class CCameraKeyframeControl
    : public CControlLevel<CCameraKeyframeControl, CKeyframeControl, ClassIndex::CCameraKeyframeControl> {
 public:
  // Version gate of the record.
  static constexpr u32 kVersionOrbitFlag = 201;  // OrbitInterpolation stored from here on
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  // Angles (rad), lengths and determinants below this count as zero.
  static constexpr f32 kOrbitEpsilon = 1e-5f;

  CCameraKeyframeControl() = default;
  // The keyframe controller's copy and the flag.
  CCameraKeyframeControl(const CCameraKeyframeControl& other) = default;

  bool GetOrbitInterpolation() const { return orbitInterpolation_; }
  void SetOrbitInterpolation(bool orbit) {
    orbitInterpolation_ = orbit;
    SetModified();
  }

  // (0, 0, -1) turned by `rotation`: the view of a camera key.
  static CVector3<float> ViewDirection(const CQuaternion& rotation);
  // `rotation` followed by a half turn about d x (d x a0), d its view and
  // a0 = +Z, or +X when d lies within 1e-5 rad of the Z axis: a rotation
  // that looks the opposite way.
  static CQuaternion Flip(const CQuaternion& rotation);

  // --- keyframe-controller protocol -----------------------------------------------
  // The identity without keys. Otherwise the orbit evaluation (above) with
  // OrbitInterpolation on, the keyframe controller's evaluation with it
  // off, then scale (1, 1, 1) and the identity stretch. Moves the track's
  // cache. kOk.
  Result EvaluateRts(i32 time, CRtsTransform& out) override;

  // --- root protocol ---------------------------------------------------------------
  // The keyframe controller's members only (the flag is not described).
  void DescribeMembers(CMemberVisitor& visitor) override { CKeyframeControl::DescribeMembers(visitor); }
  u32 GetMemorySize() const override {
    return CKeyframeControl::GetMemorySize() + static_cast<u32>(sizeof(orbitInterpolation_));
  }

  // --- the class level (control_level.h) ---
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    if (StoredSince(w, kVersionOrbitFlag)) w.Bool(u"OrbitInterpolation", self.orbitInterpolation_);
  }
  // Records below 2.01 carry no flag: the orbit is on.
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  Result CopyOwnTo(CCameraKeyframeControl& target) const {
    target.orbitInterpolation_ = orbitInterpolation_;
    return kOk;
  }

 private:
  // The orbit evaluation between two distinct keys at weight w; false when
  // the pair (or the bound object) calls for the straight blend.
  bool Orbit(const CRtsKey& earlier, const CRtsKey& later, f32 weight, CCamera* camera, CRtsTransform& out) const;

  bool orbitInterpolation_ = true;
};

}  // namespace KT
