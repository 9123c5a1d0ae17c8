// KT::CAudioTrack: ordering of its children, lengths, loops, the Parent
// bookkeeping of every way a cue joins or leaves a track, copies, clones,
// its record (current and 2.00) and hostile files.
#include "audio/audio_track.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Timing = CAudioCueBase::CFlatTiming;

class AudioTrackTest : public test::AudioTest {};

CPointer<CAudioCue> CueAt(i32 start, CAudioData* data = nullptr) {
  CPointer<CAudioCue> cue(new CAudioCue());
  cue->SetStartTime(start);
  cue->SetData(data);
  return cue;
}

// One second of the default format (16-bit mono at 22050 Hz).
CPointer<CAudioData> OneSecond() {
  CPointer<CAudioData> data(new CAudioData());
  const std::vector<u8> bytes(44100, 0x11);
  EXPECT_EQ(data->SetSamples(bytes.data(), 44100), kOk);
  return data;
}

// Ten milliseconds of the default format: small enough for prefix sweeps.
CPointer<CAudioData> Tiny() {
  CPointer<CAudioData> data(new CAudioData());
  const std::vector<u8> bytes(441, 0x22);
  EXPECT_EQ(data->SetSamples(bytes.data(), 441), kOk);
  return data;
}

std::vector<i32> Starts(const CAudioTrack& track) {
  std::vector<i32> starts;
  for (const auto& cue : track.GetCues()) starts.push_back(cue ? cue->GetStartTime() : -1);
  return starts;
}

TEST_F(AudioTrackTest, ChildrenAreOrderedByResolvedStart) {
  CPointer<CAudioTrack> track(new CAudioTrack());
  CPointer<CAudioCue> first = CueAt(100);
  for (const CPointer<CAudioCue>& cue : {CueAt(300), first, CueAt(200)}) ASSERT_EQ(track->AddCue(cue.Get(), false), kOk);
  EXPECT_EQ(Starts(*track), (std::vector<i32>{100, 200, 300}));
  for (const auto& cue : track->GetCues()) EXPECT_EQ(cue->GetParent(), track.Get());

  // An equal start goes before the child that has it...
  CPointer<CAudioCue> second = CueAt(100);
  ASSERT_EQ(track->AddCue(second.Get(), false), kOk);
  EXPECT_EQ(track->GetCues()[0], second.Get());
  EXPECT_EQ(track->GetCues()[1], first.Get());
  // ...or replaces it, which then has no Parent and may join another track.
  CPointer<CAudioCue> third = CueAt(100);
  ASSERT_EQ(track->AddCue(third.Get(), true), kOk);
  EXPECT_EQ(Starts(*track), (std::vector<i32>{100, 100, 200, 300}));
  EXPECT_EQ(track->GetCues()[0], third.Get());
  EXPECT_EQ(second->GetParent(), nullptr);
  CPointer<CAudioTrack> other(new CAudioTrack());
  EXPECT_EQ(other->AddCue(second.Get(), false), kOk);
}

TEST_F(AudioTrackTest, AddCueRefusals) {
  CPointer<CAudioTrack> root(new CAudioTrack());
  CPointer<CAudioTrack> inner(new CAudioTrack());
  ASSERT_EQ(root->AddCue(inner.Get(), false), kOk);
  CPointer<CAudioCue> held = CueAt(0);
  ASSERT_EQ(inner->AddCue(held.Get(), false), kOk);
  root->SetModified(false);
  inner->SetModified(false);
  struct Row {
    const char* what;
    CAudioTrack* track;
    CAudioCueBase* cue;
    Result expected;
  };
  const Row rows[] = {
      {"null", root.Get(), nullptr, kErrInvalidArg},
      {"a cue with a parent", root.Get(), held.Get(), kErrNotFound},
      {"the track itself", root.Get(), root.Get(), kErrInvalidArg},
      {"an ancestor", inner.Get(), root.Get(), kErrInvalidArg},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.track->AddCue(row.cue, false), row.expected);
  }
  EXPECT_EQ(root->GetCues().size(), 1u);
  EXPECT_EQ(inner->GetCues().size(), 1u);
  EXPECT_EQ(root->GetParent(), nullptr);
  EXPECT_FALSE(root->IsModified());
  EXPECT_FALSE(inner->IsModified());
}

