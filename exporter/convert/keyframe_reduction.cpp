#include "exporter/convert/keyframe_reduction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

#include "controllers/core/rts_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/interface.h"
#include "render/lights/camera_control.h"
#include "render/lights/light_control.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light_control.h"
#include "render/materials/material_attribute_control.h"
#include "scene/light.h"

namespace {

using Vec3 = KT::CVector3<float>;

template <std::size_t N>
void NormalizeInPlace(std::array<float, N>& v) {
  float sum = 0.0f;
  for (float x : v) sum += x * x;
  const float length = std::sqrt(sum);
  if (length == 0.0f) return;
  for (float& x : v) x /= length;
}

std::array<float, 2> ScalarPoint(float value, float time) { return {value, time}; }
std::array<float, 4> VectorPoint(const Vec3& v, float time) { return {v.x, v.y, v.z, time}; }

// The time coordinate of a key.
template <typename Key>
float TimeOf(const Key& key, const ReductionThresholds& t) {
  return static_cast<float>(key.Time) / t.ticksPerFrame;
}

bool Straight2(float a, float b, float c, float ta, float tb, float tc, float threshold) {
  const auto pa = ScalarPoint(a, ta), pb = ScalarPoint(b, tb), pc = ScalarPoint(c, tc);
  return IsStraight(pa, pb, pc, threshold);
}

bool Straight4(const Vec3& a, const Vec3& b, const Vec3& c, float ta, float tb, float tc, float threshold) {
  const auto pa = VectorPoint(a, ta), pb = VectorPoint(b, tb), pc = VectorPoint(c, tc);
  return IsStraight(pa, pb, pc, threshold);
}

// Axis (the vector part as it stands) and angle of the relative rotation
// inverse(a) x b.
void RelativeAxisAngle(const KT::CMatrix3& a, const KT::CMatrix3& b, Vec3& axis, float& angle) {
  const KT::CQuaternion q = KT::CQuaternion::FromMatrix3(a.Inverse() * b);
  axis = {q.x, q.y, q.z};
  angle = 2.0f * std::acos(std::clamp(q.w, -1.0f, 1.0f));
}

float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Runs one list's thinning in the chosen form. `straight` takes key
// indices; `removeAll` is the controller's bulk removal, `removeOne` its
// single-key removal.
template <typename Count, typename Straight, typename RemoveAll, typename RemoveOne>
void Thin(ThinMode mode, Count&& count, Straight&& straight, RemoveAll&& removeAll, RemoveOne&& removeOne) {
  if (mode == ThinMode::kOneAtATime) {
    ThinOneAtATime(count, straight, removeOne);
    return;
  }
  const std::vector<bool> keep = KeysToKeep(count(), straight);
  removeAll(keep);
}

}  // namespace

bool IsStraight(std::span<const float> a, std::span<const float> b, std::span<const float> c, float threshold) {
  constexpr std::size_t kMaxSize = 4;
  const std::size_t n = std::min({a.size(), b.size(), c.size(), kMaxSize});
  std::array<float, kMaxSize> d1{}, d2{};
  for (std::size_t i = 0; i < n; ++i) {
    d1[i] = b[i] - a[i];
    d2[i] = c[i] - b[i];
  }
  NormalizeInPlace(d1);
  NormalizeInPlace(d2);
  for (std::size_t i = 0; i < n; ++i)
    if (std::fabs(d2[i] - d1[i]) * 100.0f > threshold) return false;
  return true;
}

bool IsRotationStraight(const KT::CQuaternion& qa, const KT::CQuaternion& qb, const KT::CQuaternion& qc, float ta,
                        float tb, float tc, float threshold) {
  const KT::CMatrix3 ma = qa.ToMatrix3(), mb = qb.ToMatrix3(), mc = qc.ToMatrix3();
  Vec3 axis1, axis2;
  float angle1 = 0.0f, angle2 = 0.0f;
  RelativeAxisAngle(ma, mb, axis1, angle1);
  RelativeAxisAngle(mb, mc, axis2, angle2);
  const float length1 = Length(axis1), length2 = Length(axis2);
  // Only real axes are compared by direction: the rounding noise of a
  // constant rotation stays short and so counts as straight.
  if (length1 >= 1e-5f && length2 >= 1e-5f) {
    axis1 = {axis1.x / length1, axis1.y / length1, axis1.z / length1};
    axis2 = {axis2.x / length2, axis2.y / length2, axis2.z / length2};
  }
  auto p1 = VectorPoint(axis1, tb - ta), p2 = VectorPoint(axis2, tc - tb);
  NormalizeInPlace(p1);
  NormalizeInPlace(p2);
  for (std::size_t i = 0; i < p1.size(); ++i)
    if (std::fabs(p1[i] - p2[i]) > threshold) return false;
  auto s1 = ScalarPoint(angle1, tb - ta), s2 = ScalarPoint(angle2, tc - tb);
  NormalizeInPlace(s1);
  NormalizeInPlace(s2);
  for (std::size_t i = 0; i < s1.size(); ++i)
    if (std::fabs(s1[i] - s2[i]) * 100.0f > threshold) return false;
  return true;
}

