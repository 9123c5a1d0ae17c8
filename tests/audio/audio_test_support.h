// Shared pieces of the audio tests: registration of the five audio classes
// and byte images of their records (file version 3.01).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "audio/audio_cue.h"
#include "audio/audio_data.h"
#include "audio/audio_instance.h"
#include "audio/audio_source.h"
#include "audio/audio_track.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/scene_test_classes.h"

namespace KT::test {

// Where the first record of a file with one root begins.
inline constexpr std::size_t kFirstRecordOffset = 40;

// Each test registers the audio classes (and the node) and leaves the
// process-wide registry as it found it.
class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterSceneTestClasses();
    CClassFactory::Register("CAudioData", &CreateObject<CAudioData>);
    CClassFactory::Register("CAudioInstance", &CreateObject<CAudioInstance>);
    CClassFactory::Register("CAudioSource", &CreateObject<CAudioSource>);
    CClassFactory::Register("CAudioCue", &CreateObject<CAudioCue>);
    CClassFactory::Register("CAudioTrack", &CreateObject<CAudioTrack>);
    UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

// Records the non-null references an object reports, with their owned flag.
struct ReferenceRecorder : CReferenceVisitor {
  std::vector<std::pair<CBase*, u32>> seen;
  void Visit(CBase* object, u32 owned) override {
    if (object != nullptr) seen.emplace_back(object, owned);
  }
};

// The eleven stored fields of a cue, as a record gives them.
struct CueFields {
  f32 start = 0, begin = 0, end = 0, fade = 0, intro = 0;
  f32 volume = 1, pitch = 1, speed = 1;
  f32 delay = 0, padding = 0, priority = 0;
};

// The CAudioCueBase level at `version`: times as i32 from 2.03, as f32
// before; Delay and Padding from 2.01, Priority from 2.02.
inline ByteWriter& CueBasePart(ByteWriter& w, u32 version, const CueFields& f = {}) {
  w.Pair(version / 100, version % 100);
  const bool ints = version >= 203;
  auto time = [&](f32 t) {
    if (ints) {
      w.I32(static_cast<i32>(t));
    } else {
      w.F32(t);
    }
  };
  for (const f32 t : {f.start, f.begin, f.end, f.fade, f.intro}) time(t);
  w.F32(f.volume).F32(f.pitch).F32(f.speed);
  if (version >= 201) {
    time(f.delay);
    time(f.padding);
  }
  if (version >= 202) w.F32(f.priority);
  return w;
}

inline ByteWriter CueBody(u64 id, u64 data, u32 baseVersion = 203, const CueFields& f = {}) {
  ByteWriter w;
  ObjectHead(w, id);
  CueBasePart(w, baseVersion, f).Pair(2, 2).U64(data);
  return w;
}

inline ByteWriter TrackBody(u64 id, const std::vector<u64>& children, u32 version = 201, u32 loop = 1,
                            const CueFields& f = {}) {
  ByteWriter w;
  ObjectHead(w, id);
  CueBasePart(w, 203, f).Pair(version / 100, version % 100).U32(static_cast<u32>(children.size()));
  for (u64 child : children) w.U64(child);
  if (version >= 201) w.U32(loop);
  return w;
}

// A CAudioData record: the default format, the given bytes, Static (from
// 2.01) true.
inline ByteWriter DataBody(u64 id, const std::vector<u8>& bytes, u32 version = 201) {
  ByteWriter w;
  ObjectHead(w, id);
  w.Pair(version / 100, version % 100).U16(0).U16(1).U32(22050).U32(44100).U16(2).U16(16);
  w.U32(static_cast<u32>(bytes.size())).Bytes(bytes);
  if (version >= 201) w.U8(1);
  return w;
}

}  // namespace KT::test