TEST_F(AudioTrackTest, RemoveCue) {
  CPointer<CAudioTrack> track(new CAudioTrack());
  CPointer<CAudioCue> child = CueAt(0);
  CPointer<CAudioCue> stranger = CueAt(0);
  ASSERT_EQ(track->AddCue(child.Get(), false), kOk);
  track->SetModified(false);
  EXPECT_EQ(track->RemoveCue(stranger.Get()), kOk);
  EXPECT_FALSE(track->IsModified());
  EXPECT_EQ(track->RemoveCue(nullptr), kErrInvalidArg);
  EXPECT_EQ(track->RemoveCue(child.Get()), kOk);
  EXPECT_TRUE(track->IsModified());
  EXPECT_TRUE(track->GetCues().empty());
  EXPECT_EQ(child->GetParent(), nullptr);
}

TEST_F(AudioTrackTest, Lengths) {
  CPointer<CAudioData> second = OneSecond();
  CPointer<CAudioTrack> track(new CAudioTrack());
  track->SetSpeed(2.0f);
  ASSERT_EQ(track->AddCue(CueAt(0, second.Get()).Get(), false), kOk);
  ASSERT_EQ(track->AddCue(CueAt(500, second.Get()).Get(), false), kOk);
  EXPECT_EQ(track->GetCues()[0]->GetLength(), 1000.0f);
  // The latest end is 500 + 1000, divided by the track's rate.
  EXPECT_EQ(track->GetLength(), 750.0f);
  // The resolved rate (2) and the track's own Speed again: 1500 / 4.
  EXPECT_EQ(track->GetFlatLength(), 375.0f);

  // Nested: a track of Speed 0.5 holding this one at 100 lasts
  // (100 + 750) / 0.5.
  CPointer<CAudioTrack> outer(new CAudioTrack());
  outer->SetSpeed(0.5f);
  track->SetStartTime(100);
  ASSERT_EQ(outer->AddCue(track.Get(), false), kOk);
  EXPECT_EQ(outer->GetLength(), 1700.0f);

  CPointer<CAudioTrack> empty(new CAudioTrack());
  empty->SetPadding(300);
  empty->SetPitch(2.0f);
  empty->SetSpeed(1.5f);
  EXPECT_EQ(empty->GetLength(), 100.0f);
  CPointer<CAudioTrack> root(new CAudioTrack());
  root->SetSpeed(2.0f);
  root->SetPadding(400);
  EXPECT_EQ(root->GetFlatLength(), 100.0f);
}

TEST_F(AudioTrackTest, EveryTrackOnTheChainMultipliesItsLoop) {
  CPointer<CAudioTrack> outer(new CAudioTrack());
  CPointer<CAudioTrack> inner(new CAudioTrack());
  outer->SetLoop(2);
  inner->SetLoop(3);
  CPointer<CAudioCue> cue = CueAt(0);
  ASSERT_EQ(outer->AddCue(inner.Get(), false), kOk);
  ASSERT_EQ(inner->AddCue(cue.Get(), false), kOk);
  Timing r;
  cue->Flatten(r);
  EXPECT_EQ(r.LoopCount, 6u);
  inner->Flatten(r);
  EXPECT_EQ(r.LoopCount, 6u);
  inner->FlattenUpTo(outer.Get(), r);
  EXPECT_EQ(r.LoopCount, 3u);
  cue->FlattenUpTo(inner.Get(), r);
  EXPECT_EQ(r.LoopCount, 1u);
}

