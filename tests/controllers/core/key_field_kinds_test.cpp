// The key field kinds beyond numbers and blocks: wide strings, target
// references resolved at link, and fields gated on the key's stored
// version; and the older parallel-array records of key lists.
#include <gtest/gtest.h>

#include <vector>

#include "controllers/core/key_track.h"
#include "controllers/core/legacy_key_arrays.h"
#include "controllers/core/time_key.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::ByteWriter;

// A key of record version 1.02 (the look key's record): a note, a weight
// added at 1.01 and a target added at 1.02.
class CNoteKey : public CKeyLevel<CNoteKey, CTransitionKey, ClassIndex::CLookKey> {
 public:
  static constexpr u32 kVersionWeight = 101;
  static constexpr u32 kVersionTarget = 102;
  CNoteKey() = default;
  CNoteKey(i32 time, WString note, f32 weight, CNode* target)
      : CKeyLevel(time, TT_LINEAR), Note(std::move(note)), Weight(weight), Target(target) {}
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.WString(u"Note", k.Note);
    if (StoredSince(w, kVersionWeight)) w.Float(u"Weight", k.Weight);
    if (StoredSince(w, kVersionTarget)) w.Ref(u"Target", k.Target);
  }
  WString Note;
  f32 Weight = 0.5f;
  CTargetRef<CNode> Target;
};

struct MemoryStream {
  MemoryStream() { stream.SetDevice(&device); }
  explicit MemoryStream(const std::vector<u8>& bytes) : device(bytes) { stream.SetDevice(&device); }
  CMemoryIo device;
  CStream stream;
};

// The transition-key part of a record at time t.
ByteWriter& TransitionPart(ByteWriter& w, i32 t) {
  return w.Pair(1, 0).I32(t).Pair(1, 0).U32(TT_LINEAR).F32(50.0f);
}

TEST(KeyFieldKinds, StringsAndReferencesHaveTheirDiskFormAndSize) {
  CPointer<CNode> node(new CNode());
  const CNoteKey key(40, u"ab", 2.0f, node.Get());
  MemoryStream out;
  ASSERT_EQ(key.Save(out.stream), kOk);
  const std::vector<u8> bytes = out.device.TakeData();
  ByteWriter expected;
  TransitionPart(expected, 40).Pair(1, 2).WStr(u"ab").F32(2.0f).U64(node->GetUniqueId());
  EXPECT_EQ(bytes, expected.Data());
  EXPECT_EQ(key.GetSaveSize(), bytes.size());
  // Keys of one track differ in size; the track adds them up.
  CKeyTrack<CNoteKey> track;
  track.Assign({key, CNoteKey(50, u"longer note", 1.0f, nullptr)});
  EXPECT_EQ(track.GetSaveSize(), 4 + key.GetSaveSize() + CNoteKey(50, u"longer note", 1.0f, nullptr).GetSaveSize());
}

TEST(KeyFieldKinds, FieldsAreReadByTheKeysStoredVersion) {
  const struct {
    const char* name;
    u32 minor;
    f32 weight;
    u64 pending;
  } cases[] = {
      {"1.00: note only", 0, 0.5f, 0},
      {"1.01: note and weight", 1, 3.0f, 0},
      {"1.02: every field", 2, 3.0f, 77},
  };
  for (const auto& c : cases) {
    ByteWriter w;
    TransitionPart(w, 5).Pair(1, c.minor).WStr(u"x");
    if (c.minor >= 1) w.F32(3.0f);
    if (c.minor >= 2) w.U64(77);
    MemoryStream in(w.Data());
    CNoteKey key;
    ASSERT_EQ(key.Load(in.stream), kOk) << c.name;
    EXPECT_EQ(in.stream.GetRemaining(), 0u) << c.name;
    EXPECT_EQ(key.Note, u"x") << c.name;
    EXPECT_EQ(key.Weight, c.weight) << c.name;
    EXPECT_EQ(key.Target.GetPendingId(), c.pending) << c.name;
    EXPECT_EQ(in.stream.GetStoredVersion(CNoteKey::StaticClassRecord()), static_cast<i32>(100 + c.minor));
  }
}

