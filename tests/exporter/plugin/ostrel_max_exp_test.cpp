#include "exporter/plugin/ostrel_max_exp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "exporter/plugin/dlg_valid.h"
#include "exporter/plugin/get_morph_node.h"
#include "exporter/plugin/ostrel_max_exp_class_desc.h"
#include "platform/call_record.h"
#include "platform/host/plugin_runner.h"
#include "platform/host/scene_builder.h"
#include "platform/ui/ui_script.h"

namespace {

TEST(OstrelMaxExp, AnswersTheHostsQuestions) {
  OstrelMaxExp exporter;
  const struct {
    int index;
    std::string ext;
  } exts[] = {{0, "zAvatar"}, {1, "zMotion"}, {2, "zFace"}, {3, ""}, {-1, ""}};
  for (const auto& e : exts) EXPECT_EQ(std::string(exporter.Ext(e.index)), e.ext) << e.index;
  EXPECT_EQ(exporter.ExtCount(), 3);
  EXPECT_STREQ(exporter.LongDesc(), "Quenstrale Ostrel5 File");
  EXPECT_STREQ(exporter.ShortDesc(), "Ostrel5 File");
  EXPECT_STREQ(exporter.CopyrightMessage(), "Quenstrale Ostrel5 File");
  EXPECT_STREQ(exporter.AuthorName(), kOstrelMaxExpAuthor);
  EXPECT_STREQ(exporter.OtherMessage1(), "");
  EXPECT_STREQ(exporter.OtherMessage2(), "");
  EXPECT_EQ(exporter.Version(), 500u);
  for (int ext = -1; ext < 4; ++ext) EXPECT_EQ(exporter.SupportsOptions(ext, 0xFFFFFFFFu), TRUE);
}

TEST(OstrelMaxExp, EntryPointsAndClassDescriptor) {
  EXPECT_STREQ(LibDescription(), "Ostrel5MaxExp");
  EXPECT_EQ(LibNumberClasses(), 1);
  EXPECT_EQ(LibVersion(), 0x2EE02100u);
  EXPECT_EQ(LibClassDesc(1), nullptr);
  EXPECT_EQ(LibClassDesc(-1), nullptr);
  ClassDesc2* desc = LibClassDesc(0);
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc, LibClassDesc(0));
  EXPECT_EQ(desc->IsPublic(), 1);
  EXPECT_STREQ(desc->ClassName(), "Ostrel5MaxExp");
  EXPECT_STREQ(desc->InternalName(), "Ostrel5MaxExp");
  EXPECT_STREQ(desc->Category(), "");
  EXPECT_EQ(desc->SuperClassID(), 0xA20u);
  EXPECT_EQ(desc->ClassID(), Class_ID(0x738045FF, 0x397B108A));
  EXPECT_EQ(desc->OkToCreate(nullptr), TRUE);
  EXPECT_EQ(desc->HInstance(), nullptr);
  std::unique_ptr<SceneExport> made(static_cast<SceneExport*>(desc->Create(FALSE)));
  ASSERT_NE(dynamic_cast<OstrelMaxExp*>(made.get()), nullptr);
}

TEST(OstrelMaxExp, TheHostLoadsThePluginAndRunsItsExporter) {
  KT::Platform::ClearPlatformCalls();
  KT::Host::SceneBuilder b;
  b.AddNode("Box");
  std::unique_ptr<KT::Host::HostScene> scene = b.Make();
  ASSERT_NE(scene, nullptr);
  KT::Host::PluginRunLog log;
  ASSERT_TRUE(KT::Host::RunPluginExport(*scene, OstrelMaxExpEntryPoints(), "/out/a.zAvatar", TRUE, 0, log));
  EXPECT_EQ(log.loaded, TRUE);
  EXPECT_EQ(log.description, "Ostrel5MaxExp");
  EXPECT_EQ(log.classCount, 1);
  EXPECT_EQ(log.version, 0x2EE02100u);
  EXPECT_EQ(log.exportersRun, 1);
  EXPECT_EQ(log.answers, std::vector<int>{TRUE});
  // The application object starts before any entry point is called: the
  // host's custom controls first, then the common controls.
  EXPECT_EQ(KT::Platform::PlatformCalls(),
            (std::vector<std::string>{"InitCustomControls", "InitCommonControls", "CWinApp::InitInstance",
                                      "CWinApp::ExitInstance"}));
  EXPECT_EQ(scene->CustomControlsInitialised(), 1);
}

TEST(DlgValid, PutsItsTwoTextsIntoTheEdits) {
  UiScript::Current().Clear();
  CDlgValid dialog;
  dialog.criticalErrors = "KT_Head is missing.\r\n";
  dialog.warnings = "KT_Hair has no skin.\r\n";
  UiScript::Current().Click(IDOK);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.ResourceId(), 112);
  EXPECT_EQ(dialog.GetDlgItemText(1077), "KT_Head is missing.\r\n");
  EXPECT_EQ(dialog.GetDlgItemText(1074), "KT_Hair has no skin.\r\n");
  ASSERT_NE(FindDialogResource(112), nullptr);
  EXPECT_STREQ(FindDialogResource(112)->caption, "Data Validation");
  UiScript::Current().Clear();
}

TEST(GetMorphNode, ARightClickEndsThePickingAndTheFilterIsItsOwn) {
  GetMorphNode pick;
  EXPECT_EQ(pick.RightClick(nullptr, nullptr), TRUE);
  EXPECT_EQ(pick.GetFilter(), static_cast<PickNodeCallback*>(&pick));
  EXPECT_EQ(pick.Filter(nullptr), FALSE);
}

}  // namespace
