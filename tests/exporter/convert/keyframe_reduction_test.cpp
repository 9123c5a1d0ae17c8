#include "exporter/convert/keyframe_reduction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "controllers/core/rts_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/plugin/max_drn.h"
#include "render/lights/camera_control.h"
#include "render/lights/light_control.h"
#include "render/lights/point_light.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light_control.h"
#include "render/materials/material_attribute_control.h"
#include "scene/uvw_map.h"

namespace {

using KT::CKeyframeControl;
using Vec3 = KT::CVector3<float>;

KT::CRtsTransform Moved(float x, const KT::CQuaternion& rotation = {}, float scale = 1.0f) {
  KT::CRtsTransform rts = KT::kIdentityTransform;
  rts.Translate = {x, 0.0f, 0.0f};
  rts.Rotate = rotation;
  rts.Scale = {scale, scale, scale};
  return rts;
}

KT::CQuaternion AboutZ(float angle) { return KT::CQuaternion::FromAxisAngle({0.0f, 0.0f, 1.0f}, angle); }

KT::CPointer<CKeyframeControl> Keyframes(const std::vector<std::pair<int, KT::CRtsTransform>>& keys) {
  KT::CPointer<CKeyframeControl> control(new CKeyframeControl());
  for (const auto& [time, rts] : keys) control->AddRtsKey(time, 1000.0f, rts);
  return control;
}

std::vector<KT::i32> Times(const CKeyframeControl& control) {
  std::vector<KT::i32> out;
  for (const auto& key : control.GetRtsKeys()) out.push_back(key.Time);
  return out;
}

ReductionThresholds Only(float r, float t, float s, float p) {
  ReductionThresholds out;
  out.rotation = r;
  out.translation = t;
  out.scale = s;
  out.property = p;
  return out;
}

TEST(KeyframeReduction, StraightMiddleKeyGoesAtZeroThreshold) {
  KT::CPointer<CKeyframeControl> c = Keyframes({{0, Moved(0)}, {1000, Moved(10)}, {2000, Moved(20)}});
  c->SetModified(false);
  ThinKeyframeControl(*c, Only(0, 0, 0, 0));
  EXPECT_EQ(Times(*c), (std::vector<KT::i32>{0, 2000}));
  EXPECT_TRUE(c->IsModified());
  EXPECT_EQ(c->GetLastIndex(), 0u);
}

TEST(KeyframeReduction, BentMiddleKeyGoesOnceTheThresholdExceedsTheBend) {
  // The normalised steps of (translation, time coordinate) at 160 ticks per
  // frame; the largest component difference times 100 is the bend.
  const float dt = 1000.0f / 160.0f;
  auto unit = [](float x, float t) {
    const float l = std::sqrt(x * x + t * t);
    return std::array<float, 2>{x / l, t / l};
  };
  const auto d1 = unit(12.0f, dt), d2 = unit(8.0f, dt);
  const float bend = std::max(std::fabs(d2[0] - d1[0]), std::fabs(d2[1] - d1[1])) * 100.0f;
  const struct {
    float threshold;
    std::size_t keys;
  } cases[] = {{0.0f, 3}, {bend * 0.99f, 3}, {bend * 1.01f, 2}, {1000.0f, 2}};
  for (const auto& row : cases) {
    KT::CPointer<CKeyframeControl> c = Keyframes({{0, Moved(0)}, {1000, Moved(12)}, {2000, Moved(20)}});
    ThinKeyframeControl(*c, Only(0, row.threshold, 0, 0));
    EXPECT_EQ(c->GetRtsKeys().size(), row.keys) << row.threshold;
  }
}

TEST(KeyframeReduction, TwoKeysAndEqualTimes) {
  KT::CPointer<CKeyframeControl> two = Keyframes({{0, Moved(0)}, {1000, Moved(0)}});
  two->SetModified(false);
  ThinKeyframeControl(*two, Only(1000, 1000, 1000, 1000));
  EXPECT_EQ(two->GetRtsKeys().size(), 2u);
  EXPECT_FALSE(two->IsModified());

  // Equal times (as a loaded file may hold): the zero step stays zero and
  // is compared as it is.
  std::vector<CKeyframeControl::CRtsKey> keys = {{0, Moved(0)}, {0, Moved(0)}, {1000, Moved(10)}};
  KT::CPointer<CKeyframeControl> bent(new CKeyframeControl());
  bent->SetRtsKeys(keys);
  ThinKeyframeControl(*bent, Only(0, 0, 0, 0));
  EXPECT_EQ(bent->GetRtsKeys().size(), 3u);
  keys = {{0, Moved(0)}, {0, Moved(0)}, {0, Moved(0)}};
  KT::CPointer<CKeyframeControl> still(new CKeyframeControl());
  still->SetRtsKeys(keys);
  ThinKeyframeControl(*still, Only(0, 0, 0, 0));
  EXPECT_EQ(still->GetRtsKeys().size(), 2u);
}

TEST(KeyframeReduction, RotationTest) {
  // A constant rotation, an even turn, an uneven turn and a turn about
  // another axis.
  EXPECT_TRUE(IsRotationStraight(AboutZ(0.3f), AboutZ(0.3f), AboutZ(0.3f), 0, 1, 2, 0.0f));
  EXPECT_TRUE(IsRotationStraight(AboutZ(0.0f), AboutZ(0.2f), AboutZ(0.4f), 0, 1, 2, 1e-3f));
  EXPECT_FALSE(IsRotationStraight(AboutZ(0.0f), AboutZ(0.1f), AboutZ(0.4f), 0, 1, 2, 1e-3f));
  EXPECT_TRUE(IsRotationStraight(AboutZ(0.0f), AboutZ(0.1f), AboutZ(0.4f), 0, 1, 2, 100.0f));
  const KT::CQuaternion aboutX = KT::CQuaternion::FromAxisAngle({1.0f, 0.0f, 0.0f}, 0.2f);
  EXPECT_FALSE(IsRotationStraight(AboutZ(0.0f), AboutZ(0.2f), AboutZ(0.2f) * aboutX, 0, 1, 2, 0.5f));
  // The axis points compare without the factor 100: a threshold of 2
  // accepts any axis change.
  EXPECT_TRUE(IsRotationStraight(AboutZ(0.0f), AboutZ(0.2f), AboutZ(0.2f) * aboutX, 0, 1, 2, 2.0f * 100.0f));
}

TEST(KeyframeReduction, EachKeyframePartHasItsOwnThreshold) {
  const struct {
    const char* what;
    KT::CRtsTransform middle;
    ReductionThresholds passes, stays;
  } cases[] = {
      {"translation", Moved(12), Only(0, 100, 0, 0), Only(100, 0, 100, 100)},
      {"rotation", Moved(10, AboutZ(0.5f)), Only(1000, 0, 0, 0), Only(0, 1000, 1000, 1000)},
      {"scale", Moved(10, {}, 3.0f), Only(0, 0, 100, 0), Only(100, 100, 0, 100)},
  };
  for (const auto& row : cases) {
    for (bool pass : {true, false}) {
      KT::CPointer<CKeyframeControl> c = Keyframes({{0, Moved(0)}, {1000, row.middle}, {2000, Moved(20)}});
      ThinKeyframeControl(*c, pass ? row.passes : row.stays);
      EXPECT_EQ(c->GetRtsKeys().size(), pass ? 2u : 3u) << row.what << " " << pass;
    }
  }
}

// One controller of each property kind with three keys whose middle one
// bends; `bend` sets how much.
struct PropertyKind {
  const char* what;
  std::function<std::size_t(float bend, const ReductionThresholds&)> thinnedCount;
};

std::vector<PropertyKind> PropertyKinds() {
  return {
      {"material light keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CMaterialAttributeControl> c(new KT::CMaterialAttributeControl());
         for (int i = 0; i < 3; ++i) {
           const float v = static_cast<float>(i) + (i == 1 ? bend : 0.0f);
           c->SetLightKey(i * 1000, 1000.0f, {v, v, v}, {1, 1, 1}, {1, 1, 1}, 0.0f, 0.0f, 0.0f);
         }
         ThinMaterialLightKeys(*c, t);
         return c->GetLightKeys().Size();
       }},
      {"material self keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CMaterialAttributeControl> c(new KT::CMaterialAttributeControl());
         for (int i = 0; i < 3; ++i) c->SetSelfKey(i * 1000, 1000.0f, 1.0f, i + (i == 1 ? bend : 0.0f), 0.0f);
         ThinMaterialSelfKeys(*c, t);
         return c->GetSelfKeys().Size();
       }},
      {"material texture keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CMaterialAttributeControl> c(new KT::CMaterialAttributeControl());
         for (int i = 0; i < 3; ++i) {
           KT::CMaterialAttributeControl::Weights w{};
           w[10] = static_cast<float>(i) + (i == 1 ? bend : 0.0f);
           w[11] = i == 1 ? 5.0f : 0.0f;  // the twelfth weight does not take part
           c->SetTextureKey(i * 1000, 1000.0f, w);
         }
         ThinMaterialTextureKeys(*c, t);
         return c->GetTextureKeys().Size();
       }},
      {"UVW map keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CUvwMap> map(new KT::CUvwMap());
         KT::CPointer<KT::CUvwMapControl> c(new KT::CUvwMapControl());
         map->AllocateUvw(2);
         map->AddControl(c.Get());
         for (int i = 0; i < 3; ++i) {
           map->GetUVW().begin()[0] = Vec3(0.0f, 0.0f, 0.0f);
           map->GetUVW().begin()[1] = Vec3(static_cast<float>(i) + (i == 1 ? bend : 0.0f), 0.0f, 0.0f);
           c->SetKey(i * 1000, 1000.0f, map.Get(), KT::TT_LINEAR);
         }
         ThinUvwMapControl(*c, t);
         EXPECT_EQ(c->GetUVWData().size(), c->GetKeyCount() * 2u);
         EXPECT_EQ(c->GetTransitionType().size(), c->GetKeyCount());
         return static_cast<std::size_t>(c->GetKeyCount());
       }},
      {"light colour keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CLightControl> c(new KT::CLightControl());
         for (int i = 0; i < 3; ++i) c->SetColorKey(i * 1000, 1000.0f, {0.0f, i + (i == 1 ? bend : 0.0f), 0.0f});
         ThinLightControl(*c, t);
         return static_cast<std::size_t>(c->GetColorKeys().Size());
       }},
      {"point light range keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CPointLightControl> c(new KT::CPointLightControl());
         for (int i = 0; i < 3; ++i) c->SetRangeKey(i * 1000, 1000.0f, i + (i == 1 ? bend : 0.0f));
         ThinPointLightControl(*c, t);
         return static_cast<std::size_t>(c->GetRangeKeys().Size());
       }},
      {"spot light keys (range)",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CSpotLightControl> c(new KT::CSpotLightControl());
         for (int i = 0; i < 3; ++i) c->SetKey(i * 1000, 1000.0f, {1, 1, 1}, i + (i == 1 ? bend : 0.0f));
         ThinSpotLightControl(*c, t);
         return static_cast<std::size_t>(c->GetKeys().Size());
       }},
      {"spot light keys (angles)",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CSpotLightControl> c(new KT::CSpotLightControl());
         for (int i = 0; i < 3; ++i) c->SetKey(i * 1000, 1000.0f, {1, 1, i + (i == 1 ? bend : 0.0f)}, 5.0f);
         ThinSpotLightControl(*c, t);
         return static_cast<std::size_t>(c->GetKeys().Size());
       }},
      {"camera FOV keys",
       [](float bend, const ReductionThresholds& t) {
         KT::CPointer<KT::CCameraControl> c(new KT::CCameraControl());
         for (int i = 0; i < 3; ++i) {
           KT::CCameraControl::CFovKey key;
           key.Time = i * 1000;
           key.FrustumFov = static_cast<float>(i) + (i == 1 ? bend : 0.0f);
           c->SetFovKey(key, 1000.0f);
         }
         ThinCameraControl(*c, t);
         return static_cast<std::size_t>(c->GetFovKeys().Size());
       }},
  };
}

