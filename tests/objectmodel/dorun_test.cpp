// The scene-content base: its three chains, data-update depth, Update,
// clone, copy, search, marking and its record in every stored version.
#include "objectmodel/dorun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestControl;
using test::CTestDorun;

class DorunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    RegisterCustomDataClasses();
    test::UseTestIds(0);
    test::CallLog().clear();
  }
};

CPointer<CTestControl> Control(const char16_t* name) { return CPointer<CTestControl>(new CTestControl(name)); }

// The elements of a chain, head first.
std::vector<CDorun*> Chain(CDorun* head) {
  std::vector<CDorun*> out;
  for (CDorun* e = head; e != nullptr; e = e->GetChainNext()) out.push_back(e);
  return out;
}

TEST_F(DorunTest, ConstructionAndCopy) {
  CTestDorun object;
  EXPECT_EQ(object.GetFirstControl(), nullptr);
  EXPECT_EQ(object.GetFirstSubObject(), nullptr);
  EXPECT_EQ(object.GetFirstCustomData(), nullptr);
  EXPECT_FALSE(object.IsDirty());
  EXPECT_EQ(object.GetCachedDataUpdateDepth(), 0);
  EXPECT_FALSE(object.HasSubObjects());

  object.SetName(u"source");
  object.SetDirty();
  auto control = Control(u"a");
  control->dataDepth = 5;
  ASSERT_EQ(object.AddControl(control.Get()), kOk);
  i32 depth = 0;
  ASSERT_EQ(object.GetDataUpdateDepth(nullptr, depth), kOk);
  object.SetDirty();
  CTestDorun copy(object);
  EXPECT_EQ(copy.GetName(), u"source");
  EXPECT_TRUE(copy.IsDirty());
  EXPECT_EQ(copy.GetCachedDataUpdateDepth(), 0);
  EXPECT_EQ(copy.GetFirstControl(), nullptr);
  CPointer<CBase> instance;
  EXPECT_EQ(object.CDorun::CreateInstance(instance), kErrInvalidArg);
  EXPECT_EQ(CDorun::StaticClassRecord().Version(), 201u);
}

// --- AddControl -----------------------------------------------------------------------

TEST_F(DorunTest, AddControlBindsAndAppendsAWholeChain) {
  CPointer<CTestDorun> object(new CTestDorun());
  auto a = Control(u"a"), b = Control(u"b"), c = Control(u"c"), d = Control(u"d");
  ASSERT_EQ(a->SetNext(b.Get()), kOk);
  ASSERT_EQ(b->SetNext(c.Get()), kOk);
  ASSERT_EQ(object->AddControl(a.Get()), kOk);
  EXPECT_TRUE(object->IsModified());
  EXPECT_EQ(Chain(object->GetFirstControl()), (std::vector<CDorun*>{a.Get(), b.Get(), c.Get()}));
  for (CTestControl* e : {a.Get(), b.Get(), c.Get()}) {
    EXPECT_EQ(e->GetObject(), object.Get());
    EXPECT_TRUE(e->IsModified());
  }
  c->SetModified(false);
  ASSERT_EQ(object->AddControl(d.Get()), kOk);
  EXPECT_EQ(Chain(object->GetFirstControl()), (std::vector<CDorun*>{a.Get(), b.Get(), c.Get(), d.Get()}));
  EXPECT_TRUE(c->IsModified());  // its Next changed
  EXPECT_EQ(d->GetObject(), object.Get());
}

