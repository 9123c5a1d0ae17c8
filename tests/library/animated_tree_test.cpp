// End to end: an animated scene tree built in code, evaluated with the
// per-frame driver, saved, loaded back through the class factory and
// evaluated again.
//
// The tree is a small arm:
//   root      turns 90 degrees about Z and moves by (4, 2, 0) between 0 and
//             1000 ms; a constant scale (2, 1, 1);
//   upper arm inherits no scale (0x1C0); moves along its Y axis with an
//             ease-in-out transition of strength 75;
//   forearm   inherits no translation (0x007); its last key mirrors
//             (Sign -1) and stretches X by 2;
//   sibling   inherits everything (0), child of the root; turns 90 degrees
//             about X and moves along Z.
// Every world matrix is compared with a closed form written from that
// geometry in double precision, without the library's math, at several
// times under each repeat mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/transform_test_support.h"
#include "library/register_library_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;

constexpr f32 kFps = 30.0f;
constexpr i32 kEnd = 1000;
constexpr f32 kEaseStrength = 75.0f;
constexpr double kPi = std::numbers::pi;

// --- closed forms -------------------------------------------------------------------------

// A 4x4 transform in double precision: a 3x3 part and a translation row
// (row vectors, p' = p x M).
struct Affine {
  double a[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double t[3] = {0, 0, 0};
};

// this x other, for the 3x3 parts only.
Affine Mul3(const Affine& l, const Affine& r) {
  Affine out;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      out.a[i][j] = l.a[i][0] * r.a[0][j] + l.a[i][1] * r.a[1][j] + l.a[i][2] * r.a[2][j];
    }
  }
  return out;
}

// The point p carried through the 3x3 part of m, with or without m's
// translation.
std::array<double, 3> Carry(const double p[3], const Affine& m, bool withOffset) {
  std::array<double, 3> out{};
  for (int j = 0; j < 3; ++j) {
    out[j] = p[0] * m.a[0][j] + p[1] * m.a[1][j] + p[2] * m.a[2][j] + (withOffset ? m.t[j] : 0.0);
  }
  return out;
}

Affine Diagonal(double x, double y, double z) {
  Affine m;
  m.a[0][0] = x;
  m.a[1][1] = y;
  m.a[2][2] = z;
  return m;
}

// Rotations by `angle` (counter-clockwise seen from the positive axis) in
// the row-vector convention.
Affine RotationZ(double angle) {
  Affine m;
  m.a[0][0] = std::cos(angle);
  m.a[0][1] = std::sin(angle);
  m.a[1][0] = -std::sin(angle);
  m.a[1][1] = std::cos(angle);
  return m;
}
Affine RotationX(double angle) {
  Affine m;
  m.a[1][1] = std::cos(angle);
  m.a[1][2] = std::sin(angle);
  m.a[2][1] = -std::sin(angle);
  m.a[2][2] = std::cos(angle);
  return m;
}

Affine WithTranslation(Affine m, double x, double y, double z) {
  m.t[0] = x;
  m.t[1] = y;
  m.t[2] = z;
  return m;
}

// The ease-in-out curve: t^p on the way in, 1 - (1 - t)^p on the way out,
// each half squeezed into half the interval; p = 2 + (strength - 50) x 0.16
// for strengths above 50.
double EaseInOut(double f, double strength) {
  const double p = 2.0 + (strength - 50.0) * 0.16;
  if (f < 0.5) return 0.5 * std::pow(2.0 * f, p);
  return 0.5 + 0.5 * (1.0 - std::pow(1.0 - 2.0 * (f - 0.5), p));
}

enum NodeIndex { kRoot, kUpperArm, kForearm, kSibling, kNodeCount };
constexpr const char16_t* kNodeNames[kNodeCount] = {u"root", u"upper arm", u"forearm", u"sibling"};
using WorldSet = std::array<Affine, kNodeCount>;

// The ASCII node names for failure messages.
std::string Narrow(std::u16string_view name) { return std::string(name.begin(), name.end()); }

