#include "controllers/composite/particle_atom_control.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "platform/crt_random.h"
#include "scene/particles.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// Entries of each default key list.
constexpr std::size_t kDefaultKeyCount = 4;

// One uniform draw: CrtRand() % 100 / 100, a value in {0, 0.01, ..., 0.99}.
f32 Draw() { return static_cast<f32>(CrtRand() % 100) / 100.0f; }

// The key lists as the step reads them: one count for all three, so no
// list is read past its end whatever a caller left in them.
struct KeyView {
  const Vec3* size;
  const CColor* color;
  const f32* rate;
  std::size_t count;
};

// The size and colour at age fraction `age`.
inline void ValueAtAge(const KeyView& keys, f32 age, Vec3& size, CColor& color) {
  const std::size_t n = keys.count;
  if (n == 0) {
    size = Vec3();
    color = CColor();
    return;
  }
  if (age == 0.0f) {
    size = keys.size[0];
    color = keys.color[0];
    return;
  }
  if (age == 1.0f) {
    size = keys.size[n - 1];
    color = keys.color[n - 1];
    return;
  }
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const f32 from = keys.rate[k];
    const f32 to = keys.rate[k + 1];
    // from <= age < to also keeps the interval positive.
    if (from <= age && age < to) {
      const f32 f = (age - from) / (to - from);
      size = keys.size[k] + (keys.size[k + 1] - keys.size[k]) * f;
      color = keys.color[k] + (keys.color[k + 1] - keys.color[k]) * f;
      return;
    }
  }
  // Outside every interval (keys that do not reach 0 or 1, a single key,
  // rates out of order): the nearest key, the first of equals.
  std::size_t nearest = 0;
  f32 best = std::fabs(age - keys.rate[0]);
  for (std::size_t k = 1; k < n; ++k) {
    const f32 distance = std::fabs(age - keys.rate[k]);
    if (distance < best) {
      best = distance;
      nearest = k;
    }
  }
  size = keys.size[nearest];
  color = keys.color[nearest];
}

// The integer range of the direction jitter: trunc(DirRandomness), 0 when
// there is none (0 or below, NaN, or below 1, where the range would be 0
// and the draw a modulo by zero). Ranges beyond the generator's values act
// alike, so a huge value is kept inside i32.
i32 JitterRange(f32 dirRandomness) {
  if (!(dirRandomness >= 1.0f)) return 0;
  if (dirRandomness >= 2147483520.0f) return std::numeric_limits<i32>::max();
  return static_cast<i32>(dirRandomness);
}

// The per-slot arrays of a particle node.
struct SlotArrays {
  Vec3* position;
  CColor* color;
  Vec3* size;
  f32* life;
  f32* remaining;
  f32* angle;
  Vec3* base;
  Vec3* velocity;
  f32* spin;
  f32* timer;
  f32* fall;
};

// What one step applies to every slot.
struct StepValues {
  f32 dt;          // ms
  f32 step;        // step units
  f32 fallGrowth;  // Gravity / 4 x step
  Vec3 wind;       // WindDir x Wind x step
  Vec3 gravityDir;
  i32 jitterRange;  // trunc(DirRandomness); 0: no jitter
};

