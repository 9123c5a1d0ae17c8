// The root-object protocol: type tests, Find/Collect/UpdateMarked,
// copies, cloning through a clone map, remapping, the member and reference
// visitors and the CBase part of a record.
#include "objectmodel/base.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "platform/unique_id.h"
#include "test_objects.h"

namespace KT {
namespace {

using test::CHolder;
using test::Make;

const ClassRecord& Record(const char* name) {
  const ClassRecord* record = FindClassRecord(name);
  EXPECT_NE(record, nullptr) << name;
  return *record;
}

// --- type tests -------------------------------------------------------------

TEST(BaseKindOf, WalksTheParentChainOfRecords) {
  CPointer<CBase> custom(new CCustomData());
  CPointer<CBase> raw(new CRawData());
  CPointer<CBase> xml(new CXmlRawData());
  CPointer<CBase> version(new CVersionData());
  struct Row {
    CBase* object;
    const char* record;
    bool kindOf;
  };
  const Row rows[] = {
      {custom.Get(), "CBase", true},         {custom.Get(), "CCustomData", true},
      {custom.Get(), "CRawData", false},     {raw.Get(), "CBase", true},
      {raw.Get(), "CCustomData", true},      {raw.Get(), "CRawData", true},
      {raw.Get(), "CXmlRawData", false},     {raw.Get(), "CVersionData", false},
      {xml.Get(), "CRawData", true},         {xml.Get(), "CXmlRawData", true},
      {version.Get(), "CCustomData", true},  {version.Get(), "CRawData", false},
      {version.Get(), "CDorun", false},      {version.Get(), "CTimeKey", false},
  };
  for (const Row& row : rows) {
    const ClassRecord& record = Record(row.record);
    EXPECT_EQ(row.object->IsKindOf(record), row.kindOf) << row.object->GetClassRecord().name << " / " << row.record;
    EXPECT_EQ(DynamicCast(row.object, record), row.kindOf ? row.object : nullptr)
        << row.object->GetClassRecord().name << " / " << row.record;
  }
}

TEST(BaseKindOf, ComparesWholeClassIdsNotRecordAddresses) {
  CPointer<CRawData> raw(new CRawData());
  const ClassRecord& rawRecord = CRawData::StaticClassRecord();
  // A record elsewhere in memory that carries the same id is the same class.
  const ClassRecord sameId{"Other", nullptr, 1, 0, rawRecord.id};
  EXPECT_TRUE(raw->IsKindOf(sameId));
  // Only the high half differs: a different class.
  const ClassRecord highHalf{"Other", nullptr, 1, 0, rawRecord.id ^ (1ull << 40)};
  EXPECT_FALSE(raw->IsKindOf(highHalf));
}

TEST(BaseKindOf, TypedDynamicCast) {
  CPointer<CXmlRawData> xml(new CXmlRawData());
  CBase* object = xml.Get();
  EXPECT_EQ(DynamicCast<CRawData>(object), xml.Get());
  EXPECT_EQ(DynamicCast<CXmlRawData>(static_cast<const CBase*>(object)), xml.Get());
  EXPECT_EQ(DynamicCast<CVersionData>(object), nullptr);
  EXPECT_EQ(DynamicCast<CRawData>(static_cast<CBase*>(nullptr)), nullptr);
  EXPECT_EQ(DynamicCast(static_cast<CBase*>(nullptr), CBase::StaticClassRecord()), nullptr);
}

// --- Find, Collect, UpdateMarked ----------------------------------------------

TEST(BaseFind, FiltersOfOneObject) {
  CPointer<CXmlRawData> object = Make<CXmlRawData>(u"x");
  struct Row {
    const char* what;
    const char16_t* name;
    const char* record;  // null: no class filter
    bool includeDerived;
    bool onlyMarked;
    bool marked;
    bool found;
  };
  const Row rows[] = {
      {"no filter", nullptr, nullptr, false, false, false, true},
      {"no filter, only marked, not marked", nullptr, nullptr, false, true, false, false},
      {"no filter, only marked, marked", nullptr, nullptr, false, true, true, true},
      {"exact name", u"x", nullptr, false, false, false, true},
      {"name differs in case", u"X", nullptr, false, false, false, false},
      {"empty name", u"", nullptr, false, false, false, false},
      {"own class exact", nullptr, "CXmlRawData", false, false, false, true},
      {"parent class exact", nullptr, "CRawData", false, false, false, false},
      {"parent class derived", nullptr, "CRawData", true, false, false, true},
      {"root class derived", nullptr, "CBase", true, false, false, true},
      {"unrelated class derived", nullptr, "CVersionData", true, false, false, false},
      {"class and name", u"x", "CRawData", true, false, false, true},
      {"class matches, name does not", u"y", "CRawData", true, false, false, false},
  };
  for (const Row& row : rows) {
    object->SetMarked(row.marked);
    const ClassRecord* record = row.record != nullptr ? &Record(row.record) : nullptr;
    CBase* found = object->Find(row.name, record, row.includeDerived, row.onlyMarked);
    EXPECT_EQ(found, row.found ? object.Get() : nullptr) << row.what;
    std::vector<CBase*> collected;
    object->Collect(collected, row.name, record, row.includeDerived, row.onlyMarked);
    EXPECT_EQ(collected.size(), row.found ? 1u : 0u) << row.what;
  }
}

// A chain of custom data records is a container: it tests itself first,
// then the records after it.
struct Chain {
  CPointer<CVersionData> a = Make<CVersionData>(u"a");
  CPointer<CRawData> b = Make<CRawData>(u"b");
  CPointer<CXmlRawData> c = Make<CXmlRawData>(u"b");

