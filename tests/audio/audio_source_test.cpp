// KT::CAudioSource: its lists, every stored form, key padding, copies,
// clones and the link checks.
#include "audio/audio_source.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Keys = std::vector<CAudioSource::CKeyPair>;

class AudioSourceTest : public test::AudioTest {};

// A source record of `version`: Volume 0.5, Pitch 1.5, Speed 2,
// VolumeChannel 3, and the fields of the later versions.
ByteWriter SourceBody(u64 id, u32 version, const std::vector<u64>& cues, const std::vector<u64>& attachments,
                      const Keys& keys = {}) {
  ByteWriter w;
  test::ObjectHead(w, id);
  test::SpatialPart206(w).Pair(version / 100, version % 100).U32(static_cast<u32>(cues.size()));
  for (u64 cue : cues) w.U64(cue);
  w.F32(0.5f).F32(1.5f).F32(2.0f).U32(3);
  if (version >= 201) {
    w.U32(static_cast<u32>(attachments.size()));
    for (u64 a : attachments) w.U64(a);
  }
  if (version >= 202) w.U8(2);  // any non-zero byte reads as true
  if (version >= 203) w.U32(9);
  if (version >= 204) {
    w.U32(static_cast<u32>(keys.size()));
    for (const auto& k : keys) w.U32(k.first).U32(k.second);
  }
  return w;
}

Bytes SourceFile(const ByteWriter& source) {
  test::SceneFile file;
  file.Record("CAudioSource", source, true);
  file.Record("CAudioCue", test::CueBody(0x20, 0));
  file.Record("CAudioData", test::DataBody(0x30, {1}));
  file.Record("CAudioData", test::DataBody(0x31, {2}));
  return file.Data();
}

TEST_F(AudioSourceTest, CuesKeepTheirOrderAndHaveNoParent) {
  CPointer<CAudioSource> source(new CAudioSource());
  CPointer<CAudioCue> late(new CAudioCue());
  late->SetStartTime(900);
  CPointer<CAudioCue> early(new CAudioCue());
  ASSERT_EQ(source->AddCue(late.Get()), kOk);
  ASSERT_EQ(source->AddCue(early.Get()), kOk);
  ASSERT_EQ(source->GetCues().size(), 2u);
  EXPECT_EQ(source->GetCues()[0], late.Get());
  EXPECT_EQ(late->GetParent(), nullptr);

  CPointer<CAudioTrack> track(new CAudioTrack());
  CPointer<CAudioCue> held(new CAudioCue());
  ASSERT_EQ(track->AddCue(held.Get(), false), kOk);
  EXPECT_EQ(source->AddCue(held.Get()), kErrNotFound);
  EXPECT_EQ(source->AddCue(nullptr), kErrInvalidArg);
  EXPECT_EQ(source->GetCues().size(), 2u);

  source->SetModified(false);
  source->AddAttachment(nullptr, 1, 2);
  source->AddAttachment(source.Get(), 1, 2);
  EXPECT_TRUE(source->GetAttachments().empty());
  EXPECT_TRUE(source->GetAttachmentKeys().empty());
  EXPECT_FALSE(source->IsModified());
  source->AddAttachment(early.Get(), 1, 2);
  EXPECT_EQ(source->GetAttachmentKeys(), (Keys{{1, 2}}));
  EXPECT_TRUE(source->IsModified());
}

TEST_F(AudioSourceTest, TraversalVisitsAttachmentsThenCues) {
  CPointer<CAudioSource> source(new CAudioSource());
  EXPECT_FALSE(source->HasSubObjects());
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetName(u"same");
  CPointer<CAudioData> data(new CAudioData());
  data->SetName(u"same");
  ASSERT_EQ(source->AddCue(cue.Get()), kOk);
  source->AddAttachment(data.Get(), 0, 0);
  EXPECT_TRUE(source->HasSubObjects());
  EXPECT_EQ(source->Find(u"same", nullptr, false, false), data.Get());
  std::vector<CBase*> all;
  source->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{source.Get(), data.Get(), cue.Get()}));
  test::ReferenceRecorder references;
  source->EnumReferences(references);
  EXPECT_EQ(references.seen, (std::vector<std::pair<CBase*, u32>>{{cue.Get(), 1}, {data.Get(), 1}}));
  EXPECT_TRUE(source->UpdateMarked(ObjectSet{cue.Get()}));
  EXPECT_TRUE(cue->IsMarked());
  source->ClearMarked();
  EXPECT_FALSE(source->IsMarked());
  EXPECT_FALSE(cue->IsMarked());
  EXPECT_EQ(source->ResolveReferences(nullptr), kErrInvalidArg);
}

