#include "platform/host/scene_description.h"

#include <algorithm>

#include "platform/d3dx_math.h"

namespace KT::Host {

namespace {

// The pair of keys around t and the blend factor; constant outside.
template <typename T>
bool Bracket(const KeyList<T>& keys, TimeValue t, const Key<T>*& a, const Key<T>*& b, float& f) {
  if (keys.empty()) return false;
  if (t <= keys.front().t) {
    a = b = &keys.front();
    f = 0.0f;
    return true;
  }
  if (t >= keys.back().t) {
    a = b = &keys.back();
    f = 0.0f;
    return true;
  }
  const auto next = std::upper_bound(keys.begin(), keys.end(), t, [](TimeValue time, const Key<T>& k) { return time < k.t; });
  b = &*next;
  a = &*(next - 1);
  f = static_cast<float>(static_cast<double>(t - a->t) / static_cast<double>(b->t - a->t));
  return true;
}

float Lerp(float a, float b, float f) { return a + (b - a) * f; }

}  // namespace

Point3 EvalKeys(const KeyList<Point3>& keys, TimeValue t, const Point3& fallback) {
  const Key<Point3>* a = nullptr;
  const Key<Point3>* b = nullptr;
  float f = 0.0f;
  if (!Bracket(keys, t, a, b, f)) return fallback;
  return {Lerp(a->v.x, b->v.x, f), Lerp(a->v.y, b->v.y, f), Lerp(a->v.z, b->v.z, f)};
}

Quat EvalKeys(const KeyList<Quat>& keys, TimeValue t, const Quat& fallback) {
  const Key<Quat>* a = nullptr;
  const Key<Quat>* b = nullptr;
  float f = 0.0f;
  if (!Bracket(keys, t, a, b, f)) return fallback;
  if (a == b) return a->v;
  const D3DXQUATERNION qa{a->v.x, a->v.y, a->v.z, a->v.w};
  const D3DXQUATERNION qb{b->v.x, b->v.y, b->v.z, b->v.w};
  D3DXQUATERNION out;
  D3DXQuaternionSlerp(&out, &qa, &qb, f);
  return {out.x, out.y, out.z, out.w};
}

std::vector<float> EvalKeys(const KeyList<std::vector<float>>& keys, TimeValue t, const std::vector<float>& fallback) {
  const Key<std::vector<float>>* a = nullptr;
  const Key<std::vector<float>>* b = nullptr;
  float f = 0.0f;
  if (!Bracket(keys, t, a, b, f)) return fallback;
  std::vector<float> out = a->v;
  for (std::size_t i = 0; i < out.size() && i < b->v.size(); ++i) out[i] = Lerp(a->v[i], b->v[i], f);
  return out;
}

std::vector<Point3> EvalKeys(const KeyList<std::vector<Point3>>& keys, TimeValue t, const std::vector<Point3>& fallback) {
  const Key<std::vector<Point3>>* a = nullptr;
  const Key<std::vector<Point3>>* b = nullptr;
  float f = 0.0f;
  if (!Bracket(keys, t, a, b, f)) return fallback;
  std::vector<Point3> out = a->v;
  for (std::size_t i = 0; i < out.size() && i < b->v.size(); ++i) {
    out[i] = {Lerp(a->v[i].x, b->v[i].x, f), Lerp(a->v[i].y, b->v[i].y, f), Lerp(a->v[i].z, b->v[i].z, f)};
  }
  return out;
}

std::vector<float> ParamSet::Eval(const std::string& name, TimeValue t, std::vector<float> fallback) const {
  const auto value = values.find(name);
  if (value != values.end()) fallback = value->second;
  const auto track = tracks.find(name);
  if (track != tracks.end() && !track->second.empty()) return EvalKeys(track->second, t, fallback);
  return fallback;
}

float ParamSet::EvalFloat(const std::string& name, TimeValue t, float fallback) const {
  const std::vector<float> v = Eval(name, t, {fallback});
  return v.empty() ? fallback : v[0];
}

}  // namespace KT::Host