  Chain() {
    EXPECT_EQ(a->SetNext(b.Get()), kOk);
    EXPECT_EQ(b->SetNext(c.Get()), kOk);
  }
};

TEST(BaseFind, ContainerTestsItselfFirstAndTheFirstHitWins) {
  Chain chain;
  const ClassRecord& raw = CRawData::StaticClassRecord();
  EXPECT_EQ(chain.a->Find(nullptr, nullptr, false, false), chain.a.Get());
  EXPECT_EQ(chain.a->Find(u"b", nullptr, false, false), chain.b.Get());
  EXPECT_EQ(chain.a->Find(u"b", &raw, true, false), chain.b.Get());
  EXPECT_EQ(chain.a->Find(nullptr, &CXmlRawData::StaticClassRecord(), false, false), chain.c.Get());
  EXPECT_EQ(chain.a->Find(u"missing", nullptr, false, false), nullptr);
  EXPECT_EQ(chain.c->Find(nullptr, &CVersionData::StaticClassRecord(), true, false), nullptr);

  std::vector<CBase*> collected;
  chain.a->Collect(collected, nullptr, &raw, true, false);
  EXPECT_EQ(collected, (std::vector<CBase*>{chain.b.Get(), chain.c.Get()}));
  collected.clear();
  chain.a->Collect(collected, nullptr, &raw, false, false);
  EXPECT_EQ(collected, (std::vector<CBase*>{chain.b.Get()}));
}

TEST(BaseCollect, KeepsAnObjectReachedTwice) {
  CPointer<CHolder> holder = Make<CHolder>(u"holder");
  CPointer<CRawData> shared = Make<CRawData>(u"shared");
  holder->children = {shared, shared};
  std::vector<CBase*> collected;
  holder->Collect(collected, nullptr, &CRawData::StaticClassRecord(), true, false);
  EXPECT_EQ(collected, (std::vector<CBase*>{shared.Get(), shared.Get()}));
}

TEST(BaseMarked, LeafFollowsTheSet) {
  CPointer<CRawData> object = Make<CRawData>(u"leaf");
  CPointer<CRawData> other = Make<CRawData>(u"other");
  EXPECT_TRUE(object->UpdateMarked({object.Get(), other.Get()}));
  EXPECT_TRUE(object->IsMarked());
  EXPECT_FALSE(object->UpdateMarked({other.Get()}));
  EXPECT_FALSE(object->IsMarked());
  object->SetMarked(true);
  object->ClearMarked();
  EXPECT_FALSE(object->IsMarked());
}

TEST(BaseMarked, ContainerIsMarkedWhenItOrASubObjectIs) {
  Chain chain;
  EXPECT_TRUE(chain.a->UpdateMarked({chain.c.Get()}));
  EXPECT_TRUE(chain.a->IsMarked());
  EXPECT_TRUE(chain.b->IsMarked());
  EXPECT_TRUE(chain.c->IsMarked());

  EXPECT_TRUE(chain.a->UpdateMarked({chain.a.Get()}));
  EXPECT_TRUE(chain.a->IsMarked());
  EXPECT_FALSE(chain.b->IsMarked());
  EXPECT_FALSE(chain.c->IsMarked());
  // Only marked objects pass the onlyMarked filter.
  EXPECT_EQ(chain.a->Find(u"b", nullptr, false, true), nullptr);
  EXPECT_EQ(chain.a->Find(nullptr, nullptr, false, true), chain.a.Get());

  EXPECT_FALSE(chain.a->UpdateMarked({}));
  chain.a->SetMarked(true);
  chain.c->SetMarked(true);
  chain.a->ClearMarked();
  EXPECT_FALSE(chain.a->IsMarked());
  EXPECT_FALSE(chain.c->IsMarked());
}

// --- construction and copies --------------------------------------------------

TEST(BaseLifetime, NewObjectHasCleanStateAndALiveId) {
  const std::uint64_t live = CountLiveUniqueIDs();
  {
    CPointer<CRawData> object(new CRawData());
    EXPECT_FALSE(object->IsModified());
    EXPECT_FALSE(object->IsMarked());
    EXPECT_TRUE(object->GetName().empty());
    EXPECT_EQ(object->GetReferences(), 1u);  // the one held by `object`
    EXPECT_NE(object->GetUniqueId(), 0u);
    EXPECT_EQ(CountLiveUniqueIDs(), live + 1);
    object->SetName(u"named");
    EXPECT_TRUE(object->IsModified());
  }
  EXPECT_EQ(CountLiveUniqueIDs(), live);
}

TEST(BaseCopy, CopyKeepsTheNameOnly) {
  CPointer<CRawData> source = Make<CRawData>(u"source");
  CPointer<CRawData> second = source;
  source->SetMarked(true);
  ASSERT_TRUE(source->IsModified());
  ASSERT_EQ(source->GetReferences(), 2u);

  CPointer<CRawData> copy(new CRawData(*source));
  EXPECT_EQ(copy->GetName(), u"source");
  EXPECT_NE(copy->GetUniqueId(), source->GetUniqueId());
  EXPECT_NE(copy->GetUniqueId(), 0u);
  EXPECT_EQ(copy->GetReferences(), 1u);  // only `copy`: the count is not copied
  EXPECT_FALSE(copy->IsModified());
  EXPECT_FALSE(copy->IsMarked());
}

TEST(BaseCopy, AssignmentCopiesTheNameAndKeepsTheRest) {
  CPointer<CRawData> source = Make<CRawData>(u"source");
  source->SetMarked(true);
  CPointer<CRawData> target(new CRawData());
  const u64 id = target->GetUniqueId();
  static_cast<CBase&>(*target) = *source;
  EXPECT_EQ(target->GetName(), u"source");
  EXPECT_EQ(target->GetUniqueId(), id);
  EXPECT_EQ(target->GetReferences(), 1u);
  EXPECT_FALSE(target->IsMarked());
  EXPECT_FALSE(target->IsModified());
}

TEST(BaseCopy, CreateInstanceMakesACopyOfTheSameClass) {
  CPointer<CXmlRawData> source = Make<CXmlRawData>(u"xml");
  CPointer<CBase> out;
  ASSERT_EQ(source->CreateInstance(out), kOk);
  ASSERT_TRUE(out);
  EXPECT_NE(out.Get(), source.Get());
  EXPECT_EQ(&out->GetClassRecord(), &CXmlRawData::StaticClassRecord());
  EXPECT_EQ(out->GetName(), u"xml");
  EXPECT_EQ(out->GetReferences(), 1u);

  // A class without a copy of its own (the plain custom data record) refuses
  // and leaves the output alone.
  CPointer<CCustomData> plain(new CCustomData());
  CPointer<CBase> kept = out;
  EXPECT_EQ(plain->CreateInstance(kept), kErrInvalidArg);
  EXPECT_EQ(kept, out.Get());
}

// --- cloning ------------------------------------------------------------------

TEST(BaseClone, SecondVisitAnswersDoneWithTheFirstClone) {
  CPointer<CRawData> source = Make<CRawData>(u"raw");
  CloneMap cloneMap;
  CPointer<CBase> first;
  ASSERT_EQ(source->Clone(first, cloneMap, 0), kOk);
  ASSERT_TRUE(first);
  EXPECT_NE(first.Get(), source.Get());
  EXPECT_EQ(first->GetName(), u"raw");
  ASSERT_EQ(cloneMap.size(), 1u);
  EXPECT_EQ(cloneMap.at(source.Get()), first.Get());
  EXPECT_EQ(first->GetReferences(), 2u);  // `first` and the map

  CPointer<CBase> second;
  EXPECT_EQ(source->Clone(second, cloneMap, 0), kDone);
  EXPECT_EQ(second, first.Get());
  EXPECT_EQ(first->GetReferences(), 3u);
  // Asking again into a pointer that already holds the clone changes nothing.
  EXPECT_EQ(source->Clone(second, cloneMap, 0), kDone);
  EXPECT_EQ(first->GetReferences(), 3u);
  EXPECT_EQ(cloneMap.size(), 1u);
}

TEST(BaseClone, CloneObjectHandsOutTheCloneOnSuccessOnly) {
  CPointer<CRawData> source = Make<CRawData>(u"raw");
  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, cloneMap, source.Get(), 0), kOk);
  CBase* clone = out.Get();
  ASSERT_NE(clone, nullptr);

