// The host's rotation sense against the object model's: keys built from the
// controllers' values (rotation (-x, -y, -z, w), as the exporter converts
// them) equal keys decomposed from NodeTM x Inverse(ParentTM).
#include <gtest/gtest.h>

#include "objectmodel/affine_transform.h"
#include "platform/host/control.h"
#include "platform/host/host_fixtures.h"
#include "platform/host/host_scene.h"

namespace KT::Host {
namespace {

KT::CMatrix4 Widen(const Matrix3& m) {
  KT::CMatrix4 out = KT::kMatrix4Identity;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) out.m[i][j] = m.m[i][j];
  return out;
}

TEST(RotationSense, ControllerKeysEqualDecomposedLocalMatrices) {
  SceneBuilder b;
  const int parent = b.AddNode("Parent")
                         .RotationKey(0, Testing::RotZ(40))
                         .RotationKey(1600, Quat(0.3f, -0.2f, 0.5f, 0.787401f))
                         .PositionKey(0, Point3(1, 2, 3))
                         .Index();
  b.AddNode("Child", parent)
      .RotationKey(0, Quat(0.1f, 0.7f, -0.2f, 0.677495f))
      .RotationKey(1600, Testing::RotZ(-75))
      .PositionKey(0, Point3(0, 4, 0))
      .PositionKey(1600, Point3(2, 4, -1))
      .ScaleKey(0, Point3(1.5f, 1.5f, 1.5f));
  std::unique_ptr<HostScene> scene = b.Make();
  ASSERT_NE(scene, nullptr);
  INode* child = scene->GetINodeByName("Child");
  ASSERT_NE(child, nullptr);
  Control* control = child->GetTMController();
  ASSERT_NE(control, nullptr);
  for (const TimeValue t : {0, 400, 800, 1600, 2000}) {
    Interval valid = scene->GetAnimRange();
    Quat q;
    Point3 p;
    ScaleValue s;
    control->GetRotationController()->GetValue(t, &q, valid, CTRL_ABSOLUTE);
    control->GetPositionController()->GetValue(t, &p, valid, CTRL_ABSOLUTE);
    control->GetScaleController()->GetValue(t, &s, valid, CTRL_ABSOLUTE);

    KT::AffineParts parts;
    KT::decomp_affine(Widen(child->GetNodeTM(t) * Inverse(child->GetParentTM(t))), parts);
    KT::CQuaternion fromController(-q.x, -q.y, -q.z, q.w);
    fromController.Normalize();
    // q and -q are one rotation.
    const float sign = fromController.Dot(parts.Rotate) < 0.0f ? -1.0f : 1.0f;
    EXPECT_NEAR(parts.Rotate.x, sign * fromController.x, 1e-5f) << "tick " << t;
    EXPECT_NEAR(parts.Rotate.y, sign * fromController.y, 1e-5f) << "tick " << t;
    EXPECT_NEAR(parts.Rotate.z, sign * fromController.z, 1e-5f) << "tick " << t;
    EXPECT_NEAR(parts.Rotate.w, sign * fromController.w, 1e-5f) << "tick " << t;
    EXPECT_NEAR(parts.Translate.x, p.x, 1e-4f);
    EXPECT_NEAR(parts.Translate.y, p.y, 1e-4f);
    EXPECT_NEAR(parts.Translate.z, p.z, 1e-4f);
    EXPECT_NEAR(parts.Scale.x * parts.Sign, s.s.x, 1e-4f);
    EXPECT_NEAR(parts.Scale.y * parts.Sign, s.s.y, 1e-4f);
    EXPECT_NEAR(parts.Scale.z * parts.Sign, s.s.z, 1e-4f);
  }
}

TEST(RotationSense, HostQuaternionMatrixIsTheObjectModelsOfTheConjugate) {
  const Quat host(0.2f, -0.4f, 0.3f, 0.842615f);
  const Matrix3 m = RotationMatrix(host);
  KT::CQuaternion conj(-host.x, -host.y, -host.z, host.w);
  conj.Normalize();
  const KT::CMatrix3 expected = conj.ToMatrix3();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(m.m[i][j], expected.m[i][j], 1e-6f) << i << j;
}

}  // namespace
}  // namespace KT::Host