TEST_F(AudioTrackTest, ACueNeverKeepsAParentThatIsGone) {
  CPointer<CAudioCue> survivor = CueAt(40);
  CPointer<CAudioCue> displaced = CueAt(50);
  {
    CPointer<CAudioTrack> track(new CAudioTrack());
    track->SetStartTime(1000);
    ASSERT_EQ(track->AddCue(survivor.Get(), false), kOk);
    Timing r;
    survivor->Flatten(r);
    EXPECT_EQ(r.Start, 1040);
  }
  EXPECT_EQ(survivor->GetParent(), nullptr);
  Timing r;
  survivor->Flatten(r);
  EXPECT_EQ(r.Start, 40);

  // The target's former children leave it when another track's children
  // move in.
  CPointer<CAudioTrack> source(new CAudioTrack());
  CPointer<CAudioTrack> target(new CAudioTrack());
  ASSERT_EQ(target->AddCue(displaced.Get(), false), kOk);
  DisplacedList list;
  ASSERT_EQ(source->CopyTo(target.Get(), list, 0), kOk);
  target = nullptr;
  EXPECT_EQ(displaced->GetParent(), nullptr);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0], displaced.Get());
}

TEST_F(AudioTrackTest, CopyToMovesTheChildren) {
  CPointer<CAudioTrack> a(new CAudioTrack());
  CPointer<CAudioTrack> b(new CAudioTrack());
  a->SetLoop(5);
  a->SetSpeed(3.0f);
  CPointer<CAudioCue> x = CueAt(10);
  CPointer<CAudioTrack> y(new CAudioTrack());
  ASSERT_EQ(a->AddCue(x.Get(), false), kOk);
  ASSERT_EQ(a->AddCue(y.Get(), false), kOk);
  DisplacedList displaced;
  ASSERT_EQ(a->CopyTo(b.Get(), displaced, 0), kOk);
  EXPECT_TRUE(a->GetCues().empty());
  ASSERT_EQ(b->GetCues().size(), 2u);
  EXPECT_EQ(x->GetParent(), b.Get());
  EXPECT_EQ(y->GetParent(), b.Get());
  EXPECT_EQ(b->GetLoop(), 5u);
  EXPECT_EQ(b->GetSpeed(), 3.0f);
  EXPECT_TRUE(displaced.empty());

  // Into a descendant the children would hold themselves; another class
  // is refused; nothing changes either way.
  EXPECT_EQ(b->CopyTo(y.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(b->CopyTo(x.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(b->GetCues().size(), 2u);
  EXPECT_EQ(x->GetStartTime(), 10);
  // Onto itself only the fields are copied.
  ASSERT_EQ(b->CopyTo(b.Get(), displaced, 0), kOk);
  EXPECT_EQ(b->GetCues().size(), 2u);
}

TEST_F(AudioTrackTest, CloneRebuildsTheProgramAndCollapsesEqualStarts) {
  CPointer<CAudioData> data = OneSecond();
  CPointer<CAudioTrack> root(new CAudioTrack());
  CPointer<CAudioTrack> inner(new CAudioTrack());
  inner->SetStartTime(700);
  inner->SetLoop(2);
  CPointer<CAudioCue> early = CueAt(100, data.Get());
  CPointer<CAudioCue> same = CueAt(100, data.Get());
  ASSERT_EQ(root->AddCue(inner.Get(), false), kOk);
  ASSERT_EQ(root->AddCue(early.Get(), false), kOk);
  ASSERT_EQ(root->AddCue(same.Get(), false), kOk);
  ASSERT_EQ(inner->AddCue(CueAt(5, data.Get()).Get(), false), kOk);
  ASSERT_EQ(Starts(*root), (std::vector<i32>{100, 100, 700}));

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(root->Clone(out, map, 0), kOk);
  auto* copy = DynamicCast<CAudioTrack>(out.Get());
  ASSERT_NE(copy, nullptr);
  // The two children at 100 collapse to the one added last.
  ASSERT_EQ(Starts(*copy), (std::vector<i32>{100, 700}));
  EXPECT_EQ(copy->GetCues()[0].Get(), map.at(early.Get()).Get());
  auto* innerCopy = DynamicCast<CAudioTrack>(copy->GetCues()[1].Get());
  ASSERT_NE(innerCopy, nullptr);
  EXPECT_EQ(innerCopy->GetParent(), copy);
  EXPECT_EQ(innerCopy->GetLoop(), 2u);
  ASSERT_EQ(innerCopy->GetCues().size(), 1u);
  auto* leaf = DynamicCast<CAudioCue>(innerCopy->GetCues()[0].Get());
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->GetParent(), innerCopy);
  // The shared data is cloned once.
  EXPECT_NE(leaf->GetData(), data.Get());
  EXPECT_EQ(leaf->GetData(), DynamicCast<CAudioCue>(copy->GetCues()[0].Get())->GetData());
  // Cloning again through the same map answers the earlier copy.
  CPointer<CBase> again;
  EXPECT_EQ(root->Clone(again, map, 0), kDone);
  EXPECT_EQ(again, out);
}

// --- persistence ----------------------------------------------------------------------------------

// root (Loop 2) -> [cue "a" at 0, track "inner" at 300 -> [cue "b"]],
// both cues on one data object.
struct Program {
  CPointer<CAudioData> data = Tiny();
  CPointer<CAudioTrack> root{new CAudioTrack()};
  CPointer<CAudioTrack> inner{new CAudioTrack()};
  Program() {
    root->SetName(u"root");
    root->SetLoop(2);
    root->SetSpeed(2.0f);
    inner->SetName(u"inner");
    inner->SetStartTime(300);
    CPointer<CAudioCue> a = CueAt(0, data.Get());
    a->SetName(u"a");
    CPointer<CAudioCue> b = CueAt(20, data.Get());
    b->SetName(u"b");
    EXPECT_EQ(root->AddCue(a.Get(), false), kOk);
    EXPECT_EQ(root->AddCue(inner.Get(), false), kOk);
    EXPECT_EQ(inner->AddCue(b.Get(), false), kOk);
  }
};

TEST_F(AudioTrackTest, SaveLoadSave) {
  Program program;
  const Bytes first = test::SaveRoots({program.root.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), test::kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* root = DynamicCast<CAudioTrack>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(test::Members(root), test::Members(program.root.Get()));
  EXPECT_EQ(root->GetLoop(), 2u);
  ASSERT_EQ(root->GetCues().size(), 2u);
  auto* inner = DynamicCast<CAudioTrack>(root->GetCues()[1].Get());
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->GetParent(), root);
  ASSERT_EQ(inner->GetCues().size(), 1u);
  auto* b = DynamicCast<CAudioCue>(inner->GetCues()[0].Get());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetParent(), inner);
  EXPECT_EQ(b->GetData(), DynamicCast<CAudioCue>(root->GetCues()[0].Get())->GetData());
  EXPECT_EQ(b->GetFlatLength(), program.inner->GetCues()[0]->GetFlatLength());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, test::kFirstRecordOffset);
}

TEST_F(AudioTrackTest, StoredFormsAndEmptySlots) {
  struct Row {
    const char* what;
    u32 version;
    u32 loop;
  };
  for (const Row& row : {Row{"2.00 has no Loop", 200, 1}, Row{"2.01", 201, 7}}) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CAudioTrack", test::TrackBody(1, {2, 0, 3}, row.version, 7), true);
    file.Record("CAudioCue", test::CueBody(2, 0));
    file.Record("CAudioCue", test::CueBody(3, 0, 203, {.start = 5}));
    CStream stream;
    CMemoryIo device;
    const Bytes bytes = file.Data();
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* track = DynamicCast<CAudioTrack>(stream.GetRootObject(0));
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->GetLoop(), row.loop);
    // The stored order stands and the empty slot is kept.
    ASSERT_EQ(track->GetCues().size(), 3u);
    EXPECT_EQ(track->GetCues()[1], nullptr);
    EXPECT_EQ(track->GetCues()[2]->GetStartTime(), 5);
    EXPECT_EQ(track->GetCues()[2]->GetParent(), track);
    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::RenumberIds(test::SaveLoaded(reloaded)), test::RenumberIds(again));
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  }
}

