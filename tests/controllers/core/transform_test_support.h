// Test support for the transform controllers: a concrete spatial to bind
// them to, byte images of their record parts, and matrix comparisons.
//
// CTestSpatial is a leaf spatial with nothing of its own; it has its own
// class record (not in the start-up table) whose parent is CSpatial's, and
// RegisterTransformTestClasses enters it (and the keyframe controller, which
// the library registers only from the exporter) with the class factory.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "objectmodel/test_class_record.h"
#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "scene/spatial.h"

namespace KT::test {

class CTestSpatial : public CSpatial {
  KT_TEST_CLASS(CTestSpatial, CSpatial, 1, 0)

 public:
  CTestSpatial() = default;
  CTestSpatial(const CTestSpatial& other) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  Result CollectSpatials(std::vector<CSpatial*>& spatials) override {
    spatials.push_back(this);
    return kOk;
  }
  Result UpdateWorldBound() override { return kDone; }
};

inline void RegisterTransformTestClasses() {
  RegisterTestClasses();
  CClassFactory::Register("CTestSpatial", &CreateObject<CTestSpatial>);
  CClassFactory::Register("CKeyframeControl", &CreateObject<CKeyframeControl>);
}

// --- byte images --------------------------------------------------------------------

// A CSpatial level at version 2.06 with an identity Basis.
inline ByteWriter& SpatialPart(ByteWriter& w, u32 inherited = 0) {
  w.Pair(2, 6);
  const f32 identity[15] = {1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  for (f32 f : identity) w.F32(f);
  return w.U32(inherited).U64(0).U64(0).U8(1).U8(0).U8(0).U32(2);
}
inline ByteWriter TestSpatialBody(u64 id, u64 controls) {
  ByteWriter w;
  BasePart(w, id);
  DorunPart(w, controls);
  SpatialPart(w);
  return w;
}

// A CRTSControl part: 2.02 with a u32 SlaveMode, 2.01 with a byte, 2.00
// without.
inline ByteWriter& RtsControlPart(ByteWriter& w, u32 minor = 2, u32 slaveMode = 0) {
  w.Pair(2, minor);
  if (minor >= 2) w.U32(slaveMode);
  if (minor == 1) w.U8(static_cast<u8>(slaveMode));
  return w;
}

// --- comparisons ----------------------------------------------------------------------

inline void ExpectNear(const CMatrix4& a, const CMatrix4& b, f32 tolerance = 1e-5f) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << "," << j;
  }
}
inline void ExpectNear(const CMatrix3& a, const CMatrix3& b, f32 tolerance = 1e-5f) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << "," << j;
  }
}
inline void ExpectNear(const CVector3<float>& a, const CVector3<float>& b, f32 tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}
// Quaternions that are the same rotation (q and -q alike).
inline void ExpectSameRotation(const CQuaternion& a, const CQuaternion& b, f32 tolerance = 1e-5f) {
  EXPECT_NEAR(std::fabs(a.Dot(b)), 1.0f, tolerance) << a.x << " " << a.y << " " << a.z << " " << a.w;
}

}  // namespace KT::test