  CPointer<CBase> again;
  EXPECT_EQ(CloneObject(again, cloneMap, source.Get(), 0), kDone);
  EXPECT_EQ(again, clone);

  CPointer<CCustomData> plain(new CCustomData());
  CPointer<CBase> kept = out;
  EXPECT_EQ(CloneObject(kept, cloneMap, plain.Get(), 0), kErrInvalidArg);
  EXPECT_EQ(kept, clone);
  EXPECT_EQ(cloneMap.count(plain.Get()), 0u);
  EXPECT_EQ(CloneObject(kept, cloneMap, nullptr, 0), kErrInvalidArg);
  EXPECT_EQ(kept, clone);
}

// holder
//   children: leaf, shared, inner
//   inner.children: shared;  inner.link -> leaf (not owned)
struct Graph {
  CPointer<CHolder> holder = Make<CHolder>(u"holder");
  CPointer<CRawData> leaf = Make<CRawData>(u"leaf");
  CPointer<CRawData> shared = Make<CRawData>(u"shared");
  CPointer<CHolder> inner = Make<CHolder>(u"inner");

  Graph() {
    inner->children = {shared};
    inner->link = leaf.Get();
    holder->children = {leaf, shared, inner};
  }
};

TEST(BaseClone, SharedSubObjectsStayShared) {
  Graph graph;
  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, cloneMap, graph.holder.Get(), 0), kOk);
  EXPECT_EQ(cloneMap.size(), 4u);

  CHolder* holder = static_cast<CHolder*>(out.Get());
  ASSERT_EQ(holder->children.size(), 3u);
  CHolder* inner = static_cast<CHolder*>(holder->children[2].Get());
  ASSERT_EQ(inner->children.size(), 1u);
  EXPECT_EQ(inner->GetName(), u"inner");
  EXPECT_EQ(holder->children[1], inner->children[0].Get());  // one clone of the shared object
  EXPECT_NE(holder->children[1], graph.shared.Get());
  EXPECT_EQ(holder->children[1]->GetName(), u"shared");
  EXPECT_EQ(holder->children[0], cloneMap.at(graph.leaf.Get()).Get());

  // The plain reference still points into the source graph until remapped.
  EXPECT_EQ(inner->link, graph.leaf.Get());
  EXPECT_EQ(holder->RemapAllReferences(cloneMap), kOk);
  EXPECT_EQ(inner->link, holder->children[0].Get());
  // The source graph is untouched.
  EXPECT_EQ(graph.inner->link, graph.leaf.Get());
}