TEST(KeyFieldKinds, AKeyVersionAboveTheClassIsRefused) {
  ByteWriter w;
  TransitionPart(w, 5).Pair(1, 3).WStr(u"x").F32(1.0f).U64(0);
  MemoryStream in(w.Data());
  CNoteKey key;
  EXPECT_EQ(key.Load(in.stream), kErrNewerVersion);
  // The same for a level below: the transition part at 1.01.
  MemoryStream base(ByteWriter().Pair(1, 0).I32(0).Pair(1, 1).U32(0).F32(50.0f).Data());
  CTransitionKey transition;
  EXPECT_EQ(transition.Load(base.stream), kErrNewerVersion);
}

TEST(KeyFieldKinds, ReferencesResolveAtLinkInReadOrder) {
  CPointer<CNode> a(new CNode());
  CPointer<CNode> b(new CNode());
  CKeyTrack<CNoteKey> saved;
  saved.Assign({CNoteKey(0, u"", 1.0f, a.Get()), CNoteKey(10, u"", 1.0f, b.Get()), CNoteKey(20, u"", 1.0f, nullptr),
                CNoteKey(30, u"", 1.0f, a.Get())});
  MemoryStream out;
  ASSERT_EQ(saved.Write(out.stream), kOk);

  // The objects of the file, as a load registers them (the records outlive
  // the stream that points at them).
  CStreamLoadRecord recordA;
  recordA.object = a.Get();
  CStreamLoadRecord recordB;
  recordB.object = b.Get();
  MemoryStream in(out.device.TakeData());
  ASSERT_TRUE(in.stream.RegisterId(a->GetUniqueId(), &recordA));
  ASSERT_TRUE(in.stream.RegisterId(b->GetUniqueId(), &recordB));
  CKeyTrack<CNoteKey> loaded;
  ASSERT_EQ(loaded.Read(in.stream), kOk);
  EXPECT_EQ(loaded[0].Target.Get(), nullptr);  // pending until link
  loaded.Link(in.stream);
  EXPECT_EQ(loaded[0].Target.Get(), a.Get());
  EXPECT_EQ(loaded[1].Target.Get(), b.Get());
  EXPECT_EQ(loaded[2].Target.Get(), nullptr);
  EXPECT_EQ(loaded[3].Target.Get(), a.Get());
  EXPECT_EQ(loaded[1].Target.GetPendingId(), 0u);
}

TEST(KeyFieldKinds, ReferencesFollowCloneMapsAndNames) {
  CPointer<CNode> root(new CNode());
  CPointer<CNode> target(new CNode());
  target->SetName(u"target");
  CPointer<CNode> other(new CNode());
  other->SetName(u"other");
  CKeyTrack<CNoteKey> track;
  track.Assign({CNoteKey(0, u"", 1.0f, target.Get()), CNoteKey(10, u"", 1.0f, other.Get())});

  CPointer<CNode> copy(new CNode());
  CloneMap map;
  map[target.Get()] = CPointer<CBase>(copy.Get());
  track.Remap(map);
  EXPECT_EQ(track[0].Target.Get(), copy.Get());
  EXPECT_EQ(track[1].Target.Get(), other.Get());  // not in the map: unchanged

  // By name under a root: "target" is found again, "other" is not there.
  CPointer<CNode> found(new CNode());
  found->SetName(u"target");
  ASSERT_EQ(root->AddChild(found.Get()), kOk);
  track[0].Target.Set(target.Get());
  track.ResolveByName(root.Get());
  EXPECT_EQ(track[0].Target.Get(), found.Get());
  EXPECT_EQ(track[1].Target.Get(), nullptr);
}