TEST_F(AudioTrackTest, HostileFilesAreRefused) {
  struct Row {
    const char* what;
    std::vector<std::pair<std::string, ByteWriter>> records;
    Result expected;
  };
  ByteWriter hugeCount;
  test::ObjectHead(hugeCount, 1);
  test::CueBasePart(hugeCount, 203).Pair(2, 1).U32(0x40000000u);
  const Row rows[] = {
      {"a track holding itself", {{"CAudioTrack", test::TrackBody(1, {1})}}, kErrNotFound},
      {"two tracks holding each other",
       {{"CAudioTrack", test::TrackBody(1, {2})}, {"CAudioTrack", test::TrackBody(2, {1})}},
       kErrNotFound},
      {"a child that is not a cue", {{"CAudioTrack", test::TrackBody(1, {2})}, {"CNode", test::NodeBody(2, {})}},
       kErrNotFound},
      {"a count beyond the record", {{"CAudioTrack", hugeCount}}, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    bool root = true;
    for (const auto& [name, body] : row.records) {
      file.Record(name, body, root);
      root = false;
    }
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file.Data(), stream, device), row.expected);
  }
}

TEST_F(AudioTrackTest, ACueClaimedTwiceStaysWithItsFirstTrack) {
  test::SceneFile file;
  file.Record("CAudioTrack", test::TrackBody(1, {3, 2, 3}), true);
  file.Record("CAudioTrack", test::TrackBody(2, {3}));
  file.Record("CAudioCue", test::CueBody(3, 0));
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file.Data(), stream, device), kOk);
  auto* first = DynamicCast<CAudioTrack>(stream.GetRootObject(0));
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->GetCues().size(), 2u);
  auto* second = DynamicCast<CAudioTrack>(first->GetCues()[1].Get());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->GetCues()[0]->GetParent(), first);
  EXPECT_TRUE(second->GetCues().empty());
}