TEST_F(DorunTest, AddControlRefusesAndBindsNothing) {
  struct Case {
    const char* name;
    // Builds the chain to add (first element returned) against `object`,
    // which already holds `held` and `extra` holds `elsewhere`.
    CDorun* (*build)(CTestDorun& object, CTestControl& held, CTestControl& fresh, CTestControl& elsewhere,
                     CTestControl& owner);
  };
  const Case cases[] = {
      {"null", [](CTestDorun&, CTestControl&, CTestControl&, CTestControl&, CTestControl&) -> CDorun* {
         return nullptr;
       }},
      {"not a controller",
       [](CTestDorun&, CTestControl&, CTestControl&, CTestControl&, CTestControl&) -> CDorun* {
         static CPointer<CTestDorun> plain(new CTestDorun());
         return plain.Get();
       }},
      {"already in this chain",
       [](CTestDorun&, CTestControl& held, CTestControl&, CTestControl&, CTestControl&) -> CDorun* {
         return &held;
       }},
      {"bound to another object",
       [](CTestDorun&, CTestControl&, CTestControl&, CTestControl& elsewhere, CTestControl&) -> CDorun* {
         return &elsewhere;
       }},
      {"held by a container",
       [](CTestDorun&, CTestControl&, CTestControl& fresh, CTestControl&, CTestControl& owner) -> CDorun* {
         fresh.AddOwner(&owner);
         return &fresh;
       }},
      {"a later element bound elsewhere",
       [](CTestDorun&, CTestControl&, CTestControl& fresh, CTestControl& elsewhere, CTestControl&) -> CDorun* {
         fresh.SetNext(&elsewhere);
         return &fresh;
       }},
      {"a later element held by a container",
       [](CTestDorun&, CTestControl&, CTestControl& fresh, CTestControl&, CTestControl& owner) -> CDorun* {
         owner.SetNext(&fresh);
         fresh.AddOwner(&owner);
         return &owner;
       }},
  };
  for (const Case& c : cases) {
    CPointer<CTestDorun> object(new CTestDorun()), other(new CTestDorun());
    CPointer<CTestControl> held(new CTestControl(u"held")), fresh(new CTestControl(u"fresh"));
    CPointer<CTestControl> elsewhere(new CTestControl(u"elsewhere")), owner(new CTestControl(u"owner"));
    ASSERT_EQ(object->AddControl(held.Get()), kOk);
    ASSERT_EQ(other->AddControl(elsewhere.Get()), kOk);
    CDorun* added = c.build(*object, *held, *fresh, *elsewhere, *owner);
    EXPECT_EQ(object->AddControl(added), kErrInvalidArg) << c.name;
    EXPECT_EQ(Chain(object->GetFirstControl()), std::vector<CDorun*>{held.Get()}) << c.name;
    EXPECT_EQ(held->GetNext(), nullptr) << c.name;
    EXPECT_EQ(fresh->GetObject(), nullptr) << c.name;
    EXPECT_EQ(owner->GetObject(), nullptr) << c.name;
    EXPECT_EQ(elsewhere->GetObject(), other.Get()) << c.name;
    fresh->SetNext(nullptr);
    owner->SetNext(nullptr);
  }
}