TEST(BaseClone, ReleasingTheCloneMapAndClonesFreesEveryClone) {
  Graph graph;
  const std::uint64_t live = CountLiveUniqueIDs();
  {
    CloneMap cloneMap;
    CPointer<CBase> out;
    ASSERT_EQ(CloneObject(out, cloneMap, graph.holder.Get(), 0), kOk);
    EXPECT_EQ(CountLiveUniqueIDs(), live + 4);
  }
  EXPECT_EQ(CountLiveUniqueIDs(), live);
}

TEST(BaseRemap, VisitsEveryObjectOnceInAddressOrder) {
  Graph graph;
  // A second path to `inner`: Collect reports it twice.
  CPointer<CHolder> top = Make<CHolder>(u"top");
  top->children = {graph.holder, graph.inner};
  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, cloneMap, top.Get(), 0), kOk);

  std::vector<const CBase*> log;
  CHolder::remapLog = &log;
  const Result r = out->RemapAllReferences(cloneMap);
  CHolder::remapLog = nullptr;
  ASSERT_EQ(r, kOk);
  // The three holders of the clone (top, holder, inner), each once.
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(std::is_sorted(log.begin(), log.end(), std::less<const CBase*>()));
  EXPECT_EQ(std::adjacent_find(log.begin(), log.end()), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), out.Get()), log.end());
}