// The four world transforms at fraction f of the animation (0 at the first
// key, 1 at the last).
WorldSet ExpectedWorlds(double f) {
  WorldSet w;
  const double quarterTurn = f * kPi / 2.0;

  // Root: scale (2, 1, 1), then the turn about Z; moves along (4, 2, 0).
  w[kRoot] = WithTranslation(Mul3(Diagonal(2, 1, 1), RotationZ(quarterTurn)), 4 * f, 2 * f, 0);

  // Upper arm, scale not inherited: its 3x3 part takes only the root's
  // rotation, while its position still goes through the root's full
  // transform (scale included).
  const double upperLocal[3] = {3.0, 2.0 * EaseInOut(f, kEaseStrength), 0.0};
  const auto upperAt = Carry(upperLocal, w[kRoot], true);
  w[kUpperArm] = WithTranslation(RotationZ(quarterTurn), upperAt[0], upperAt[1], upperAt[2]);

  // Forearm, translation not inherited: Sign and scale blend linearly and
  // the scale follows the magnitude of the blended sign s = 1 - 2f, so the
  // 3x3 part is diag((1 + f) s, s, s): it collapses at f = 0.5 and mirrors
  // beyond. Its position is rotated by the upper arm but not offset by it.
  const double s = 1.0 - 2.0 * f;
  const Affine forearmScale = Diagonal((1.0 + f) * s, s, s);
  const double forearmLocal[3] = {0.0, 5.0, 0.0};
  const auto forearmAt = Carry(forearmLocal, w[kUpperArm], false);
  w[kForearm] =
      WithTranslation(Mul3(forearmScale, w[kUpperArm]), forearmAt[0], forearmAt[1], forearmAt[2]);

  // Sibling, everything inherited: local x root world.
  const double siblingLocal[3] = {0.0, -3.0, 6.0 * f};
  const auto siblingAt = Carry(siblingLocal, w[kRoot], true);
  w[kSibling] = WithTranslation(Mul3(RotationX(quarterTurn), w[kRoot]), siblingAt[0], siblingAt[1], siblingAt[2]);
  return w;
}

CMatrix4 ToMatrix4(const Affine& m) {
  CMatrix4 out;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out.m[i][j] = static_cast<f32>(m.a[i][j]);
    out.m[3][i] = static_cast<f32>(m.t[i]);
  }
  return out;
}

double Determinant3(const CMatrix4& m) {
  const auto& a = m.m;
  return static_cast<double>(a[0][0]) * (static_cast<double>(a[1][1]) * a[2][2] - static_cast<double>(a[1][2]) * a[2][1]) -
         static_cast<double>(a[0][1]) * (static_cast<double>(a[1][0]) * a[2][2] - static_cast<double>(a[1][2]) * a[2][0]) +
         static_cast<double>(a[0][2]) * (static_cast<double>(a[1][0]) * a[2][1] - static_cast<double>(a[1][1]) * a[2][0]);
}

// --- the scene -------------------------------------------------------------------------------

CRtsTransform Transform(const CQuaternion& rotate, CVector3<float> translate, CVector3<float> scale = {1, 1, 1},
                        f32 sign = 1.0f) {
  CRtsTransform t;
  t.Sign = sign;
  t.Scale = scale;
  t.Rotate = rotate;
  t.Translate = translate;
  return t;
}

CQuaternion Turn(const CVector3<float>& axis, f32 fraction) {
  return CQuaternion::FromAxisAngle(axis, fraction * std::numbers::pi_v<f32> / 2.0f);
}

CPointer<CNode> AnimatedNode(const char16_t* name, u32 inherited, const CRtsTransform& first,
                             const CRtsTransform& last, u32 lastTransition = TT_LINEAR,
                             f32 lastStrength = kDefaultTransitionStrength) {
  CPointer<CNode> node(new CNode());
  node->SetName(name);
  node->SetInherited(inherited);
  CPointer<CKeyframeControl> control(new CKeyframeControl());
  EXPECT_EQ(control->AddRtsKey(0, kFps, first), kOk);
  EXPECT_EQ(control->AddRtsKey(kEnd, kFps, last, lastTransition, lastStrength), kOk);
  EXPECT_EQ(node->AddControl(control.Get()), kOk);
  return node;
}

CPointer<CNode> BuildArm() {
  const CQuaternion none;
  CPointer<CNode> root = AnimatedNode(kNodeNames[kRoot], 0, Transform(none, {0, 0, 0}, {2, 1, 1}),
                                      Transform(Turn({0, 0, 1}, 1.0f), {4, 2, 0}, {2, 1, 1}));
  CPointer<CNode> upper = AnimatedNode(kNodeNames[kUpperArm], kInheritScaleBits, Transform(none, {3, 0, 0}),
                                       Transform(none, {3, 2, 0}), TT_EASE_IN_OUT, kEaseStrength);
  CPointer<CNode> forearm = AnimatedNode(kNodeNames[kForearm], kInheritTranslationBits, Transform(none, {0, 5, 0}),
                                         Transform(none, {0, 5, 0}, {2, 1, 1}, -1.0f));
  CPointer<CNode> sibling = AnimatedNode(kNodeNames[kSibling], 0, Transform(none, {0, -3, 0}),
                                         Transform(Turn({1, 0, 0}, 1.0f), {0, -3, 6}));
  EXPECT_EQ(upper->AddChild(forearm.Get()), kOk);
  EXPECT_EQ(root->AddChild(upper.Get()), kOk);
  EXPECT_EQ(root->AddChild(sibling.Get()), kOk);
  return root;
}