TEST_F(DorunTest, AddingAChainThatRunsIntoThisChainClosesNoCycle) {
  // b is in the object's chain; a new controller whose Next is b (as a
  // copy could leave it) must not be appended behind b.
  CPointer<CTestDorun> object(new CTestDorun());
  auto a = Control(u"a"), b = Control(u"b"), n = Control(u"n");
  ASSERT_EQ(object->AddControl(a.Get()), kOk);
  ASSERT_EQ(object->AddControl(b.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(a->CopyTo(n.Get(), displaced, 0), kOk);  // n shares a's Next, b
  n->SetObject(nullptr);
  ASSERT_EQ(n->GetNext(), b.Get());
  EXPECT_EQ(object->AddControl(n.Get()), kErrInvalidArg);
  EXPECT_EQ(Chain(object->GetFirstControl()), (std::vector<CDorun*>{a.Get(), b.Get()}));
  EXPECT_EQ(n->GetObject(), nullptr);
}

TEST_F(DorunTest, AControllerThatHoldsTheObjectCannotJoinItsChains) {
  // x holds y in its chain; y (a controller, so a scene object too) may not
  // take x, nor a chain that contains x, into any chain of its own.
  auto x = Control(u"x"), y = Control(u"y"), z = Control(u"z"), w = Control(u"w");
  ASSERT_EQ(x->AddControl(y.Get()), kOk);
  ASSERT_EQ(y->AddSubObject(z.Get()), kOk);
  EXPECT_EQ(y->AddControl(x.Get()), kErrInvalidArg);
  EXPECT_EQ(z->AddSubObject(x.Get()), kErrInvalidArg);
  ASSERT_EQ(w->SetNext(x.Get()), kOk);
  EXPECT_EQ(z->AddControl(w.Get()), kErrInvalidArg);
  EXPECT_EQ(z->AddControl(z.Get()), kErrInvalidArg);
  EXPECT_EQ(w->GetObject(), nullptr);
  EXPECT_EQ(x->GetObject(), nullptr);
  auto v = Control(u"v");
  ASSERT_EQ(y->AddControl(v.Get()), kOk);
  EXPECT_EQ(y->InsertControl(v.Get(), x.Get()), kErrInvalidArg);
  EXPECT_EQ(Chain(y->GetFirstControl()), std::vector<CDorun*>{v.Get()});
}

// --- InsertControl, RemoveControl ---------------------------------------------------------

TEST_F(DorunTest, InsertControlPutsTheControlBeforeTheAnchor) {
  struct Case {
    int anchor;  // index in the chain a, b, c
    std::vector<const char16_t*> expected;
  };
  const Case cases[] = {{0, {u"n", u"a", u"b", u"c"}}, {1, {u"a", u"n", u"b", u"c"}}, {2, {u"a", u"b", u"n", u"c"}}};
  for (const Case& c : cases) {
    CPointer<CTestDorun> object(new CTestDorun());
    std::vector<CPointer<CTestControl>> chain = {Control(u"a"), Control(u"b"), Control(u"c")};
    for (auto& e : chain) ASSERT_EQ(object->AddControl(e.Get()), kOk);
    auto n = Control(u"n");
    ASSERT_EQ(object->InsertControl(chain[c.anchor].Get(), n.Get()), kOk) << c.anchor;
    std::vector<std::u16string> names;
    for (CDorun* e : Chain(object->GetFirstControl())) names.push_back(e->GetName());
    EXPECT_EQ(names, std::vector<std::u16string>(c.expected.begin(), c.expected.end())) << c.anchor;
    EXPECT_EQ(n->GetObject(), object.Get());
  }
}

TEST_F(DorunTest, InsertControlRefusals) {
  CPointer<CTestDorun> object(new CTestDorun()), other(new CTestDorun());
  auto a = Control(u"a"), b = Control(u"b"), n = Control(u"n"), stray = Control(u"stray");
  auto foreign = Control(u"foreign"), owner = Control(u"owner");
  EXPECT_EQ(object->InsertControl(a.Get(), n.Get()), kErrInvalidArg);  // empty chain
  ASSERT_EQ(object->AddControl(a.Get()), kOk);
  ASSERT_EQ(object->AddControl(b.Get()), kOk);
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(object->InsertControl(nullptr, n.Get()), kErrInvalidArg);
  EXPECT_EQ(object->InsertControl(a.Get(), nullptr), kErrInvalidArg);
  EXPECT_EQ(object->InsertControl(foreign.Get(), n.Get()), kErrInvalidArg);  // anchor bound elsewhere
  EXPECT_EQ(object->InsertControl(a.Get(), b.Get()), kErrInvalidArg);        // already here
  EXPECT_EQ(object->InsertControl(a.Get(), foreign.Get()), kErrInvalidArg);  // bound elsewhere
  ASSERT_EQ(n->AddOwner(owner.Get()), kOk);
  EXPECT_EQ(object->InsertControl(a.Get(), n.Get()), kErrInvalidArg);  // held by a container
  ASSERT_EQ(n->RemoveOwner(owner.Get()), kOk);
  // Bound here but not in the chain.
  ASSERT_EQ(stray->SetObject(object.Get()), kOk);
  EXPECT_EQ(object->InsertControl(stray.Get(), n.Get()), kErrNotFound);
  EXPECT_EQ(Chain(object->GetFirstControl()), (std::vector<CDorun*>{a.Get(), b.Get()}));
  EXPECT_EQ(n->GetObject(), nullptr);
}

TEST_F(DorunTest, RemoveControlUnlinksAndUnbinds) {
  for (int removed = 0; removed < 3; ++removed) {
    CPointer<CTestDorun> object(new CTestDorun());
    std::vector<CPointer<CTestControl>> chain = {Control(u"a"), Control(u"b"), Control(u"c")};
    for (auto& e : chain) ASSERT_EQ(object->AddControl(e.Get()), kOk);
    object->SetModified(false);
    CTestControl* gone = chain[removed].Get();
    ASSERT_EQ(object->RemoveControl(gone), kOk) << removed;
    EXPECT_EQ(gone->GetObject(), nullptr);
    EXPECT_EQ(gone->GetNext(), nullptr);
    EXPECT_TRUE(gone->IsModified());
    std::vector<CDorun*> expected;
    for (int i = 0; i < 3; ++i) {
      if (i != removed) expected.push_back(chain[i].Get());
    }
    EXPECT_EQ(Chain(object->GetFirstControl()), expected) << removed;
    EXPECT_EQ(object->IsModified(), removed == 0) << removed;
  }
}

TEST_F(DorunTest, RemoveControlRefusals) {
  CPointer<CTestDorun> object(new CTestDorun()), other(new CTestDorun());
  auto a = Control(u"a"), foreign = Control(u"foreign"), stray = Control(u"stray");
  EXPECT_EQ(object->RemoveControl(a.Get()), kErrInvalidArg);  // empty chain
  ASSERT_EQ(object->AddControl(a.Get()), kOk);
  ASSERT_EQ(other->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(object->RemoveControl(nullptr), kErrInvalidArg);
  EXPECT_EQ(object->RemoveControl(foreign.Get()), kErrInvalidArg);
  ASSERT_EQ(stray->SetObject(object.Get()), kOk);
  EXPECT_EQ(object->RemoveControl(stray.Get()), kErrNotFound);
  EXPECT_EQ(Chain(object->GetFirstControl()), std::vector<CDorun*>{a.Get()});
}

TEST_F(DorunTest, RemovedControlSurvivesWhenTheChainHeldItsOnlyCount) {
  CPointer<CTestDorun> object(new CTestDorun());
  CTestControl* a = new CTestControl(u"a");
  ASSERT_EQ(object->AddControl(a), kOk);
  CPointer<CTestControl> keep(a);
  EXPECT_EQ(a->GetReferences(), 2u);
  ASSERT_EQ(object->RemoveControl(a), kOk);
  EXPECT_EQ(a->GetReferences(), 1u);
}

// --- sub-objects and custom data ----------------------------------------------------------

TEST_F(DorunTest, SubObjectsAndCustomDataAppend) {
  CPointer<CTestDorun> object(new CTestDorun());
  auto s1 = Control(u"s1"), s2 = Control(u"s2"), bound = Control(u"bound");
  ASSERT_EQ(object->AddSubObject(s1.Get()), kOk);
  ASSERT_EQ(object->AddSubObject(s2.Get()), kOk);
  EXPECT_EQ(Chain(object->GetFirstSubObject()), (std::vector<CDorun*>{s1.Get(), s2.Get()}));
  EXPECT_EQ(s2->GetObject(), object.Get());
  EXPECT_EQ(object->AddSubObject(nullptr), kErrInvalidArg);
  EXPECT_EQ(object->AddSubObject(s1.Get()), kErrInvalidArg);
  ASSERT_EQ(object->AddControl(bound.Get()), kOk);
  EXPECT_EQ(object->AddSubObject(bound.Get()), kErrInvalidArg);

  CPointer<CCustomData> d1(new CCustomData()), d2(new CCustomData());
  EXPECT_EQ(object->AddCustomData(nullptr), kErrInvalidArg);
  ASSERT_EQ(object->AddCustomData(d1.Get()), kOk);
  ASSERT_EQ(object->AddCustomData(d2.Get()), kOk);
  EXPECT_EQ(object->AddCustomData(d1.Get()), kErrInvalidArg);
  EXPECT_EQ(object->AddCustomData(d2.Get()), kErrInvalidArg);
  EXPECT_EQ(object->GetFirstCustomData(), d1.Get());
  EXPECT_EQ(d1->GetNext(), d2.Get());
  EXPECT_EQ(d2->GetNext(), nullptr);
}

// --- search and marking --------------------------------------------------------------------

// An object with controllers c1, c2, sub-objects s1, s2 and custom data d1
// (raw data: the custom-data base itself cannot be cloned).
struct Tree {
  CPointer<CTestDorun> object{new CTestDorun()};
  CPointer<CTestControl> c1{new CTestControl(u"c1")}, c2{new CTestControl(u"c2")};
  CPointer<CTestControl> s1{new CTestControl(u"s1")}, s2{new CTestControl(u"s2")};
  CPointer<CRawData> d1{new CRawData()};
  Tree() {
    object->SetName(u"object");
    d1->SetName(u"d1");
    EXPECT_EQ(object->AddControl(c1.Get()), kOk);
    EXPECT_EQ(object->AddControl(c2.Get()), kOk);
    EXPECT_EQ(object->AddSubObject(s1.Get()), kOk);
    EXPECT_EQ(object->AddSubObject(s2.Get()), kOk);
    EXPECT_EQ(object->AddCustomData(d1.Get()), kOk);
  }
};

TEST_F(DorunTest, FindAndCollectVisitSelfThenTheChainsInOrder) {
  Tree t;
  t.c2->SetName(u"same");
  t.s1->SetName(u"same");
  EXPECT_EQ(t.object->Find(u"object", nullptr, false, false), t.object.Get());
  EXPECT_EQ(t.object->Find(u"same", nullptr, false, false), t.c2.Get());
  EXPECT_EQ(t.object->Find(u"s2", nullptr, false, false), t.s2.Get());
  EXPECT_EQ(t.object->Find(u"d1", nullptr, false, false), t.d1.Get());
  EXPECT_EQ(t.object->Find(u"none", nullptr, false, false), nullptr);
  EXPECT_EQ(t.object->Find(nullptr, &CCustomData::StaticClassRecord(), true, false), t.d1.Get());
  std::vector<CBase*> all;
  t.object->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{t.object.Get(), t.c1.Get(), t.c2.Get(), t.s1.Get(), t.s2.Get(), t.d1.Get()}));
  std::vector<CBase*> same;
  t.object->Collect(same, u"same", nullptr, false, false);
  EXPECT_EQ(same, (std::vector<CBase*>{t.c2.Get(), t.s1.Get()}));
}

TEST_F(DorunTest, UpdateMarkedOrsTheChains) {
  struct Case {
    const char* name;
    int member;  // 0 none, 1 c2, 2 s2, 3 d1, 4 the object
    bool marked;
  };
  const Case cases[] = {{"none", 0, false}, {"controller", 1, true}, {"sub-object", 2, true},
                        {"custom data", 3, true}, {"itself", 4, true}};
  for (const Case& c : cases) {
    Tree t;
    const CBase* members[] = {nullptr, t.c2.Get(), t.s2.Get(), t.d1.Get(), t.object.Get()};
    ObjectSet set;
    if (c.member != 0) set.insert(members[c.member]);
    EXPECT_EQ(t.object->UpdateMarked(set), c.marked) << c.name;
    EXPECT_EQ(t.object->IsMarked(), c.marked) << c.name;
    t.object->ClearMarked();
    for (CBase* o : std::initializer_list<CBase*>{t.object.Get(), t.c1.Get(), t.c2.Get(), t.s1.Get(), t.s2.Get(),
                                                  t.d1.Get()}) {
      EXPECT_FALSE(o->IsMarked()) << c.name;
    }
  }
}

TEST_F(DorunTest, ReferencesAndMembers) {
  struct Recorder : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  };
  Tree t;
  Recorder recorder;
  t.object->EnumReferences(recorder);
  const std::vector<std::pair<CBase*, u32>> expected = {{t.c1.Get(), 1}, {t.d1.Get(), 1}, {t.s1.Get(), 1}};
  EXPECT_EQ(recorder.seen, expected);
  Recorder empty;
  CTestDorun plain;
  plain.EnumReferences(empty);
  EXPECT_EQ(empty.seen, (std::vector<std::pair<CBase*, u32>>{{nullptr, 1}, {nullptr, 1}, {nullptr, 1}}));
  EXPECT_TRUE(t.object->HasSubObjects());
  EXPECT_EQ(t.object->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(t.object->ResolveReferences(t.object.Get()), kOk);

  const std::string text = test::Members(t.object.Get());
  const auto group = text.find("CDorun Member\n");
  ASSERT_NE(group, std::string::npos) << text;
  EXPECT_NE(text.find("Dirty = false\n", group), std::string::npos) << text;
  EXPECT_NE(text.find("DataUpdateDepth = 0\n", group), std::string::npos) << text;
  EXPECT_LT(group, text.find("CBase Member"));
}

// --- depth and update ---------------------------------------------------------------------------

TEST_F(DorunTest, CollectAnimatedTakesObjectsWithADataController) {
  Tree t;
  std::vector<CDorun*> animated;
  EXPECT_EQ(t.object->CollectAnimated(animated), kOk);
  EXPECT_TRUE(animated.empty());
  t.c2->isData = true;
  t.c1->isData = true;
  EXPECT_EQ(t.object->CollectAnimated(animated), kOk);
  EXPECT_EQ(t.object->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, std::vector<CDorun*>{t.object.Get()});
}

TEST_F(DorunTest, DataUpdateDepthIsRecomputedWhenDirty) {
  Tree t;
  t.c1->dataDepth = 3;
  t.c2->dataDepth = 7;
  i32 depth = 2;
  // Not dirty: the cached 0 is used.
  ASSERT_EQ(t.object->GetDataUpdateDepth(nullptr, depth), kOk);
  EXPECT_EQ(depth, 2);
  t.object->SetDirty();
  ASSERT_EQ(t.object->GetDataUpdateDepth(nullptr, depth), kOk);
  EXPECT_EQ(depth, 7);
  EXPECT_FALSE(t.object->IsDirty());
  EXPECT_EQ(t.object->GetCachedDataUpdateDepth(), 7);
  depth = 9;
  ASSERT_EQ(t.object->GetDataUpdateDepth(nullptr, depth), kOk);
  EXPECT_EQ(depth, 9);

  struct Case {
    i32 in;
    i32 out;
  };
  for (const Case& c : {Case{0, 8}, Case{7, 8}, Case{8, 8}, Case{9, 9}, Case{20, 20}}) {
    i32 d = c.in;
    ASSERT_EQ(t.object->RaiseDataUpdateDepth(nullptr, d), kOk);
    EXPECT_EQ(d, c.out) << c.in;
  }

  t.c1->depthResult = kErrNotFound;
  t.object->SetDirty();
  depth = 1;
  EXPECT_EQ(t.object->GetDataUpdateDepth(nullptr, depth), kErrNotFound);
  EXPECT_EQ(depth, 1);
  t.object->SetDirty();
  EXPECT_EQ(t.object->RaiseDataUpdateDepth(nullptr, depth), kErrNotFound);
}

TEST_F(DorunTest, UpdateEvaluatesAndAppliesEachControllerThenTheSubObjects) {
  struct Case {
    const char* name;
    Result c1Update, c1Apply, c2Update, s1Update;
    Result expected;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"all succeed", kOk, kOk, kOk, kOk, kOk, {"U:c1", "A:c1", "U:c2", "A:c2", "U:s1", "U:s2"}},
      {"nothing done still applies", kDone, kOk, kOk, kOk, kOk,
       {"U:c1", "A:c1", "U:c2", "A:c2", "U:s1", "U:s2"}},
      {"update fails", kErrNotFound, kOk, kOk, kOk, kErrNotFound, {"U:c1"}},
      {"apply fails", kOk, kErrStream, kOk, kOk, kErrStream, {"U:c1", "A:c1"}},
      {"second controller fails", kOk, kOk, kErrInvalidArg, kOk, kErrInvalidArg, {"U:c1", "A:c1", "U:c2"}},
      {"sub-object fails", kOk, kOk, kOk, kErrOutOfRange, kErrOutOfRange,
       {"U:c1", "A:c1", "U:c2", "A:c2", "U:s1"}},
  };
  for (const Case& c : cases) {
    Tree t;
    t.c1->updateResult = c.c1Update;
    t.c1->applyResult = c.c1Apply;
    t.c2->updateResult = c.c2Update;
    t.s1->updateResult = c.s1Update;
    t.c1->output = 11;
    t.c2->output = 22;
    test::CallLog().clear();
    EXPECT_EQ(t.object->Update(250), c.expected) << c.name;
    EXPECT_EQ(test::CallLog(), c.log) << c.name;
    EXPECT_EQ(t.c1->lastTime, 250) << c.name;
    // The spatial form runs the same steps and reports success as kOk.
    test::CallLog().clear();
    EXPECT_EQ(t.object->UpdateOk(250), c.expected) << c.name;
    EXPECT_EQ(test::CallLog(), c.log) << c.name;
  }
  Tree t;
  t.c1->output = 11;
  t.c2->output = 22;
  ASSERT_EQ(t.object->Update(40), kOk);
  EXPECT_EQ(t.object->value, 22);  // applied in chain order
  EXPECT_EQ(t.s2->lastTime, 40);
}