TEST_F(AudioTrackTest, DeepNestingCostsNoMachineStack) {
  // Built from the bottom up, so each AddCue sees a parentless track.
  constexpr int kDepth = 100000;
  CPointer<CAudioCue> leaf = CueAt(1);
  leaf->SetName(u"leaf");
  CPointer<CAudioTrack> top(new CAudioTrack());
  ASSERT_EQ(top->AddCue(leaf.Get(), false), kOk);
  for (int i = 1; i < kDepth; ++i) {
    CPointer<CAudioTrack> parent(new CAudioTrack());
    ASSERT_EQ(parent->AddCue(top.Get(), false), kOk);
    top = parent;
  }
  Timing r;
  leaf->Flatten(r);
  EXPECT_EQ(r.Start, 1);
  EXPECT_EQ(top->GetLength(), 1.0f);
  EXPECT_EQ(top->GetFlatLength(), 1.0f);
  EXPECT_EQ(top->Find(u"leaf", nullptr, false, false), leaf.Get());
  std::vector<CBase*> all;
  top->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kDepth) + 1);
  EXPECT_TRUE(top->UpdateMarked(ObjectSet{leaf.Get()}));
  top->ClearMarked();
  EXPECT_EQ(top->ResolveReferences(top.Get()), kOk);
  {
    CloneMap map;
    CPointer<CBase> copy;
    ASSERT_EQ(top->Clone(copy, map, 0), kOk);
    EXPECT_EQ(map.size(), static_cast<std::size_t>(kDepth) + 1);
  }
  const Bytes bytes = test::SaveRoots({top.Get()});
  {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  }
  top = nullptr;
  EXPECT_EQ(leaf->GetParent(), nullptr);
}

}  // namespace
}  // namespace KT