// Steps slots 0 to n - 1: a slot whose life runs out is cleared, any other
// moves. Answers the number of live slots. kJitter: the direction jitter
// is drawn (values.jitterRange above 0); otherwise the velocity is the
// base velocity.
template <bool kJitter>
u32 MoveSlots(const SlotArrays& a, u32 n, const StepValues& values, const KeyView& keys) {
  // Locals, so that the stores into the slot arrays cannot be taken to
  // change them.
  const f32 dt = values.dt;
  const f32 step = values.step;
  const f32 fallGrowth = values.fallGrowth;
  const Vec3 wind = values.wind;
  const Vec3 gravityDir = values.gravityDir;
  const KeyView k = keys;
  u32 alive = 0;
  for (u32 i = 0; i < n; ++i) {
    a.remaining[i] -= dt;
    if (!(a.remaining[i] > 0.0f)) {
      a.size[i] = Vec3();
      a.position[i] = Vec3();
      a.base[i] = Vec3();
      a.velocity[i] = Vec3();
      a.color[i] = CColor();
      a.angle[i] = 0.0f;
      a.remaining[i] = 0.0f;
      a.spin[i] = 0.0f;
      a.fall[i] = 0.0f;
      a.timer[i] = 0.0f;
      continue;
    }
    const f32 age = (a.life[i] - a.remaining[i]) / a.life[i];
    Vec3 sizeNow;
    CColor colorNow;
    ValueAtAge(k, age, sizeNow, colorNow);
    a.size[i] = sizeNow;
    a.angle[i] += a.spin[i] * step;
    // The fall of this step is taken before the fall speed grows.
    const Vec3 drop = gravityDir * (a.fall[i] * step);
    a.fall[i] += fallGrowth;
    if constexpr (kJitter) {
      if (a.timer[i] == 0.0f) {
        const f32 s1 = CrtRand() % 2 == 0 ? 1.0f : -1.0f;
        const f32 s2 = CrtRand() % 2 == 0 ? 1.0f : -1.0f;
        const f32 s3 = CrtRand() % 2 == 0 ? 1.0f : -1.0f;
        const f32 m = static_cast<f32>(CrtRand() % values.jitterRange);
        a.velocity[i] = a.base[i] + Vec3(m * s3, m * s2, m * s1) * (1.0f / 1024.0f);
      }
      a.timer[i] += dt;
      if (a.timer[i] >= CParticleAtomControl::kJitterPeriodMs) a.timer[i] = 0.0f;
    } else {
      a.velocity[i] = a.base[i];
    }
    a.position[i] += a.velocity[i] * step;
    a.position[i] += wind;
    a.position[i] += drop;
    a.color[i] = colorNow;
    ++alive;
  }
  return alive;
}

// The slots the step may touch: MaxQuantity, kept below the length of
// every slot array (the node keeps them that long; a geometry whose world
// buffer was replaced by other code must still not be written past).
u32 SlotCount(CParticles& node) {
  std::size_t n = node.GetMaxQuantity();
  n = std::min<std::size_t>(n, node.GetWorldXYZ().GetCount());
  n = std::min<std::size_t>(n, node.GetColor().GetCount());
  for (const std::vector<Vec3>* v : {&node.GetSize(), &node.GetBaseVelocity(), &node.GetVelocity()}) {
    n = std::min(n, v->size());
  }
  for (const std::vector<f32>* v : {&node.GetLife(), &node.GetRemainingLife(), &node.GetAngle(), &node.GetSpin(),
                                    &node.GetJitterTimer(), &node.GetFallSpeed()}) {
    n = std::min(n, v->size());
  }
  return static_cast<u32>(n);
}

}  // namespace

CParticleAtomControl::CParticleAtomControl()
    : sizeKey_(kDefaultKeyCount), colorKey_(kDefaultKeyCount), posRateKey_(kDefaultKeyCount, 0.0f) {}

