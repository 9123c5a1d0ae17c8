#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/core/mesh_sel_control.h"
#include "exporter/plugin/max_drn.h"
#include "tests/exporter/convert/modifier_fixtures.h"

namespace {

using KT::Host::HostScene;
using KT::Host::ModifierDesc;
using KT::Host::ModifierKind;
using KT::Host::SelectionSetDesc;

std::unique_ptr<HostScene> SelectionScene(std::vector<SelectionSetDesc> sets) {
  ModifierDesc select;
  select.kind = ModifierKind::kMeshSelect;
  select.sets = std::move(sets);
  return fixtures::OneMeshScene("Head", select);
}

std::vector<int> SetBits(const KT::CBitArray& bits) {
  std::vector<int> out;
  for (int i = 0; i < bits.GetBitCount(); ++i)
    if (bits.GetBit(i)) out.push_back(i);
  return out;
}

std::vector<KT::CMeshSelControl*> Export(const std::vector<SelectionSetDesc>& sets, KT::CTriMesh& mesh) {
  auto scene = SelectionScene(sets);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.ExportSelectionSets(&mesh, scene->NodeAt(0), 0, fixtures::ModifierOf(*scene, 0, 0),
                              fixtures::ContextOf(*scene, 0, 0));
  return fixtures::ControlsOf<KT::CMeshSelControl>(mesh);
}

struct Expected {
  std::u16string name;
  int bitCount;
  std::vector<int> bits;
};

TEST(SelectionSetExport, EachNonEmptySetInTheHostsOrder) {
  struct Case {
    const char* what;
    std::vector<SelectionSetDesc> sets;
    std::vector<Expected> controls;
  };
  const std::vector<Case> cases = {
      {"an empty set is passed over", {{"A", 8, {0, 5}}, {"B", 8, {}}}, {{u"A", 8, {0, 5}}}},
      {"a set beyond one word keeps its last bit", {{"Wide", 40, {39}}}, {{u"Wide", 40, {39}}}},
      {"a set of exactly one word", {{"Word", 32, {0, 31}}}, {{u"Word", 32, {0, 31}}}},
      {"an empty wide set is passed over too", {{"None", 40, {}}, {"Bits", 33, {1, 32}}}, {{u"Bits", 33, {1, 32}}}},
      {"order follows the host list", {{"Z", 4, {3}}, {"M", 4, {1}}, {"A", 4, {0}}},
       {{u"Z", 4, {3}}, {u"M", 4, {1}}, {u"A", 4, {0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(nullptr, u"Head", 3);
    const auto controls = Export(c.sets, *mesh);
    ASSERT_EQ(controls.size(), c.controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
      EXPECT_EQ(controls[i]->GetName(), c.controls[i].name);
      EXPECT_EQ(controls[i]->GetXYZSelBit().GetBitCount(), c.controls[i].bitCount);
      EXPECT_EQ(SetBits(controls[i]->GetXYZSelBit()), c.controls[i].bits);
      EXPECT_TRUE(controls[i]->IsModified());
      EXPECT_EQ(controls[i]->GetObject(), mesh.Get());
    }
  }
}

TEST(SelectionSetExport, NothingWithoutModifierContextOrLocalData) {
  auto scene = SelectionScene({{"A", 8, {0}}});
  CMaxDrn context(scene.get(), scene.get(), false);
  KT::CPointer<KT::CTriMesh> mesh = fixtures::MakeMesh(nullptr, u"Head", 3);
  Modifier* mod = fixtures::ModifierOf(*scene, 0, 0);
  ModContext empty;
  context.ExportSelectionSets(mesh.Get(), scene->NodeAt(0), 0, mod, nullptr);
  context.ExportSelectionSets(mesh.Get(), scene->NodeAt(0), 0, nullptr, fixtures::ContextOf(*scene, 0, 0));
  context.ExportSelectionSets(mesh.Get(), scene->NodeAt(0), 0, mod, &empty);
  EXPECT_EQ(mesh->GetFirstControl(), nullptr);
}

}  // namespace