// The four nodes of an arm in collection order (root, upper arm, forearm,
// sibling), checked by name and by their inheritance flags.
std::array<CSpatial*, kNodeCount> ArmNodes(CSpatial& root) {
  std::vector<CSpatial*> all;
  EXPECT_EQ(root.CollectSpatials(all), kOk);
  std::array<CSpatial*, kNodeCount> nodes{};
  EXPECT_EQ(all.size(), nodes.size());
  const std::array<u32, kNodeCount> inherited{0, kInheritScaleBits, kInheritTranslationBits, 0};
  for (std::size_t i = 0; i < nodes.size() && i < all.size(); ++i) {
    nodes[i] = all[i];
    EXPECT_EQ(std::u16string(all[i]->GetName()), kNodeNames[i]) << i;
    EXPECT_EQ(all[i]->GetInherited(), inherited[i]) << i;
  }
  return nodes;
}

void SetRepeat(CSpatial& root, u32 repeat) {
  for (CSpatial* node : ArmNodes(root)) {
    ASSERT_NE(node, nullptr);
    auto* control = DynamicCast<CKeyframeControl>(node->GetFirstControl());
    ASSERT_NE(control, nullptr);
    control->SetRepeat(repeat);
  }
}

// --- the cases ---------------------------------------------------------------------------------

// A global time and the local time each repeat mode maps it to: clamping
// passes it through (the key search holds the end keys), wrapping saws from
// 0 to 1000 again and again, cycling goes forward and then back.
struct TimeCase {
  i32 time;
  i32 clampLocal;
  i32 wrapLocal;
  i32 cycleLocal;
};
constexpr TimeCase kTimes[] = {
    {0, 0, 0, 0},
    {250, 250, 250, 250},
    {500, 500, 500, 500},
    {1000, 1000, 0, 1000},  // wrapping starts over on the last key's time
    {1250, 1250, 250, 750},
    {2250, 2250, 250, 250},
};

struct RepeatCase {
  u32 repeat;
  const char* name;
  i32 TimeCase::*local;
};
constexpr RepeatCase kRepeats[] = {
    {CControl::RT_CLAMP, "RT_CLAMP", &TimeCase::clampLocal},
    {CControl::RT_WRAP, "RT_WRAP", &TimeCase::wrapLocal},
    {CControl::RT_CYCLE, "RT_CYCLE", &TimeCase::cycleLocal},
};

using MatrixSet = std::array<CMatrix4, kNodeCount>;
// One evaluation per (repeat mode, time), in table order.
using Evaluations = std::vector<MatrixSet>;

// Evaluates the arm under every case, compares each world matrix with its
// closed form, and answers the matrices.
Evaluations EvaluateAndCheck(CSpatial& root) {
  Evaluations all;
  const auto nodes = ArmNodes(root);
  if (std::find(nodes.begin(), nodes.end(), nullptr) != nodes.end()) {
    ADD_FAILURE() << "the tree lacks a node";
    return all;
  }
  for (const RepeatCase& repeat : kRepeats) {
    SetRepeat(root, repeat.repeat);
    for (const TimeCase& c : kTimes) {
      SCOPED_TRACE(std::string(repeat.name) + " at " + std::to_string(c.time));
      EXPECT_EQ(root.UpdateScene(c.time, 0, 0.0f, true, nullptr, false), kOk);
      const i32 local = c.*repeat.local;
      const double f = local >= kEnd ? 1.0 : local / static_cast<double>(kEnd);
      const WorldSet expected = ExpectedWorlds(f);
      MatrixSet got;
      for (int i = 0; i < kNodeCount; ++i) {
        SCOPED_TRACE(Narrow(kNodeNames[i]));
        got[i] = nodes[i]->GetWorldMatrix();
        test::ExpectNear(got[i], ToMatrix4(expected[i]));
      }
      // The mirrored key turns the forearm inside out past the half-way
      // point: its determinant follows the sign of 1 - 2f.
      const double determinant = Determinant3(got[kForearm]);
      if (f < 0.5) {
        EXPECT_GT(determinant, 0.0);
      } else if (f > 0.5) {
        EXPECT_LT(determinant, 0.0);
      }
      all.push_back(got);
    }
  }
  return all;
}

class AnimatedTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterLibraryClasses();
    test::UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(AnimatedTreeTest, WorldMatricesFollowTheClosedFormsBeforeAndAfterAFileRoundTrip) {
  CPointer<CNode> arm = BuildArm();
  const Evaluations before = EvaluateAndCheck(*arm);

  const Bytes first = test::SaveRoots({arm.Get()});
  ASSERT_FALSE(first.empty());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  auto* loaded = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  ASSERT_NE(loaded, arm.Get());
  for (CSpatial* node : ArmNodes(*loaded)) {
    ASSERT_NE(node, nullptr);
    auto* control = DynamicCast<CKeyframeControl>(node->GetFirstControl());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetObject(), node);
    EXPECT_EQ(control->GetRtsKeys().size(), 2u);
  }

  const Evaluations after = EvaluateAndCheck(*loaded);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t c = 0; c < before.size(); ++c) {
    for (int i = 0; i < kNodeCount; ++i) {
      EXPECT_TRUE(MatrixEquals(after[c][i], before[c][i])) << "case " << c << ", node " << i;
    }
  }

  // The loaded scene, evaluated, saves to the same file.
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

}  // namespace
}  // namespace KT