Result CParticleAtomControl::SetKeys(const std::vector<Vec3>& sizes, const std::vector<CColor>& colors,
                                     const std::vector<f32>& rates) {
  if (sizes.size() != colors.size() || sizes.size() != rates.size()) return kErrInvalidArg;
  try {
    std::vector<Vec3> newSizes(sizes);
    std::vector<CColor> newColors(colors);
    std::vector<f32> newRates(rates);
    sizeKey_.swap(newSizes);
    colorKey_.swap(newColors);
    posRateKey_.swap(newRates);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

void CParticleAtomControl::ValueAt(f32 age, Vec3& size, CColor& color) const {
  const KeyView keys{sizeKey_.data(), colorKey_.data(), posRateKey_.data(),
                     std::min({sizeKey_.size(), colorKey_.size(), posRateKey_.size()})};
  ValueAtAge(keys, age, size, color);
}

// --- the step ----------------------------------------------------------------------------------

void CParticleAtomControl::Emit(CParticles& node, u32 count) {
  const u32 n = SlotCount(node);
  const CMatrix3& rotation = node.GetWorldRotate();
  const Vec3 translation = node.GetWorldMatrix().GetTranslation();
  const ParticleSettings& s = settings_;
  const Vec3 speedSpan = s.MaxSpeed - s.MinSpeed;
  const f32 minLength = s.MinSpeed.Length();
  const f32 maxLength = s.MaxSpeed.Length();
  const f32 lo = std::min(minLength, maxLength);
  const f32 hi = std::max(minLength, maxLength);
  const bool haveKeys = !sizeKey_.empty() && !colorKey_.empty();
  const Vec3 firstSize = haveKeys ? sizeKey_[0] : Vec3();
  const CColor firstColor = haveKeys ? colorKey_[0] : CColor();

  CBuffer<Vec3>& position = node.GetWorldXYZ();
  CBuffer<CColor>& color = node.GetColor();
  std::vector<f32>& life = node.GetLife();
  std::vector<f32>& remaining = node.GetRemainingLife();
  for (u32 i = 0; i < n && count > 0; ++i) {
    if (remaining[i] > 0.0f) continue;
    --count;
    // The draws come in this order: position, life, direction, speed, spin.
    Vec3 local;
    local.x = Draw();
    local.y = Draw();
    local.z = Draw();
    local = s.EmitterPos + s.EmitterSize * (local - Vec3(0.5f, 0.5f, 0.5f));
    position[i] = local.TransformByMatrix3(rotation) + translation;

    life[i] = s.MinLife + (s.MaxLife - s.MinLife) * Draw();
    remaining[i] = life[i];

    Vec3 direction;
    direction.x = Draw();
    direction.y = Draw();
    direction.z = Draw();
    direction = s.MinSpeed + speedSpan * direction;
    direction.Normalize();
    const f32 speed = lo + (hi - lo) * Draw();
    node.GetBaseVelocity()[i] = direction.TransformByMatrix3(rotation) * speed;

    node.GetSize()[i] = firstSize;
    color[i] = firstColor;
    node.GetSpin()[i] = s.MinAngle + (s.MaxAngle - s.MinAngle) * Draw();
    node.GetAngle()[i] = s.StartAngle;
    node.GetFallSpeed()[i] = s.Gravity;
    node.GetJitterTimer()[i] = 0.0f;
  }
}

Result CParticleAtomControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CParticles* node = nullptr;
  const Result r = GetBoundParticles(node);
  if (Failed(r)) return r;
  const ParticleSettings& s = settings_;

  node->SetOrigin(s.EmitterPos + node->GetWorldMatrix().GetTranslation());

  const i32 t = ScaleTime(time);
  i64 delta = static_cast<i64>(t) - lastCtrlTime_;
  lastCtrlTime_ = t;
  if (delta < 0) {
    // Playing backward: every particle goes, emission starts again here.
    node->ResetParticles();
    delta = 0;
  }
  const f32 dt = static_cast<f32>(delta);
  const u32 n = SlotCount(*node);

  if (node->GetParticleFlag()) {
    const f32 e = s.EmitRate * dt + accQuantity_;
    const f32 whole = std::trunc(e);
    accQuantity_ = e - whole;
    // A rate that is not a number must not stop emission for good.
    if (!std::isfinite(accQuantity_)) accQuantity_ = 0.0f;
    const u32 live = node->GetParticleCounter();
    const u32 room = live < n ? n - live : 0;
    const u32 count = whole >= 1.0f ? (whole >= static_cast<f32>(room) ? room : static_cast<u32>(whole)) : 0;
    if (count > 0) Emit(*node, count);
  }

  const f32 step = dt / kMsPerStepUnit;
  const Vec3 wind = s.WindDir * (s.Wind * step);
  node->SetParticleCounter(0);
  if (n == 0) return kOk;

  const KeyView keys{sizeKey_.data(), colorKey_.data(), posRateKey_.data(),
                     std::min({sizeKey_.size(), colorKey_.size(), posRateKey_.size()})};
  const StepValues values{dt, step, s.Gravity / 4.0f * step, wind, s.GravityDir, JitterRange(s.DirRandomness)};
  const SlotArrays slots{node->GetWorldXYZ().GetData(), node->GetColor().GetData(), node->GetSize().data(),
                         node->GetLife().data(),        node->GetRemainingLife().data(),
                         node->GetAngle().data(),       node->GetBaseVelocity().data(),
                         node->GetVelocity().data(),    node->GetSpin().data(),
                         node->GetJitterTimer().data(), node->GetFallSpeed().data()};
  // The jitter decision is taken once per step, not once per slot.
  const u32 alive = values.jitterRange > 0 ? MoveSlots<true>(slots, n, values, keys)
                                           : MoveSlots<false>(slots, n, values, keys);
  node->SetParticleCounter(alive);
  return kOk;
}

// --- persistence -------------------------------------------------------------------------------

Result CParticleAtomControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  Result r = SkipOldLeadingWord(stream, storedVersion);
  if (Succeeded(r)) r = LoadFields(stream, storedVersion);
  sizeKey_.clear();
  colorKey_.clear();
  posRateKey_.clear();
  if (Succeeded(r)) r = ReadPodVector(stream, sizeKey_);
  if (Succeeded(r)) r = ReadPodVector(stream, colorKey_);
  if (Succeeded(r)) r = ReadPodVector(stream, posRateKey_);
  if (Failed(r)) return r;
  // Entry k of each list belongs to key k.
  if (sizeKey_.size() != colorKey_.size() || sizeKey_.size() != posRateKey_.size()) return kErrNotFound;
  accQuantity_ = 0.0f;
  lastIndex_ = 0;
  lastCtrlTime_ = 0;
  return kOk;
}