TEST(BaseRemap, ReferenceOutsideTheCloneMapFails) {
  Graph graph;
  CPointer<CRawData> outside = Make<CRawData>(u"outside");
  graph.inner->link = outside.Get();
  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, cloneMap, graph.holder.Get(), 0), kOk);
  EXPECT_EQ(out->RemapAllReferences(cloneMap), kErrCloneMissing);
}

TEST(BaseRemap, RemapReferenceHelper) {
  CPointer<CRawData> source = Make<CRawData>(u"source");
  CPointer<CVersionData> other = Make<CVersionData>(u"other");
  CPointer<CRawData> clone = Make<CRawData>(u"clone");
  CloneMap cloneMap;
  cloneMap[source.Get()] = clone.Get();
  cloneMap[other.Get()] = clone.Get();

  CPointer<CRawData> empty;
  EXPECT_EQ(RemapReference(empty, cloneMap), kOk);
  EXPECT_FALSE(empty);

  CPointer<CRawData> member = source;
  EXPECT_EQ(RemapReference(member, cloneMap), kOk);
  EXPECT_EQ(member, clone.Get());

  CPointer<CRawData> missing = Make<CRawData>(u"missing");
  CRawData* kept = missing.Get();
  EXPECT_EQ(RemapReference(missing, cloneMap), kErrCloneMissing);
  EXPECT_EQ(missing, kept);

  // The recorded clone is not of the member's class.
  CPointer<CVersionData> typed = other;
  EXPECT_EQ(RemapReference(typed, cloneMap), kErrNotFound);
  EXPECT_EQ(typed, other.Get());
}

