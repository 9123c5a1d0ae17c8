#include "controllers/composite/rts_switcher_control.h"

#include "controllers/core/keyframe_control.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/nested_walk.h"
#include "scene/spatial.h"

namespace KT {

void switcher_keys::CSwChannelKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CSwChannelKey>(visitor, *this);
  DescribeKeyLevel<CTransitionKey>(visitor, *this);
}

// --- evaluation ----------------------------------------------------------------------------

Result CRTSSwitcherControl::UpdateTransform(i32 time) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  CSpatial* spatial = nullptr;
  Result r = kOk;
  if (SettledWithoutChildren(spatial, r)) return r;
  i32 cycles = 0;
  const i32 m = MapTime(time, GetEndTime(), cycles);
  u32 channelA = 0;
  u32 channelB = 0;
  f32 weight = 0.0f;
  KeyBracket bracket;
  if (keys_.Bracket(m, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    channelA = keys_[bracket.prev].Channel;
    channelB = keys_[bracket.next].Channel;
    weight = bracket.weight;
  }
  // A channel past the list (or an empty slot) has no child: the other side
  // drives alone.
  CRTSControl* a = GetChild(channelA);
  CRTSControl* b = channelB == channelA ? a : GetChild(channelB);
  if (a == nullptr) a = b;
  if (b == nullptr) b = a;
  if (a == nullptr) {
    r = InitFromSlaveMode();
    return Failed(r) ? r : kOk;
  }
  r = a->UpdateTransform(m);
  if (Failed(r)) return r;
  if (b == a) {
    SetLocalAndCompose(a->GetLocal(), *spatial);
    return kOk;
  }
  r = b->UpdateTransform(m);
  if (Failed(r)) return r;
  SetLocalAndCompose(InterpolateRts(a->GetLocal(), b->GetLocal(), weight), *spatial);
  return kOk;
}

Result CRTSSwitcherControl::ReadLegacyKeys(CStream& stream, std::vector<CSwChannelKey>& keys) {
  return ReadFourArrayKeys(stream, keys, &CSwChannelKey::Channel);
}

}  // namespace KT
