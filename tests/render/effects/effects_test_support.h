// Helpers shared by the tests of the video, layer, light, post-effect and
// camera-switcher classes: byte images of their records and loading them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_test_support.h"
#include "render/effects/camera_switcher.h"
#include "render/effects/camera_switcher_control.h"
#include "render/effects/image_layer.h"
#include "render/effects/image_light.h"
#include "render/effects/post_effect.h"
#include "render/effects/video.h"
#include "render/effects/video_map.h"
#include "render/effects/video_track.h"
#include "render/lights/camera.h"
#include "scene/node.h"

namespace KT::test {

// A scene file's first record starts here (header, empty sections, the
// root marker).
inline constexpr std::size_t kEffectsFirstRecordOffset = 40;

// Registers the creators of the effect classes, the camera, the node and
// the test classes with the factory (for load tests).
inline void RegisterEffectClasses() {
  CClassFactory::Register("CVideo", &CreateObject<CVideo>);
  CClassFactory::Register("CVideoTrack", &CreateObject<CVideoTrack>);
  CClassFactory::Register("CVideoMap", &CreateObject<CVideoMap>);
  CClassFactory::Register("CImageLight", &CreateObject<CImageLight>);
  CClassFactory::Register("CImageLayer", &CreateObject<CImageLayer>);
  CClassFactory::Register("CPostEffect", &CreateObject<CPostEffect>);
  CClassFactory::Register("CCameraSwitcher", &CreateObject<CCameraSwitcher>);
  CClassFactory::Register("CCameraSwitcherControl", &CreateObject<CCameraSwitcherControl>);
  CClassFactory::Register("CCamera", &CreateObject<CCamera>);
  CClassFactory::Register("CNode", &CreateObject<CNode>);
  RegisterTestClasses();
}

// CBase 2.01 and CDorun 2.01 parts with empty chains.
inline ByteWriter DorunHead(u64 id) {
  ByteWriter w;
  BasePart(w, id);
  DorunPart(w, 0);
  return w;
}

// The current (2.06) CSpatial part: identity transform, no references.
inline ByteWriter& Spatial206(ByteWriter& w) {
  w.Pair(2, 6).F32(1.0f).F32(1.0f).F32(1.0f).F32(1.0f);
  w.F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f);
  w.F32(0.0f).F32(0.0f).F32(0.0f).U32(0).U64(0).U64(0);
  return w.U8(1).U8(0).U8(0).U32(2);
}

inline ByteWriter SpatialHead(u64 id) {
  ByteWriter w = DorunHead(id);
  Spatial206(w);
  return w;
}

// A current (1.06) video record of a file at "/nowhere/v.avi".
inline ByteWriter VideoBody(u64 id) {
  ByteWriter w = DorunHead(id);
  w.Pair(1, 6).WStr(u"/nowhere/v.avi").U32(2).F32(1.0f).U8(0).U8(0).U8(0).WStr(u"").WStr(u"");
  return w;
}

// A current (1.00) video-track record holding the one video `video`.
inline ByteWriter TrackBody(u64 id, u64 video) {
  ByteWriter w = DorunHead(id);
  w.Pair(1, 0).I32(0).U32(0).F32(1.0f).U8(0).U8(0).U8(0).U32(1).U64(video);
  return w;
}

// A loaded 3.01 file; the stream keeps what it delivered alive.
struct LoadedFile {
  CStream stream;
  CMemoryIo device;
  Result result = kErrStream;
  CBase* Root(u32 index = 0) const { return stream.GetRootObject(index); }
};

// Loads a file whose root tree holds `records` (the first `roots` of them
// roots); unless `sweep` is false, every cut of the file that is not on a
// record boundary must fail.
inline void LoadRecords(LoadedFile& loaded, const std::vector<std::pair<std::string, ByteWriter>>& records,
                        bool sweep = true, std::size_t roots = 1) {
  SceneImage image;
  for (std::size_t i = 0; i < records.size(); ++i) image.Record(records[i].first, records[i].second, i < roots);
  const Bytes file = image.Data();
  loaded.result = LoadScene(file, loaded.stream, loaded.device);
  if (sweep) ExpectPrefixesFailBetweenRecords(file, kEffectsFirstRecordOffset);
}

// Saves `object` as the one root of a file, loads that file and answers
// its root (the loaded stream keeps it).
inline CBase* SaveAndLoad(LoadedFile& loaded, CBase& object) {
  const Bytes file = SaveRoots({&object});
  loaded.result = LoadScene(file, loaded.stream, loaded.device);
  EXPECT_EQ(loaded.result, kOk);
  return loaded.Root();
}

// A stream over memory whose file version is `versionText` (for example
// "2.00"), set by reading a legacy header, positioned at `bytes`.
inline void StreamAtFileVersion(CStream& stream, CMemoryIo& device, const char* versionText,
                                const std::vector<u8>& bytes) {
  ByteWriter header;
  header.Chars("KTDorun").Chars("abcdefghi").Chars(versionText);
  while (header.Size() < 21) header.U8(' ');
  device.SetData(header.Data());
  stream.SetDevice(&device);
  // Without the thumbnail bit nothing after the header is read.
  EXPECT_EQ(stream.Load(0, 0), kOk);
  device.SetData(bytes);
}

}  // namespace KT::test