TEST(KeyframeReduction, EachPropertyKindUsesThePropertyThreshold) {
  for (const PropertyKind& kind : PropertyKinds()) {
    EXPECT_EQ(kind.thinnedCount(0.0f, Only(0, 0, 0, 0)), 2u) << kind.what << ": straight";
    EXPECT_EQ(kind.thinnedCount(0.5f, Only(0, 0, 0, 0)), 3u) << kind.what << ": bent";
    EXPECT_EQ(kind.thinnedCount(0.5f, Only(1000, 1000, 1000, 0)), 3u) << kind.what << ": R, T and S do not apply";
    EXPECT_EQ(kind.thinnedCount(0.5f, Only(0, 0, 0, 1000)), 2u) << kind.what << ": within P";
  }
}

// Both forms over one list; the keys left must be the same.
void ExpectOnePassMatchesOneAtATime(const std::vector<CKeyframeControl::CRtsKey>& keys, const ReductionThresholds& t,
                                    const char* what) {
  KT::CPointer<CKeyframeControl> onePass(new CKeyframeControl());
  KT::CPointer<CKeyframeControl> reference(new CKeyframeControl());
  onePass->SetRtsKeys(keys);
  reference->SetRtsKeys(keys);
  ThinKeyframeControl(*onePass, t, ThinMode::kOnePass);
  ThinKeyframeControl(*reference, t, ThinMode::kOneAtATime);
  ASSERT_EQ(Times(*onePass), Times(*reference)) << what;
  for (std::size_t i = 0; i < keys.size() && i < onePass->GetRtsKeys().size(); ++i)
    EXPECT_EQ(onePass->GetRtsKeys()[i].Value, reference->GetRtsKeys()[i].Value) << what;
}