TEST(BaseClone, CloneMemberIsTyped) {
  CPointer<CXmlRawData> source = Make<CXmlRawData>(u"xml");
  CloneMap cloneMap;
  CPointer<CRawData> member = Make<CRawData>(u"old");
  ASSERT_EQ(CloneMember<CRawData>(member, cloneMap, source.Get(), 0), kOk);
  ASSERT_TRUE(member);
  EXPECT_NE(member, source.Get());
  EXPECT_EQ(member->GetName(), u"xml");
  EXPECT_EQ(&member->GetClassRecord(), &CXmlRawData::StaticClassRecord());
  EXPECT_EQ(CloneMember<CRawData>(member, cloneMap, nullptr, 0), kOk);
  EXPECT_FALSE(member);
}

TEST(BaseCopyTo, CopiesTheNameAndRefusesNull) {
  CPointer<CRawData> source = Make<CRawData>(u"source");
  CPointer<CRawData> target = Make<CRawData>(u"target");
  DisplacedList displaced;
  EXPECT_EQ(source->CBase::CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetName(), u"source");
  EXPECT_TRUE(displaced.empty());
  EXPECT_EQ(source->CBase::CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST(BaseCopyTo, AssignPointerMemberSharesAndDisplaces) {
  CPointer<CRawData> shared = Make<CRawData>(u"shared");
  CPointer<CRawData> source = shared;
  DisplacedList displaced;

  CPointer<CRawData> empty;
  EXPECT_EQ(AssignPointerMember(displaced, source, empty), kOk);
  EXPECT_TRUE(displaced.empty());
  EXPECT_EQ(empty, shared.Get());

  CPointer<CRawData> target(new CRawData());
  CRawData* former = target.Get();
  EXPECT_EQ(AssignPointerMember(displaced, source, target), kOk);
  EXPECT_EQ(target, shared.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], former);
  EXPECT_EQ(former->GetReferences(), 1u);  // kept alive by the list only
}

TEST(BaseCopyTo, AssignPointerVectorMemberSharesAndDisplacesEveryElement) {
  CPointer<CRawData> a = Make<CRawData>(u"a");
  CPointer<CRawData> b = Make<CRawData>(u"b");
  const std::vector<CPointer<CRawData>> source = {a, nullptr, b};
  CPointer<CRawData> old1 = Make<CRawData>(u"old1");
  std::vector<CPointer<CBase>> target = {old1.Get(), nullptr};
  DisplacedList displaced;
  EXPECT_EQ(AssignPointerVectorMember(displaced, source, target), kOk);
  ASSERT_EQ(target.size(), 3u);
  EXPECT_EQ(target[0], a.Get());
  EXPECT_EQ(target[1], nullptr);
  EXPECT_EQ(target[2], b.Get());
  EXPECT_EQ(a->GetReferences(), 3u);  // a, the source list and the target list
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], old1.Get());
}

// --- visitors -------------------------------------------------------------------

// Records every call as "kind name=value" lines.
class RecordingVisitor : public CMemberVisitor {
 public:
  std::vector<std::string> lines;

  void BeginGroup(const char16_t* name) override { lines.push_back("group " + Narrow(name)); }
  void OpenGroup() override { lines.push_back("open"); }
  void EndGroup() override { lines.push_back("end"); }
  void Bool(const char16_t* name, const bool* value) override {
    lines.push_back("bool " + Narrow(name) + "=" + (*value ? "1" : "0"));
  }
  void WideString(const char16_t* name, const WString* value) override {
    lines.push_back("wstring " + Narrow(name) + "=" + Narrow(value->c_str()));
  }
  void UInt(const char16_t* name, const u32* value) override {
    lines.push_back("u32 " + Narrow(name) + "=" + std::to_string(*value));
  }
  void U64(const char16_t* name, u64 value) override {
    lines.push_back("u64 " + Narrow(name) + "=" + std::to_string(value));
  }
  void ObjectRef(const char16_t* name, const CBase*) override { lines.push_back("ref " + Narrow(name)); }

