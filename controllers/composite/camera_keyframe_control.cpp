#include "controllers/composite/camera_keyframe_control.h"

#include <algorithm>
#include <cmath>

#include "objectmodel/math_functions.h"
#include "render/lights/camera.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

const Vec3 kAxisX{1.0f, 0.0f, 0.0f};
const Vec3 kAxisZ{0.0f, 0.0f, 1.0f};

// The angle between two unit vectors, from their clamped dot product.
f32 AngleBetween(const Vec3& a, const Vec3& b) { return std::acos(std::clamp(a.Dot(b), -1.0f, 1.0f)); }

// An angle within the tolerance of 0 or of pi: the two directions lie on one
// line.
bool OnOneLine(f32 angle) {
  return angle < CCameraKeyframeControl::kOrbitEpsilon || angle > kPi - CCameraKeyframeControl::kOrbitEpsilon;
}

bool Negligible(const Vec3& v) {
  const f32 e = CCameraKeyframeControl::kOrbitEpsilon;
  return std::fabs(v.x) < e && std::fabs(v.y) < e && std::fabs(v.z) < e;
}

Vec3 Normalised(Vec3 v) {
  v.Normalize();
  return v;
}

}  // namespace

Vec3 CCameraKeyframeControl::ViewDirection(const CQuaternion& rotation) {
  return Vec3(0.0f, 0.0f, -1.0f).TransformByMatrix3(rotation.ToMatrix3());
}

CQuaternion CCameraKeyframeControl::Flip(const CQuaternion& rotation) {
  const Vec3 d = Normalised(ViewDirection(rotation));
  const Vec3 a0 = OnOneLine(AngleBetween(d, kAxisZ)) ? kAxisX : kAxisZ;
  // d x (d x a0) is perpendicular to d but only as long as the part of a0
  // across d; the half turn takes the unit axis.
  const Vec3 axis = Normalised(d.Cross(d.Cross(a0)));
  // The Hamilton product puts the half turn after `rotation`: the view is
  // turned about an axis across it, onto its opposite.
  return CQuaternion::FromAxisAngle(axis, kPi) * rotation;
}

Result CCameraKeyframeControl::EvaluateRts(i32 time, CRtsTransform& out) {
  out = kIdentityTransform;
  if (GetRtsKeys().empty()) return kOk;
  if (!orbitInterpolation_) {
    const Result r = CKeyframeControl::EvaluateRts(time, out);
    if (Failed(r)) return r;
  } else {
    KeyBracket b;
    BracketRtsKeys(time, b);
    const CRtsKey& earlier = GetRtsKeys()[b.prev];
    if (b.prev == b.next || b.fraction == 0.0f) {
      out = earlier.Value;
    } else {
      const CRtsKey& later = GetRtsKeys()[b.next];
      if (!Orbit(earlier, later, b.weight, DynamicCast<CCamera>(GetObject()), out)) {
        out = InterpolateRts(earlier.Value, later.Value, b.weight);
      }
    }
  }
  out.Scale = Vec3(1.0f, 1.0f, 1.0f);
  out.Stretch = kQuaternionIdentity;
  return kOk;
}

bool CCameraKeyframeControl::Orbit(const CRtsKey& earlier, const CRtsKey& later, f32 w, CCamera* camera,
                                   CRtsTransform& out) const {
  // The orbit places a camera by its eye frame; anything else moves
  // straight.
  if (camera == nullptr) return false;
  const Vec3& pA = earlier.Value.Translate;
  const Vec3& pB = later.Value.Translate;
  const Vec3 dA = Normalised(ViewDirection(earlier.Value.Rotate));
  const Vec3 dB = Normalised(ViewDirection(later.Value.Rotate));
  if (OnOneLine(AngleBetween(dA, dB))) return false;

  // The closest points of the two view lines.
  if (Negligible(dA) || Negligible(dB)) return false;
  const Vec3 r = pA - pB;
  const f32 aa = dA.Dot(dA);
  const f32 ab = dA.Dot(dB);
  const f32 bb = dB.Dot(dB);
  const f32 ar = dA.Dot(r);
  const f32 br = dB.Dot(r);
  const f32 determinant = aa * bb - ab * ab;
  if (std::fabs(determinant) < kOrbitEpsilon) return false;
  const f32 s = (br * ab - bb * ar) / determinant;
  const f32 u = (s * ab + br) / bb;
  const Vec3 c1 = pA + dA * s;
  const Vec3 c2 = pB + dB * u;

  // Views that turn away from each other share no region to orbit.
  if (dA.Cross(dB).Dot(dA.Cross(Normalised(pB - pA))) > 0.0f) return false;

  const f32 lengthA = (pA - c1).Length();
  const f32 lengthB = (pB - c2).Length();
  const f32 length = lengthA + (lengthB - lengthA) * w;
  const Vec3 focus = c1 + (c2 - c1) * w;
  // Flipped, a key's rotation looks from the focus toward the camera, so
  // the slerp turns the camera around the focus.
  const CQuaternion q = QuaternionSlerp(Flip(earlier.Value.Rotate), Flip(later.Value.Rotate), w);
  const Vec3 d = ViewDirection(q);
  const Vec3 eye = focus + d * length;
  const Vec3 up = kAxisZ.Cross(d).Cross(-d);
  // A view within the tolerance of the Z axis leaves no up vector, and a
  // non-finite key no frame at all: such a pair moves straight too.
  if (Negligible(up)) return false;
  Vec3 translation;
  CQuaternion rotation;
  if (Failed(CCamera::AlignToDirection(translation, rotation, *camera, eye, -d, up))) return false;
  // Sign, scale and stretch stay those of the identity.
  out = kIdentityTransform;
  out.Translate = translation;
  out.Rotate = rotation;
  camera->SetWorldEye(translation, up, -d);
  camera->SetModified();
  return true;
}

Result CCameraKeyframeControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  orbitInterpolation_ = true;
  return LoadFields(stream, storedVersion);
}

}  // namespace KT