// --- clone and copy -------------------------------------------------------------------------------

TEST_F(DorunTest, CloneGivesIndependentChains) {
  Tree t;
  t.object->value = 5;
  t.c2->SetRepeat(CControl::RT_CYCLE);
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(t.object->Clone(out, map, 0), kOk);
  auto* copy = DynamicCast<CTestDorun>(out.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->value, 5);
  const std::vector<CDorun*> controls = Chain(copy->GetFirstControl());
  const std::vector<CDorun*> subs = Chain(copy->GetFirstSubObject());
  ASSERT_EQ(controls.size(), 2u);
  ASSERT_EQ(subs.size(), 2u);
  const CDorun* originals[] = {t.c1.Get(), t.c2.Get(), t.s1.Get(), t.s2.Get()};
  const CDorun* clones[] = {controls[0], controls[1], subs[0], subs[1]};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NE(clones[i], originals[i]);
    EXPECT_EQ(clones[i]->GetName(), originals[i]->GetName());
    EXPECT_EQ(clones[i]->GetBoundObject(), copy);
    EXPECT_EQ(originals[i]->GetBoundObject(), t.object.Get());
  }
  EXPECT_EQ(static_cast<const CControl*>(controls[1])->GetRepeat(), CControl::RT_CYCLE);
  ASSERT_NE(copy->GetFirstCustomData(), nullptr);
  EXPECT_NE(copy->GetFirstCustomData(), t.d1.Get());
  EXPECT_EQ(copy->GetFirstCustomData()->GetName(), u"d1");

  // Changing the clone's chain leaves the original alone.
  ASSERT_EQ(copy->RemoveControl(controls[0]), kOk);
  EXPECT_EQ(Chain(t.object->GetFirstControl()), (std::vector<CDorun*>{t.c1.Get(), t.c2.Get()}));
  // Cloned through the same map again: the earlier clone.
  CPointer<CBase> again;
  EXPECT_EQ(t.object->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), out.Get());
}