// --- older parallel-array records -------------------------------------------------

class COpacityKey : public CKeyLevel<COpacityKey, CTransitionKey, ClassIndex::CAttributeKey> {
 public:
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Float(u"Opacity", k.Opacity);
  }
  f32 Opacity = 1.0f;
};

class CSelectionKey : public CKeyLevel<CSelectionKey, CTimeKey, ClassIndex::CSelKey> {
 public:
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Int(u"Sel", k.Sel);
  }
  i32 Sel = 0;
};

TEST(LegacyKeyArrays, FourArraysConvertToKeys) {
  ByteWriter w;
  w.U32(3).F32(0.0f).F32(1999.9f).F32(3000.0f);         // times
  w.U32(3).F32(0.25f).F32(0.5f).F32(0.75f);             // opacities
  w.U32(3).F32(1.0f).F32(0.0f).F32(1.0f);               // interpolation flags
  w.U32(3).U32(TT_EASE_IN).U32(TT_EASE_OUT).U32(TT_EASE_IN_OUT);  // types
  MemoryStream in(w.Data());
  std::vector<COpacityKey> keys;
  ASSERT_EQ(ReadFourArrayKeys(in.stream, keys, &COpacityKey::Opacity), kOk);
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[1].Time, 1999);
  EXPECT_EQ(keys[1].Opacity, 0.5f);
  EXPECT_EQ(keys[1].TransitionType, static_cast<u32>(TT_STEP));  // flag 0.0 wins over the stored type
  EXPECT_EQ(keys[0].TransitionType, static_cast<u32>(TT_EASE_IN));
  EXPECT_EQ(keys[2].TransitionType, static_cast<u32>(TT_EASE_IN_OUT));
  for (const COpacityKey& key : keys) EXPECT_EQ(key.TransitionStrength, 50.0f);
}

TEST(LegacyKeyArrays, ShorterArraysAreRefused) {
  const struct {
    const char* name;
    u32 values;
    u32 flags;
    u32 types;
  } cases[] = {
      {"fewer values", 1, 2, 2},
      {"fewer flags", 2, 1, 2},
      {"fewer types", 2, 2, 0},
  };
  for (const auto& c : cases) {
    ByteWriter w;
    w.U32(2).F32(0.0f).F32(10.0f);
    w.U32(c.values);
    for (u32 i = 0; i < c.values; ++i) w.F32(1.0f);
    w.U32(c.flags);
    for (u32 i = 0; i < c.flags; ++i) w.F32(1.0f);
    w.U32(c.types);
    for (u32 i = 0; i < c.types; ++i) w.U32(0);
    MemoryStream in(w.Data());
    std::vector<COpacityKey> keys;
    EXPECT_EQ(ReadFourArrayKeys(in.stream, keys, &COpacityKey::Opacity), kErrNotFound) << c.name;
    EXPECT_TRUE(keys.empty()) << c.name;
  }
  // Longer value arrays are fine: their extra entries are dropped.
  MemoryStream longer(ByteWriter().U32(1).F32(5.0f).U32(2).I32(7).I32(8).Data());
  std::vector<CSelectionKey> keys;
  ASSERT_EQ(ReadTwoArrayKeys(longer.stream, keys, &CSelectionKey::Sel), kOk);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].Time, 5);
  EXPECT_EQ(keys[0].Sel, 7);
}

TEST(LegacyKeyArrays, EveryCutOfTheRecordFails) {
  ByteWriter w;
  w.U32(2).F32(0.0f).F32(10.0f).U32(2).I32(1).I32(2);
  const std::vector<u8> bytes = w.Data();
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    MemoryStream in(std::vector<u8>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)));
    std::vector<CSelectionKey> keys;
    const Result r = ReadTwoArrayKeys(in.stream, keys, &CSelectionKey::Sel);
    EXPECT_LT(r, 0) << n;
  }
}

}  // namespace
}  // namespace KT