TEST_F(AudioSourceTest, EveryStoredForm) {
  struct Row {
    const char* what;
    u32 version;
    std::vector<u64> attachments;
    Keys stored;
    Keys expected;
    bool mute;
    u32 maxProcess;
  };
  constexpr CAudioSource::CKeyPair kNone;
  const Row rows[] = {
      {"2.00: no attachments, Mute, MaxProcess or keys", 200, {}, {}, {}, false, 1},
      {"2.01: attachments", 201, {0x30}, {}, {kNone}, false, 1},
      {"2.02: Mute", 202, {0x30}, {}, {kNone}, true, 1},
      {"2.03: two attachments get two empty key pairs", 203, {0x30, 0x31}, {}, {kNone, kNone}, true, 9},
      {"2.04: the keys as stored", 204, {0x30, 0x31}, {{1, 2}, {3, 4}}, {{1, 2}, {3, 4}}, true, 9},
      {"2.04: too few keys are padded", 204, {0x30, 0x31}, {{1, 2}}, {{1, 2}, kNone}, true, 9},
      {"2.04: no keys at all", 204, {0x30}, {}, {kNone}, true, 9},
      {"2.04: too many keys are cut", 204, {0x30}, {{1, 2}, {3, 4}}, {{1, 2}}, true, 9},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Bytes bytes = SourceFile(SourceBody(1, row.version, {0x20}, row.attachments, row.stored));
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* source = DynamicCast<CAudioSource>(stream.GetRootObject(0));
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->GetVolume(), 0.5f);
    EXPECT_EQ(source->GetPitch(), 1.5f);
    EXPECT_EQ(source->GetSpeed(), 2.0f);
    EXPECT_EQ(source->GetVolumeChannel(), 3u);
    EXPECT_EQ(source->GetMute(), row.mute);
    EXPECT_EQ(source->GetMaxProcess(), row.maxProcess);
    EXPECT_EQ(source->GetAttachments().size(), row.attachments.size());
    EXPECT_EQ(source->GetAttachmentKeys(), row.expected);
    ASSERT_EQ(source->GetCues().size(), 1u);
    EXPECT_EQ(source->GetCues()[0]->GetParent(), nullptr);
    // The clone reads one key pair per attachment.
    CloneMap map;
    CPointer<CBase> clone;
    ASSERT_EQ(source->Clone(clone, map, 0), kOk);
    EXPECT_EQ(DynamicCast<CAudioSource>(clone.Get())->GetAttachmentKeys(), row.expected);
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(source));
    EXPECT_EQ(DynamicCast<CAudioSource>(reloaded.GetRootObject(0))->GetAttachmentKeys(), row.expected);
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  }
}

TEST_F(AudioSourceTest, SaveLoadSave) {
  CPointer<CAudioSource> source(new CAudioSource());
  source->SetName(u"speaker");
  source->SetMute(true);
  source->SetMaxProcess(4);
  source->SetVolumeChannel(2);
  source->SetPitch(0.5f);
  const u32 bare = source->GetSaveSize();
  const Bytes empty = test::SaveRoots({source.Get()});
  // Without attachments the key count 0 is written and nothing after it.
  EXPECT_EQ(empty.size(), test::kFirstRecordOffset + bare);
  EXPECT_EQ(Bytes(empty.end() - 4, empty.end()), Bytes(4, 0));

  CPointer<CAudioCue> cue(new CAudioCue());
  CPointer<CAudioData> data(new CAudioData());
  ASSERT_EQ(source->AddCue(cue.Get()), kOk);
  source->AddAttachment(data.Get(), 7, 8);
  EXPECT_EQ(source->GetSaveSize(), bare + 8 + 8 + 8);
  const Bytes first = test::SaveRoots({source.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), test::kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* loaded = DynamicCast<CAudioSource>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(source.Get()));
  EXPECT_EQ(loaded->GetAttachmentKeys(), (Keys{{7, 8}}));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, test::kFirstRecordOffset);
}

TEST_F(AudioSourceTest, CopyToSharesTheLists) {
  CPointer<CAudioSource> source(new CAudioSource());
  source->SetSpeed(3.0f);
  CPointer<CAudioCue> cue(new CAudioCue());
  CPointer<CAudioData> data(new CAudioData());
  ASSERT_EQ(source->AddCue(cue.Get()), kOk);
  source->AddAttachment(data.Get(), 5, 6);
  CPointer<CAudioSource> target(new CAudioSource());
  CPointer<CAudioCue> former(new CAudioCue());
  ASSERT_EQ(target->AddCue(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetSpeed(), 3.0f);
  EXPECT_EQ(target->GetCues(), source->GetCues());
  EXPECT_EQ(target->GetAttachments(), source->GetAttachments());
  EXPECT_EQ(target->GetAttachmentKeys(), (Keys{{5, 6}}));
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], former.Get());
  CPointer<CAudioInstance> instance(new CAudioInstance());
  EXPECT_EQ(source->CopyTo(instance.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

ByteWriter HugeCount() {
  ByteWriter w;
  test::ObjectHead(w, 1);
  test::SpatialPart206(w).Pair(2, 4).U32(0x10000000u);
  return w;
}

TEST_F(AudioSourceTest, LinkChecks) {
  struct Row {
    const char* what;
    ByteWriter source;
    Result expected;
  };
  const Row rows[] = {
      {"a cue that is sample data", SourceBody(1, 204, {0x30}, {}), kErrNotFound},
      {"the source attached to itself", SourceBody(1, 204, {}, {1}), kErrNotFound},
      {"a count beyond the record", HugeCount(), kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(SourceFile(row.source), stream, device), row.expected);
  }
  // A cue that a track of the same file holds keeps the track as Parent,
  // whichever record links first.
  for (bool trackFirst : {false, true}) {
    SCOPED_TRACE(trackFirst);
    test::SceneFile file;
    if (trackFirst) file.Record("CAudioTrack", test::TrackBody(2, {0x20}), true);
    file.Record("CAudioSource", SourceBody(1, 204, {0x20}, {}), true);
    if (!trackFirst) file.Record("CAudioTrack", test::TrackBody(2, {0x20}), true);
    file.Record("CAudioCue", test::CueBody(0x20, 0));
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
    auto* source = DynamicCast<CAudioSource>(stream.GetRootObject(trackFirst ? 1 : 0));
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->GetCues().size(), 1u);
    EXPECT_EQ(source->GetCues()[0]->GetParent(), stream.GetRootObject(trackFirst ? 0 : 1));
  }
}

}  // namespace
}  // namespace KT