TEST_F(DorunTest, CopyToSharesTheHeadsAndDisplacesTheTargetsOwn) {
  Tree source;
  Tree target;
  source.object->SetDirty();
  DisplacedList displaced;
  ASSERT_EQ(source.object->CopyTo(target.object.Get(), displaced, 0), kOk);
  EXPECT_EQ(target.object->GetFirstControl(), source.c1.Get());
  EXPECT_EQ(target.object->GetFirstSubObject(), source.s1.Get());
  EXPECT_EQ(target.object->GetFirstCustomData(), source.d1.Get());
  EXPECT_TRUE(target.object->IsDirty());
  EXPECT_EQ(target.object->GetName(), u"object");
  std::vector<CBase*> former;
  for (const auto& p : displaced) former.push_back(p.Get());
  EXPECT_EQ(former, (std::vector<CBase*>{target.c1.Get(), target.s1.Get(), target.d1.Get()}));
  // The shared elements stay bound to the source; the displaced ones left
  // the target and are free to join another object.
  EXPECT_EQ(source.c2->GetObject(), source.object.Get());
  for (CTestControl* gone : {target.c1.Get(), target.c2.Get(), target.s1.Get(), target.s2.Get()}) {
    EXPECT_EQ(gone->GetObject(), nullptr) << test::Narrow(gone->GetName());
  }
  CPointer<CTestDorun> fresh(new CTestDorun());
  EXPECT_EQ(fresh->AddControl(target.c1.Get()), kOk);

  // Copying onto itself or onto a sharer changes no binding.
  DisplacedList more;
  ASSERT_EQ(source.object->CopyTo(source.object.Get(), more, 0), kOk);
  ASSERT_EQ(source.object->CopyTo(target.object.Get(), more, 0), kOk);
  EXPECT_EQ(source.c1->GetObject(), source.object.Get());
  EXPECT_EQ(source.s2->GetObject(), source.object.Get());
}