bool RtsKeysStraight(const KT::CKeyframeControl::CRtsKey& a, const KT::CKeyframeControl::CRtsKey& b,
                     const KT::CKeyframeControl::CRtsKey& c, const ReductionThresholds& t) {
  const float ta = TimeOf(a, t), tb = TimeOf(b, t), tc = TimeOf(c, t);
  return IsRotationStraight(a.Value.Rotate, b.Value.Rotate, c.Value.Rotate, ta, tb, tc, t.rotation) &&
         Straight4(a.Value.Translate, b.Value.Translate, c.Value.Translate, ta, tb, tc, t.translation) &&
         Straight4(a.Value.Scale, b.Value.Scale, c.Value.Scale, ta, tb, tc, t.scale);
}

void ThinKeyframeControl(KT::CKeyframeControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetRtsKeys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) { return RtsKeysStraight(keys[i], keys[j], keys[k], t); },
      [&](const std::vector<bool>& keep) { control.RemoveRtsKeys(keep); },
      [&](std::size_t k) { control.RemoveRtsKey(static_cast<KT::u32>(k)); });
}

void ThinMaterialLightKeys(KT::CMaterialAttributeControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetLightKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        const auto &a = keys[i], &b = keys[j], &c = keys[k];
        const float ta = TimeOf(a, t), tb = TimeOf(b, t), tc = TimeOf(c, t), p = t.property;
        return Straight4(a.Ambient, b.Ambient, c.Ambient, ta, tb, tc, p) &&
               Straight4(a.Diffuse, b.Diffuse, c.Diffuse, ta, tb, tc, p) &&
               Straight4(a.Specular, b.Specular, c.Specular, ta, tb, tc, p) &&
               Straight2(a.Shininess, b.Shininess, c.Shininess, ta, tb, tc, p) &&
               Straight2(a.ShineStrength, b.ShineStrength, c.ShineStrength, ta, tb, tc, p) &&
               Straight2(a.SelfIllum, b.SelfIllum, c.SelfIllum, ta, tb, tc, p);
      },
      [&](const std::vector<bool>& keep) { control.RemoveLightKeys(keep); },
      [&](std::size_t k) { control.RemoveLightKey(static_cast<KT::u32>(k)); });
}

void ThinMaterialSelfKeys(KT::CMaterialAttributeControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetSelfKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        const auto &a = keys[i], &b = keys[j], &c = keys[k];
        const float ta = TimeOf(a, t), tb = TimeOf(b, t), tc = TimeOf(c, t), p = t.property;
        return Straight2(a.Opacity, b.Opacity, c.Opacity, ta, tb, tc, p) &&
               Straight2(a.Opfall, b.Opfall, c.Opfall, ta, tb, tc, p);
      },
      [&](const std::vector<bool>& keep) { control.RemoveSelfKeys(keep); },
      [&](std::size_t k) { control.RemoveSelfKey(static_cast<KT::u32>(k)); });
}

void ThinMaterialTextureKeys(KT::CMaterialAttributeControl& control, const ReductionThresholds& t, ThinMode mode) {
  // The channel weights 0 to 10 take part; the twelfth is not compared.
  constexpr std::size_t kComparedWeights = 11;
  const auto& keys = control.GetTextureKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        const auto &a = keys[i], &b = keys[j], &c = keys[k];
        const float ta = TimeOf(a, t), tb = TimeOf(b, t), tc = TimeOf(c, t);
        for (std::size_t w = 0; w < kComparedWeights && w < a.Weights.size(); ++w)
          if (!Straight2(a.Weights[w], b.Weights[w], c.Weights[w], ta, tb, tc, t.property)) return false;
        return true;
      },
      [&](const std::vector<bool>& keep) { control.RemoveTextureKeys(keep); },
      [&](std::size_t k) { control.RemoveTextureKey(static_cast<KT::u32>(k)); });
}

void ThinUvwMapControl(KT::CUvwMapControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& times = control.GetUVWTime();
  const auto& data = control.GetUVWData();
  Thin(
      mode, [&] { return times.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        const std::size_t n = times.empty() ? 0 : data.size() / times.size();
        const float ti = static_cast<float>(times[i]) / t.ticksPerFrame;
        const float tj = static_cast<float>(times[j]) / t.ticksPerFrame;
        const float tk = static_cast<float>(times[k]) / t.ticksPerFrame;
        for (std::size_t e = 0; e < n; ++e)
          if (!Straight4(data[i * n + e], data[j * n + e], data[k * n + e], ti, tj, tk, t.property)) return false;
        return true;
      },
      [&](const std::vector<bool>& keep) { control.RemoveKeys(keep); },
      [&](std::size_t k) { control.RemoveKey(static_cast<KT::u32>(k)); });
}

