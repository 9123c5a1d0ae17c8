// Test support shared by the constraint controllers' tests: placed nodes,
// byte images of the records around a constraint, and checks of member
// dumps.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"

namespace KT::test {

// A node named `name` at `at` with world rotation `rotate`; its Local says
// the same.
inline CPointer<CNode> Placed(const char16_t* name, const CVector3<float>& at,
                              const CMatrix3& rotate = kMatrix3Identity) {
  CPointer<CNode> node(new CNode());
  node->SetName(name);
  CRtsTransform local = kIdentityTransform;
  local.Rotate = rotate.ToQuaternion();
  local.Translate = at;
  node->SetLocal(local);
  CMatrix4 world;
  world.SetRotation3x3(rotate);
  world.SetTranslation(at);
  node->SetWorld(kMatrix3Identity, rotate, world);
  return node;
}

// A named CTestSpatial record whose control chain starts at `controls`.
inline ByteWriter NamedSpatialBody(u64 id, u64 controls, const std::u16string& name) {
  ByteWriter w;
  BasePart(w, id, name);
  DorunPart(w, controls);
  return SpatialPart(w);
}

// A transform controller's record up to its own part: the root, scene-
// content and controller parts (bound to `object`, at `frequency`) and a
// CRTSControl part of 2.`rtsMinor` with `slaveMode`.
inline ByteWriter TransformControlHead(u64 id, u64 object, u32 rtsMinor = 2, u32 slaveMode = 2,
                                       f32 frequency = 1.0f) {
  ByteWriter w;
  BasePart(w, id);
  DorunPart(w, 0);
  ControlFields fields;
  fields.object = object;
  fields.frequency = frequency;
  ControlPart(w, fields);
  RtsControlPart(w, rtsMinor, slaveMode);
  return w;
}

// The first control of the first root a load delivered, as a T.
template <typename T>
T* FirstControlOfRoot(CStream& stream) {
  auto* holder = DynamicCast<CDorun>(stream.GetRootObject(0));
  return holder != nullptr ? DynamicCast<T>(holder->GetFirstControl()) : nullptr;
}

// Loads the scene file `file` and answers its code. On success `out` is the
// first control of the first root as a T (null on failure), and every cut
// of the file from `from` bytes on that does not fall on a record boundary
// is checked to fail.
template <typename T>
Result LoadFirstControl(const Bytes& file, std::size_t from, CStream& stream, CMemoryIo& device, T*& out) {
  const Result r = LoadScene(file, stream, device);
  out = nullptr;
  if (r != kOk) return r;
  out = FirstControlOfRoot<T>(stream);
  ExpectPrefixesFailBetweenRecords(file, from);
  return r;
}

// Every name occurs in `text`, in this order.
inline void ExpectNamesInOrder(const std::string& text, std::initializer_list<const char*> names) {
  std::size_t at = 0;
  for (const char* name : names) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
}

}  // namespace KT::test