TEST_F(DorunTest, CopyToRefusesNullAndOtherKinds) {
  Tree t;
  DisplacedList displaced;
  CPointer<CCustomData> data(new CCustomData());
  EXPECT_EQ(t.object->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  EXPECT_EQ(t.object->CopyTo(data.Get(), displaced, 0), kErrNotFound);
  EXPECT_TRUE(displaced.empty());
}

TEST_F(DorunTest, DestroyedObjectLeavesNoBindingBehind) {
  Tree t;
  DisplacedList displaced;
  CPointer<CTestDorun> sharer(new CTestDorun());
  ASSERT_EQ(t.object->CopyTo(sharer.Get(), displaced, 0), kOk);
  t.object = nullptr;
  // The sharer keeps the chain alive; its elements no longer name the
  // object that went.
  EXPECT_EQ(t.c1->GetObject(), nullptr);
  EXPECT_EQ(t.s2->GetObject(), nullptr);
  EXPECT_EQ(sharer->GetFirstControl(), t.c1.Get());
}

// --- persistence ------------------------------------------------------------------------------------

TEST_F(DorunTest, AllThreeChainsRoundTripThroughAFile) {
  Tree t;
  t.object->value = -17;
  CPointer<CCustomData> d2(new CCustomData());
  d2->SetName(u"d2");
  ASSERT_EQ(t.object->AddCustomData(d2.Get()), kOk);
  EXPECT_EQ(t.object->GetSaveSize(), 10u + 2 * 6 + 28 + 32 + 12);

  const Bytes first = test::SaveRoots({t.object.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(t.object.Get()));
  const std::vector<CDorun*> controls = Chain(loaded->GetFirstControl());
  const std::vector<CDorun*> subs = Chain(loaded->GetFirstSubObject());
  ASSERT_EQ(controls.size(), 2u);
  ASSERT_EQ(subs.size(), 2u);
  const std::vector<CBase*> originals = {t.c1.Get(), t.c2.Get(), t.s1.Get(), t.s2.Get()};
  const std::vector<CDorun*> copies = {controls[0], controls[1], subs[0], subs[1]};
  for (std::size_t i = 0; i < copies.size(); ++i) {
    EXPECT_EQ(test::Members(copies[i]), test::Members(originals[i]));
    EXPECT_EQ(copies[i]->GetBoundObject(), loaded);
  }
  ASSERT_NE(loaded->GetFirstCustomData(), nullptr);
  EXPECT_EQ(loaded->GetFirstCustomData()->GetName(), u"d1");
  ASSERT_NE(loaded->GetFirstCustomData()->GetNext(), nullptr);
  EXPECT_EQ(loaded->GetFirstCustomData()->GetNext()->GetName(), u"d2");

  const Bytes again = test::SaveLoaded(stream);
  EXPECT_EQ(test::RenumberIds(again), test::RenumberIds(first));
}

// The object record (id 0x10) in each stored version of its CDorun part,
// with a controller 0x20, a sub-object controller 0x30 and custom data 0x40.
Bytes ObjectFileOfVersion(u32 major, u32 minor) {
  ByteWriter body;
  test::BasePart(body, 0x10);
  body.Pair(major, minor);
  const u32 version = major * 100 + minor;
  if (version >= 201) {
    body.U64(0x20).U64(0x30).U64(0x40);
  } else if (version >= 101) {
    body.U32(0x20).U32(0x30).U32(0x40);
  } else {
    body.U32(0x20);
  }
  body.Pair(1, 0).I32(1234);
  test::ControlFields control, sub;
  control.object = 0x10;
  sub.object = 0x10;
  return test::SceneImage()
      .Record("CTestDorun", body, true)
      .Record("CTestControl", test::TestControlBody(0x20, control))
      .Record("CTestControl", test::TestControlBody(0x30, sub))
      .Record("CCustomData", test::CustomDataBody(0x40, 0))
      .Data();
}

TEST_F(DorunTest, EveryStoredVersionLoads) {
  struct Case {
    u32 major, minor;
    bool allChains;
  };
  for (const Case& c : {Case{1, 0, false}, Case{1, 1, true}, Case{2, 0, true}, Case{2, 1, true}}) {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(ObjectFileOfVersion(c.major, c.minor), stream, device), kOk) << c.major << c.minor;
    auto* object = DynamicCast<CTestDorun>(stream.GetRootObject(0));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->value, 1234) << c.major << c.minor;
    ASSERT_NE(object->GetFirstControl(), nullptr);
    EXPECT_EQ(object->GetFirstControl()->GetBoundObject(), object);
    EXPECT_EQ(object->GetFirstSubObject() != nullptr, c.allChains) << c.major << c.minor;
    EXPECT_EQ(object->GetFirstCustomData() != nullptr, c.allChains) << c.major << c.minor;
    // Without the sub-object chain, the controller that names the object
    // as its own is not held by it and is unbound.
    auto* stray = DynamicCast<CControl>(stream.GetLoadedObjects()[2].Get());
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(stray->GetObject(), c.allChains ? object : nullptr) << c.major << c.minor;
  }
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(ObjectFileOfVersion(2, 2), stream, device), kErrNewerVersion);
}

