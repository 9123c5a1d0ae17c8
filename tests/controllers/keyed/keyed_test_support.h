// Helpers shared by the tests of the keyed and composite controllers: the
// record round trip of one controller, byte images of controller records,
// and loading such an image.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "controllers/core/control.h"
#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/stream_test_support.h"

namespace KT::test {

// A scene file's first record starts here (header, empty sections, the
// root marker).
inline constexpr std::size_t kFirstRecordAt = 40;

// Saves `root` (with whatever it holds), checks that the file is exactly
// the records' GetSaveSize, loads it back, compares the members, saves
// again to the same bytes, and checks that a cut anywhere but between
// records fails.
inline void ExpectSceneRoundTrip(CBase& root) {
  SCOPED_TRACE(root.GetClassRecord().name);
  UseTestIds(0);
  const Bytes first = SaveRoots({&root});
  UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(LoadScene(first, stream, device), kOk);
  ASSERT_NE(stream.GetRootObject(0), nullptr);
  // Every record wrote exactly its GetSaveSize.
  EXPECT_EQ(first.size(), kFirstRecordAt + LoadedRecordBytes(stream));
  EXPECT_EQ(Members(stream.GetRootObject(0)), Members(&root));
  EXPECT_EQ(RenumberIds(SaveLoaded(stream)), RenumberIds(first));
  ExpectPrefixesFailBetweenRecords(first, kFirstRecordAt);
}

// The head of a data-controller record: root, scene-content and
// controller parts (with `frequency`), then the data controller's pair.
inline ByteWriter DataControlHead(f32 frequency = 1.0f) {
  ByteWriter w;
  BasePart(w, 0x10);
  DorunPart(w, 0);
  ControlFields fields;
  fields.frequency = frequency;
  ControlPart(w, fields).Pair(2, 0);
  return w;
}

// u32 count, then the values as f32.
inline ByteWriter& FloatArray(ByteWriter& w, std::initializer_list<f32> values) {
  w.U32(static_cast<u32>(values.size()));
  for (f32 v : values) w.F32(v);
  return w;
}
// u32 count, then the values as u32.
inline ByteWriter& U32Array(ByteWriter& w, std::initializer_list<u32> values) {
  w.U32(static_cast<u32>(values.size()));
  for (u32 v : values) w.U32(v);
  return w;
}

// Loads a file whose root record is `body` of class `className` into
// `stream`: the load's code.
inline Result LoadRecord(const char* className, const ByteWriter& body, CStream& stream, CMemoryIo& device) {
  return LoadScene(SceneImage().Record(className, body, true).Data(), stream, device);
}

// As LoadRecord, expecting success and that every cut of the record fails;
// answers the root as a T.
template <typename T>
T* LoadRoot(const char* className, const ByteWriter& body, CStream& stream, CMemoryIo& device) {
  const Bytes file = SceneImage().Record(className, body, true).Data();
  EXPECT_EQ(LoadScene(file, stream, device), kOk);
  ExpectEveryPrefixFails(file, kFirstRecordAt);
  return DynamicCast<T>(stream.GetRootObject(0));
}

}  // namespace KT::test