void ThinLightControl(KT::CLightControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetColorKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        return Straight4(keys[i].Color, keys[j].Color, keys[k].Color, TimeOf(keys[i], t), TimeOf(keys[j], t),
                         TimeOf(keys[k], t), t.property);
      },
      [&](const std::vector<bool>& keep) { control.RemoveColorKeys(keep); },
      [&](std::size_t k) { control.RemoveColorKey(static_cast<KT::u32>(k)); });
}

void ThinPointLightControl(KT::CPointLightControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetRangeKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        return Straight2(keys[i].Range, keys[j].Range, keys[k].Range, TimeOf(keys[i], t), TimeOf(keys[j], t),
                         TimeOf(keys[k], t), t.property);
      },
      [&](const std::vector<bool>& keep) { control.RemoveRangeKeys(keep); },
      [&](std::size_t k) { control.RemoveRangeKey(static_cast<KT::u32>(k)); });
}

void ThinSpotLightControl(KT::CSpotLightControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        const auto &a = keys[i], &b = keys[j], &c = keys[k];
        const float ta = TimeOf(a, t), tb = TimeOf(b, t), tc = TimeOf(c, t);
        return Straight2(a.Range, b.Range, c.Range, ta, tb, tc, t.property) &&
               Straight4(a.FalloffPhiTheta, b.FalloffPhiTheta, c.FalloffPhiTheta, ta, tb, tc, t.property);
      },
      [&](const std::vector<bool>& keep) { control.RemoveKeys(keep); },
      [&](std::size_t k) { control.RemoveKey(static_cast<KT::u32>(k)); });
}

void ThinCameraControl(KT::CCameraControl& control, const ReductionThresholds& t, ThinMode mode) {
  const auto& keys = control.GetFovKeys().Keys();
  Thin(
      mode, [&] { return keys.size(); },
      [&](std::size_t i, std::size_t j, std::size_t k) {
        return Straight2(keys[i].FrustumFov, keys[j].FrustumFov, keys[k].FrustumFov, TimeOf(keys[i], t),
                         TimeOf(keys[j], t), TimeOf(keys[k], t), t.property);
      },
      [&](const std::vector<bool>& keep) { control.RemoveFovKeys(keep); },
      [&](std::size_t k) { control.RemoveFovKey(static_cast<KT::u32>(k)); });
}

// --- the pass over the converted scene -----------------------------------------------------------

namespace {

// Every object of class `record` under `root` (derived classes when
// asked), each once, in the order the collection finds them.
template <typename T>
std::vector<T*> CollectOnce(KT::CNode* root, bool includeDerived) {
  std::vector<KT::CBase*> found;
  root->Collect(found, nullptr, &T::StaticClassRecord(), includeDerived, false);
  std::vector<T*> out;
  std::set<KT::CBase*> seen;
  for (KT::CBase* object : found)
    if (seen.insert(object).second) out.push_back(static_cast<T*>(object));
  return out;
}

// The first controller of exactly class T in the object's chain (or
// below it), or null.
template <typename T>
T* FindInChain(KT::CDorun* object) {
  KT::CDorun* first = object->GetFirstControl();
  if (first == nullptr) return nullptr;
  return static_cast<T*>(first->Find(nullptr, &T::StaticClassRecord(), false, false));
}

}  // namespace

void CMaxDrn::OptimizeKeyframes() {
  if (!root) return;
  ReductionThresholds t;
  t.rotation = thresholdR;
  t.translation = thresholdT;
  t.scale = thresholdS;
  t.property = thresholdP;
  t.ticksPerFrame = static_cast<float>(std::max(GetTicksPerFrame(), 1));

  for (KT::CNode* node : CollectOnce<KT::CNode>(root.Get(), false)) {
    if (auto* clips = FindInChain<KT::CRTSClipControl>(node)) {
      for (const auto& child : clips->GetChildren())
        if (auto* keyframes = dynamic_cast<KT::CKeyframeControl*>(child.Get())) ThinKeyframeControl(*keyframes, t);
    } else if (auto* keyframes = FindInChain<KT::CKeyframeControl>(node)) {
      ThinKeyframeControl(*keyframes, t);
    }
  }
  for (auto* control : CollectOnce<KT::CMaterialAttributeControl>(root.Get(), false)) {
    ThinMaterialLightKeys(*control, t);
    ThinMaterialSelfKeys(*control, t);
    ThinMaterialTextureKeys(*control, t);
  }
  for (auto* control : CollectOnce<KT::CUvwMapControl>(root.Get(), false)) ThinUvwMapControl(*control, t);
  for (KT::CLight* light : CollectOnce<KT::CLight>(root.Get(), true)) {
    if (auto* c = FindInChain<KT::CLightControl>(light)) ThinLightControl(*c, t);
    if (auto* c = FindInChain<KT::CPointLightControl>(light)) ThinPointLightControl(*c, t);
    if (auto* c = FindInChain<KT::CSpotLightControl>(light)) ThinSpotLightControl(*c, t);
  }
  for (auto* control : CollectOnce<KT::CCameraControl>(root.Get(), false)) ThinCameraControl(*control, t);
}