TEST_F(DorunTest, EveryPrefixFailsCleanlyOrLoads) {
  Tree t;
  const Bytes full = test::SaveRoots({t.object.Get()});
  std::vector<Bytes> files = {full};
  for (u32 minor : {0u, 1u}) files.push_back(ObjectFileOfVersion(1, minor));
  for (const Bytes& bytes : files) {
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

TEST_F(DorunTest, ChainHeadsOfTheWrongKindStayEmpty) {
  // The control head names a plain object, the custom-data head a
  // controller: neither is taken.
  const Bytes bytes = test::SceneImage()
                          .Record("CTestDorun", test::TestDorunBody(0x10, 0x50, 0x40, 0x20), true)
                          .Record("CTestControl", test::TestControlBody(0x20, {}), true)
                          .Record("CCustomData", test::CustomDataBody(0x40, 0), true)
                          .Record("CTestDorun", test::TestDorunBody(0x50, 0), true)
                          .Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* object = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  EXPECT_EQ(object->GetFirstControl(), nullptr);
  EXPECT_EQ(object->GetFirstSubObject(), nullptr);
  EXPECT_EQ(object->GetFirstCustomData(), nullptr);
}

TEST_F(DorunTest, ChainsThatLeadBackToTheirObjectAreRefused) {
  // Controllers are scene objects too, so a controller's own chains can
  // lead back to it.
  struct Record {
    u64 id;
    u64 controls;
    u64 subObjects;
    u64 next;
  };
  struct Case {
    const char* name;
    std::vector<Record> records;
  };
  const Case cases[] = {
      {"control chain is itself", {{0x20, 0x20, 0, 0}}},
      {"sub-object chain is itself", {{0x20, 0, 0x20, 0}}},
      {"control chain leads back", {{0x20, 0x30, 0, 0}, {0x30, 0, 0, 0x20}}},
      {"through two objects", {{0x20, 0x30, 0, 0}, {0x30, 0, 0x20, 0}}},
      // 0x30 is held by 0x10 and by 0x20 (linked before 0x30's own chain),
      // and 0x30's chain leads back to 0x20.
      {"through a shared chain", {{0x10, 0x30, 0, 0}, {0x20, 0, 0x30, 0}, {0x30, 0x20, 0, 0}}},
      {"through a shared chain and a Next", {{0x10, 0, 0x30, 0}, {0x20, 0, 0, 0x30}, {0x30, 0, 0x20, 0}}},
  };
  for (const Case& c : cases) {
    test::SceneImage image;
    for (const Record& r : c.records) {
      test::ControlFields f;
      f.next = r.next;
      image.Record("CTestControl", test::TestControlBody(r.id, f, r.controls, r.subObjects), true);
    }
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(image.Data(), stream, device), kErrNotFound) << c.name;
  }
}

}  // namespace
}  // namespace KT