 private:
  static std::string Narrow(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
    return out;
  }
};

TEST(BaseMembers, RootGroupComesLastWithItsFiveFields) {
  CPointer<CRawData> object = Make<CRawData>(u"ab");
  object->SetMarked(true);
  RecordingVisitor visitor;
  object->DescribeMembers(visitor);
  const std::vector<std::string> root = {
      "group CBase Member", "open", "bool Modified=1", "bool Marked=1", "wstring Name=ab",
      "u32 References=1",   "u64 VuskID=" + std::to_string(object->GetUniqueId()), "end"};
  ASSERT_GE(visitor.lines.size(), root.size());
  EXPECT_EQ(std::vector<std::string>(visitor.lines.end() - root.size(), visitor.lines.end()), root);
  // The most derived group comes first.
  EXPECT_EQ(visitor.lines.front(), "group CRawData Member");
}

TEST(BaseMembers, ReferenceVisitorSeesEveryOwnedReferenceIncludingNull) {
  Chain chain;
  struct Seen : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> calls;
    void Visit(CBase* object, u32 owned) override { calls.emplace_back(object, owned); }
  };
  Seen head;
  chain.a->EnumReferences(head);
  EXPECT_EQ(head.calls, (std::vector<std::pair<CBase*, u32>>{{chain.b.Get(), 1u}}));
  Seen tail;
  chain.c->EnumReferences(tail);
  EXPECT_EQ(tail.calls, (std::vector<std::pair<CBase*, u32>>{{nullptr, 1u}}));
}

// --- the CBase part of a record -------------------------------------------------

TEST(BaseRecord, SizesAndFixedAnswersOfTheRootClass) {
  CPointer<CRawData> object = Make<CRawData>(u"ab");
  const CBase& base = *object;
  // strlen("CRawData") + 2 * 2 + 28
  EXPECT_EQ(base.CBase::GetSaveSize(), 40u);
  EXPECT_EQ(base.CBase::GetMemorySize(), 60u);
  EXPECT_EQ(base.CBase::GetVersion(), 201u);
  EXPECT_EQ(&base.CBase::GetClassRecord(), &CBase::StaticClassRecord());
  EXPECT_FALSE(base.CBase::HasSubObjects());
  EXPECT_EQ(object->CBase::ResolveReferences(nullptr), kOk);
  EXPECT_EQ(object->CBase::PrepareRuntime(nullptr), kOk);
  EXPECT_EQ(object->CBase::RemapReferences(CloneMap()), kOk);
  EXPECT_EQ(object->Reserved17(nullptr, nullptr), kErrInvalidArg);
  EXPECT_EQ(object->Reserved18(nullptr, nullptr), kErrInvalidArg);
}

TEST(BaseRecord, SaveWritesTheRecordHeadAndTheRootPart) {
  CPointer<CRawData> object = Make<CRawData>(u"ab");
  CMemoryIo device;
  CStream stream;
  ASSERT_EQ(stream.SetDevice(&device), kOk);
  ASSERT_EQ(object->CBase::Save(stream, 0), kOk);

  test::ByteWriter expected;
  expected.Str("CRawData").U32(object->GetSaveSize() - 8 - 8).Pair(2, 1).U64(object->GetUniqueId()).WStr(u"ab");
  EXPECT_EQ(device.GetData(), expected.Data());
  EXPECT_EQ(device.GetData().size(), object->CBase::GetSaveSize());
}

TEST(BaseRecord, RegisterForSaveAnswersDoneTheSecondTime) {
  CPointer<CRawData> object = Make<CRawData>(u"ab");
  CStream stream;
  EXPECT_EQ(object->CBase::RegisterForSave(stream, 0), kOk);
  EXPECT_EQ(object->CBase::RegisterForSave(stream, 0), kDone);
}

}  // namespace
}  // namespace KT