TEST(KeyframeReduction, OnePassEqualsOneAtATimeOnATableOfLists) {
  using Keys = std::vector<CKeyframeControl::CRtsKey>;
  const struct {
    const char* what;
    Keys keys;
  } cases[] = {
      {"empty", {}},
      {"one key", {{0, Moved(1)}}},
      {"straight run", {{0, Moved(0)}, {100, Moved(1)}, {200, Moved(2)}, {300, Moved(3)}, {400, Moved(4)}}},
      {"bend in the middle", {{0, Moved(0)}, {100, Moved(1)}, {200, Moved(2)}, {300, Moved(5)}, {400, Moved(8)}}},
      {"zigzag", {{0, Moved(0)}, {100, Moved(1)}, {200, Moved(0)}, {300, Moved(1)}, {400, Moved(0)}}},
      {"hold then move", {{0, Moved(0)}, {100, Moved(0)}, {200, Moved(0)}, {300, Moved(3)}, {400, Moved(6)}}},
      {"turning", {{0, Moved(0, AboutZ(0))}, {100, Moved(0, AboutZ(0.1f))}, {200, Moved(0, AboutZ(0.2f))},
                   {300, Moved(0, AboutZ(0.5f))}}},
  };
  for (const auto& row : cases) {
    for (float threshold : {0.0f, 1.0f, 20.0f}) {
      ExpectOnePassMatchesOneAtATime(row.keys, Only(threshold, threshold, threshold, threshold), row.what);
    }
  }
}