Result CParticleAtomControl::Save(CStream& stream, u32 flags) {
  Result r = CControlLevel::Save(stream, flags);
  if (Succeeded(r)) r = WritePodVector(stream, sizeKey_);
  if (Succeeded(r)) r = WritePodVector(stream, colorKey_);
  if (Succeeded(r)) r = WritePodVector(stream, posRateKey_);
  return r;
}

u32 CParticleAtomControl::GetSaveSize() const {
  return CControlLevel::GetSaveSize() + PodVectorSaveSize(sizeKey_) + PodVectorSaveSize(colorKey_) +
         PodVectorSaveSize(posRateKey_);
}

void CParticleAtomControl::DescribeMembers(CMemberVisitor& visitor) {
  ParticleSettings& s = settings_;
  visitor.BeginGroup(u"CParticleAtomControl Member");
  visitor.OpenGroup();
  visitor.Float(u"Gravity", &s.Gravity);
  visitor.Vector3(u"GravityDir", &s.GravityDir);
  visitor.Float(u"Wind", &s.Wind);
  visitor.Vector3(u"WindDir", &s.WindDir);
  visitor.Float(u"EmitRate", &s.EmitRate);
  visitor.Vector3(u"EmitterPos", &s.EmitterPos);
  visitor.Vector3(u"EmitterSize", &s.EmitterSize);
  visitor.Vector3(u"MaxSpeed", &s.MaxSpeed);
  visitor.Vector3(u"MinSpeed", &s.MinSpeed);
  visitor.Float(u"DirRandomness", &s.DirRandomness);
  visitor.Float(u"MaxLife", &s.MaxLife);
  visitor.Float(u"MinLife", &s.MinLife);
  visitor.Float(u"MaxAngle", &s.MaxAngle);
  visitor.Float(u"MinAngle", &s.MinAngle);
  visitor.Float(u"StartAngle", &s.StartAngle);
  visitor.Float(u"AccQuantity", &accQuantity_);
  visitor.Time(u"LastCtrlTime", &lastCtrlTime_);
  visitor.UInt(u"LastIndex", &lastIndex_);
  visitor.EndGroup();
  visitor.BeginGroup(u"Keys");
  visitor.OpenGroup();
  visitor.VectorArray(u"SizeKey", sizeKey_.data(), static_cast<u32>(sizeKey_.size()));
  for (const CColor& c : colorKey_) visitor.Color(u"ColorKey", &c);
  visitor.FloatArray(u"PosRateKey", posRateKey_.data(), static_cast<u32>(posRateKey_.size()));
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CParticleAtomControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(settings_) + sizeof(sizeKey_) + sizeof(colorKey_) +
                                                          sizeof(posRateKey_) + 12) +
         static_cast<u32>(sizeKey_.capacity() * sizeof(Vec3) + colorKey_.capacity() * sizeof(CColor) +
                          posRateKey_.capacity() * sizeof(f32));
}

Result CParticleAtomControl::CopyOwnTo(CParticleAtomControl& target) const {
  const Result r = target.SetKeys(sizeKey_, colorKey_, posRateKey_);
  if (Failed(r)) return r;
  target.settings_ = settings_;
  target.accQuantity_ = accQuantity_;
  target.lastIndex_ = lastIndex_;
  target.lastCtrlTime_ = lastCtrlTime_;
  return kOk;
}

}  // namespace KT