TEST(KeyframeReduction, OnePassEqualsOneAtATimeOnRandomLists) {
  std::mt19937 random(26);
  std::uniform_real_distribution<float> step(-1.0f, 1.0f);
  std::uniform_int_distribution<int> gap(1, 80);
  std::bernoulli_distribution straight(0.6);
  for (int list = 0; list < 200; ++list) {
    std::vector<CKeyframeControl::CRtsKey> keys;
    int time = 0;
    float x = 0.0f, angle = 0.0f;
    float dx = step(random), da = step(random) * 0.1f;
    const int count = 2 + list % 40;
    for (int i = 0; i < count; ++i) {
      keys.emplace_back(time, Moved(x, AboutZ(angle)));
      if (!straight(random)) {
        dx = step(random);
        da = step(random) * 0.1f;
      }
      // A steady step in value and time keeps the run straight.
      x += dx;
      angle += da;
      time += straight(random) ? 33 : gap(random);
    }
    const float threshold = static_cast<float>(list % 5) * 2.0f;
    ExpectOnePassMatchesOneAtATime(keys, Only(threshold, threshold, threshold, threshold), "random");
  }
}

TEST(OptimizeKeyframes, ThinsEveryControllerUnderTheRoot) {
  CMaxDrn context(nullptr, nullptr, false);
  context.thresholdP = 1.0f;
  // Nothing without a root.
  context.OptimizeKeyframes();

  ASSERT_EQ(KT::CNode::Create(context.root), KT::kOk);
  const std::vector<std::pair<int, KT::CRtsTransform>> straightRun = {
      {0, Moved(0)}, {1000, Moved(10)}, {2000, Moved(20)}, {3000, Moved(30)}};
  KT::CPointer<CKeyframeControl> rootKeys = Keyframes(straightRun);
  context.root->AddControl(rootKeys.Get());

  // A node whose clip controller holds two keyframe layers.
  KT::CPointer<KT::CNode> prop;
  ASSERT_EQ(KT::CNode::Create(prop), KT::kOk);
  context.root->AddChild(prop.Get());
  KT::CPointer<KT::CRTSClipControl> clips(new KT::CRTSClipControl());
  prop->AddControl(clips.Get());
  KT::CPointer<CKeyframeControl> layer1 = Keyframes(straightRun), layer2 = Keyframes(straightRun);
  clips->AddChild(layer1.Get());
  clips->AddChild(layer2.Get());

  // A light with a colour and a range controller.
  KT::CPointer<KT::CPointLight> light(new KT::CPointLight());
  context.root->AddChild(light.Get());
  KT::CPointer<KT::CLightControl> colour(new KT::CLightControl());
  KT::CPointer<KT::CPointLightControl> range(new KT::CPointLightControl());
  for (int i = 0; i < 4; ++i) {
    colour->SetColorKey(i * 1000, 1000.0f, {0.1f * i, 0.0f, 0.0f});
    range->SetRangeKey(i * 1000, 1000.0f, 10.0f * i);
  }
  light->AddControl(colour.Get());
  light->AddControl(range.Get());

  context.OptimizeKeyframes();
  EXPECT_EQ(Times(*rootKeys), (std::vector<KT::i32>{0, 3000}));
  EXPECT_EQ(Times(*layer1), (std::vector<KT::i32>{0, 3000}));
  EXPECT_EQ(Times(*layer2), (std::vector<KT::i32>{0, 3000}));
  EXPECT_EQ(colour->GetColorKeys().Size(), 2u);
  EXPECT_EQ(range->GetRangeKeys().Size(), 2u);
}

}  // namespace
