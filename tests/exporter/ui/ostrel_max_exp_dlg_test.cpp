#include "exporter/ui/ostrel_max_exp_dlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "exporter/ui/ostrel_max_exp_opt_dlg.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/file_dialog.h"
#include "ui_fixtures.h"

namespace {

using KT::Host::SceneBuilder;
using KT::Testing::StoredProperties;
using Panel = COstrelMaxExpDlg;
using Clip = COstrelMaxExpClipDlg;

// What a new scene holds after the panel was opened and confirmed.
std::vector<std::string> Defaults() {
  return {"Ostrel3_Type=13",
          "Ostrel3_IsOptimize=0",
          "Ostrel3_IsBiped=0",
          "Ostrel3_IsHandOnly=0",
          "Ostrel3_OptimizeValue=\"1_0.000_0.000_0.000_0.000\"",
          "Ostrel3_Thumbnail=0",
          "Ostrel3_ThumbFile=\"\"",
          "Ostrel3_Info_Author=\"Quenstrale\"",
          "Ostrel3_Info_Company=\"Quenstrale\"",
          "Ostrel3_Info_Email=\"\"",
          "Ostrel3_Info_HomePage=\"https://www.quenstrale.example/\"",
          "Ostrel3_TextureIndex=1",
          "Ostrel3_TextureSize=3",
          "Ostrel_G5_Human_ExpOpt=1",
          "Ostrel_G5_Human_MClip=\"\""};
}

// The defaults with some values replaced ("key=value" lines) and some keys
// left out.
std::vector<std::string> DefaultsWith(const std::vector<std::string>& changed, const std::vector<std::string>& dropped = {}) {
  std::vector<std::string> out;
  for (const std::string& line : Defaults()) {
    const std::string key = line.substr(0, line.find('='));
    bool drop = false;
    for (const std::string& d : dropped) drop = drop || d == key;
    if (drop) continue;
    std::string kept = line;
    for (const std::string& c : changed)
      if (c.substr(0, c.find('=')) == key) kept = c;
    out.push_back(kept);
  }
  return out;
}

CRect RectOf(const CWnd* w) {
  CRect r;
  w->GetWindowRect(&r);
  return r;
}

// One scripted run of the panel on a scene: the stored properties, the
// user's actions (given the panel, so that a step can look at it), the
// answer of DoModal, the properties afterwards ("as before" when empty) and
// what else must hold.
struct PanelRun {
  const char* name;
  std::function<void(SceneBuilder&)> stored;
  std::function<void(UiScript&, Panel&)> script;
  int result;
  std::vector<std::string> written;
  std::function<void(const Panel&)> check;
};

class PanelRuns : public KT::Testing::UiTest {};

TEST_F(PanelRuns, Table) {
  const PanelRun runs[] = {
      {"a new scene confirmed writes the defaults in order", nullptr,
       [](UiScript& s, Panel&) { s.Click(IDOK); }, IDOK, Defaults(),
       [](const Panel& p) {
         EXPECT_EQ(p.settings.contentType, 13);
         EXPECT_EQ(p.exportOption, 1u);
         EXPECT_EQ(p.GetExportPath(), "/out/Hero.zAvatar");
         EXPECT_EQ(p.currentOption, nullptr);  // closed at OK
       }},
      {"a stored type 7 opens as the standard character with its option dialog",
       [](SceneBuilder& b) { b.IntProperty(u"Ostrel3_Type", 7); },
       [](UiScript& s, Panel& p) {
         s.Call([&p] {
           auto* types = dynamic_cast<CComboBox*>(p.GetDlgItem(Panel::kFileType));
           EXPECT_EQ(types->GetCount(), 2);
           EXPECT_EQ(types->GetCurSel(), 0);
           EXPECT_EQ(types->GetLBText(0), "G5 Standard Character");
           ASSERT_NE(p.currentOption, nullptr);
           EXPECT_TRUE(p.currentOption->IsWindowVisible());
           EXPECT_EQ(p.currentOption->contentType, 13);
         });
         s.Click(IDOK);
       },
       IDOK, Defaults(), nullptr},
      {"a stored 14 opens as G5 Face without option dialog",
       [](SceneBuilder& b) { b.IntProperty(u"Ostrel3_Type", 14); },
       [](UiScript& s, Panel& p) {
         s.Call([&p] {
           EXPECT_EQ(dynamic_cast<CComboBox*>(p.GetDlgItem(Panel::kFileType))->GetCurSel(), 1);
           EXPECT_EQ(p.currentOption, nullptr);
           EXPECT_EQ(RectOf(&p).Width(), p.baseWidth);
         });
         s.Click(IDOK);
       },
       IDOK, DefaultsWith({"Ostrel3_Type=14"}, {"Ostrel_G5_Human_ExpOpt", "Ostrel_G5_Human_MClip"}),
       [](const Panel& p) { EXPECT_EQ(p.GetExportPath(), "/out/Hero.zFace"); }},
      {"switching 13 to 14 hides the option dialog, which OK still reads", nullptr,
       [](UiScript& s, Panel& p) {
         s.Click(Clip::kAnimationOnly).Select(Panel::kFileType, 1);
         s.Call([&p] {
           Clip* option = p.OptionDialog(13);
           ASSERT_NE(option, nullptr);
           EXPECT_EQ(p.currentOption, option);
           EXPECT_FALSE(option->IsWindowVisible());
           EXPECT_EQ(RectOf(&p).Width(), p.baseWidth);
           EXPECT_EQ(RectOf(p.GetDlgItem(IDOK)).TopLeft(), p.okPosition);
         });
         s.Click(Clip::kNew);  // out of reach: the dialog is hidden
         s.Click(IDOK);
       },
       IDOK, DefaultsWith({"Ostrel3_Type=14", "Ostrel_G5_Human_ExpOpt=2"}),
       [](const Panel& p) {
         EXPECT_EQ(p.exportOption, 2u);
         EXPECT_EQ(p.GetExportPath(), "/out/Hero.zFace");
       }},
      {"animation only makes the standard character a motion", nullptr,
       [](UiScript& s, Panel&) { s.Click(Clip::kAnimationOnly).Click(Clip::kNew).Click(IDOK); }, IDOK,
       DefaultsWith({"Ostrel_G5_Human_ExpOpt=2", "Ostrel_G5_Human_MClip=\"DefaultClip01&#%0 to 100*;@\""}),
       [](const Panel& p) { EXPECT_EQ(p.GetExportPath(), "/out/Hero.zMotion"); }},
      {"dropping down the texture list turns the limit on", nullptr,
       [](UiScript& s, Panel& p) {
         s.Click(Panel::kNoLimit);
         // The panel disables the list with the limit off; the rule holds
         // for a list that a user can open there all the same.
         s.Call([&p] { p.GetDlgItem(Panel::kTextureSize)->EnableWindow(TRUE); });
         s.DropDown(Panel::kTextureSize);
         s.Call([&p] {
           EXPECT_EQ(p.IsDlgButtonChecked(Panel::kMaximumTextureSize), 1);
           EXPECT_EQ(p.IsDlgButtonChecked(Panel::kNoLimit), 0);
         });
         s.Click(IDOK);
       },
       IDOK, Defaults(), nullptr},
      {"no limit, and a disabled list cannot be dropped down", nullptr,
       [](UiScript& s, Panel&) { s.Click(Panel::kNoLimit).DropDown(Panel::kTextureSize).Click(IDOK); }, IDOK,
       DefaultsWith({"Ostrel3_TextureIndex=0"}), nullptr},
      {"a texture size chosen from the list", nullptr,
       [](UiScript& s, Panel& p) {
         s.Call([&p] {
           auto* sizes = dynamic_cast<CComboBox*>(p.GetDlgItem(Panel::kTextureSize));
           EXPECT_EQ(sizes->GetLBText(0), "4096x4096");
           EXPECT_EQ(sizes->GetLBText(4), "256x256");
           EXPECT_EQ(sizes->GetCurSel(), 3);
         });
         s.Select(Panel::kTextureSize, 1).Click(IDOK);
       },
       IDOK, DefaultsWith({"Ostrel3_TextureSize=1"}), nullptr},
      {"Cancel after edits writes nothing",
       [](SceneBuilder& b) { b.IntProperty(u"Ostrel3_Type", 14).StringProperty(u"Ostrel3_Info_Author", "Ann"); },
       [](UiScript& s, Panel&) {
         s.SetText(Panel::kAuthor, "Bob").Select(Panel::kFileType, 0).Click(Panel::kOptimiseCheck);
         s.Click(Clip::kAnimationOnly).Click(IDCANCEL);
       },
       IDCANCEL, {}, [](const Panel& p) { EXPECT_EQ(p.currentOption, nullptr); }},
      {"a script that runs out cancels", nullptr, [](UiScript& s, Panel&) { s.SetText(Panel::kAuthor, "Bob"); },
       IDCANCEL, {}, nullptr},
      {"a folder without a separator gets a backslash", nullptr,
       [](UiScript& s, Panel&) { s.SetText(Panel::kExportTo, "/out").SetText(Panel::kFileName, "Body").Click(IDOK); },
       IDOK, Defaults(), [](const Panel& p) { EXPECT_EQ(p.GetExportPath(), "/out\\Body.zAvatar"); }},
      {"the folder browser's choice", nullptr,
       [](UiScript& s, Panel&) { s.Click(Panel::kBrowse).Answer("/exports").Click(IDOK); }, IDOK, Defaults(),
       [](const Panel& p) {
         EXPECT_EQ(p.GetExportPath(), "/exports\\Hero.zAvatar");
         ASSERT_EQ(UiScript::Current().Dialogs().size(), 1u);
         const RecordedDialog& d = UiScript::Current().Dialogs()[0];
         EXPECT_EQ(d.kind, RecordedDialog::Kind::kFolder);
         EXPECT_EQ(d.text, "Select the folder to export into");
         EXPECT_EQ(d.flags, BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE);
       }},
      {"a cancelled folder browser changes nothing", nullptr,
       [](UiScript& s, Panel&) { s.Click(Panel::kBrowse).Click(IDOK); }, IDOK, Defaults(),
       [](const Panel& p) { EXPECT_EQ(p.GetExportPath(), "/out/Hero.zAvatar"); }},
      {"an assigned thumbnail", nullptr,
       [](UiScript& s, Panel& p) {
         s.Click(Panel::kOpen);  // disabled in automatic mode
         s.Click(Panel::kAssignThumbnail).Click(Panel::kOpen).Answer("/pics/face.jpg");
         s.Call([&p] {
           EXPECT_TRUE(p.GetDlgItem(Panel::kThumbnailFile)->IsWindowEnabled());
           EXPECT_EQ(p.IsDlgButtonChecked(Panel::kAutoGenerate), 0);
         });
         s.Click(IDOK);
       },
       IDOK, DefaultsWith({"Ostrel3_Thumbnail=1", "Ostrel3_ThumbFile=\"/pics/face.jpg\""}),
       [](const Panel&) {
         ASSERT_EQ(UiScript::Current().Dialogs().size(), 1u);
         const RecordedDialog& d = UiScript::Current().Dialogs()[0];
         EXPECT_EQ(d.kind, RecordedDialog::Kind::kOpen);
         EXPECT_EQ(d.text, "Image File (*.bmp, *.gif, *.jpg)|*.bmp;*.gif;*.jpg||");
         EXPECT_EQ(d.defaultExt, "jpg");
         EXPECT_EQ(d.flags, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
       }},
      {"a stored assigned thumbnail shows its file",
       [](SceneBuilder& b) { b.IntProperty(u"Ostrel3_Thumbnail", 1).StringProperty(u"Ostrel3_ThumbFile", "/t.bmp"); },
       [](UiScript& s, Panel&) { s.Click(IDOK); }, IDOK,
       {"Ostrel3_Thumbnail=1", "Ostrel3_ThumbFile=\"/t.bmp\"", "Ostrel3_Type=13", "Ostrel3_IsOptimize=0",
        "Ostrel3_IsBiped=0", "Ostrel3_IsHandOnly=0", "Ostrel3_OptimizeValue=\"1_0.000_0.000_0.000_0.000\"",
        "Ostrel3_Info_Author=\"Quenstrale\"", "Ostrel3_Info_Company=\"Quenstrale\"", "Ostrel3_Info_Email=\"\"",
        "Ostrel3_Info_HomePage=\"https://www.quenstrale.example/\"", "Ostrel3_TextureIndex=1",
        "Ostrel3_TextureSize=3", "Ostrel_G5_Human_ExpOpt=1", "Ostrel_G5_Human_MClip=\"\""},
       nullptr},
      {"optimisation options through the nested dialog", nullptr,
       [](UiScript& s, Panel& p) {
         s.Click(Panel::kOptimize);  // disabled until optimisation is checked
         s.Click(Panel::kOptimiseCheck).Click(Panel::kOptimize);
         s.SetText(COstrelMaxExpOptDlg::kSampleRateEdit, "7").SetText(1058, "0.25").Click(IDOK);
         s.Call([&p] { EXPECT_EQ(p.settings.sampleRate, 7); });
         s.Click(IDOK);
       },
       IDOK, DefaultsWith({"Ostrel3_IsOptimize=1", "Ostrel3_OptimizeValue=\"7_0.250_0.000_0.000_0.000\""}), nullptr},
      {"a cancelled optimisation dialog keeps the values",
       [](SceneBuilder& b) { b.IntProperty(u"Ostrel3_IsOptimize", 1); },
       [](UiScript& s, Panel&) {
         s.Click(Panel::kOptimize).SetText(COstrelMaxExpOptDlg::kSampleRateEdit, "7").Escape().Click(IDOK);
       },
       IDOK,
       {"Ostrel3_IsOptimize=1", "Ostrel3_Type=13", "Ostrel3_IsBiped=0", "Ostrel3_IsHandOnly=0",
        "Ostrel3_OptimizeValue=\"1_0.000_0.000_0.000_0.000\"", "Ostrel3_Thumbnail=0", "Ostrel3_ThumbFile=\"\"",
        "Ostrel3_Info_Author=\"Quenstrale\"", "Ostrel3_Info_Company=\"Quenstrale\"", "Ostrel3_Info_Email=\"\"",
        "Ostrel3_Info_HomePage=\"https://www.quenstrale.example/\"", "Ostrel3_TextureIndex=1",
        "Ostrel3_TextureSize=3", "Ostrel_G5_Human_ExpOpt=1", "Ostrel_G5_Human_MClip=\"\""},
       nullptr},
      {"information typed is cut to 255 characters", nullptr,
       [](UiScript& s, Panel&) {
         s.SetText(Panel::kEmail, std::string(300, 'e')).SetText(Panel::kAuthor, "").Click(IDOK);
       },
       IDOK,
       DefaultsWith({"Ostrel3_Info_Email=\"" + std::string(255, 'e') + "\"", "Ostrel3_Info_Author=\"\""}), nullptr},
      {"Enter in the panel confirms it", nullptr, [](UiScript& s, Panel&) { s.Focus(Panel::kFileName).Enter(); },
       IDOK, Defaults(), nullptr},
      {"Escape in the panel cancels it", nullptr, [](UiScript& s, Panel&) { s.Escape(); }, IDCANCEL, {}, nullptr},
  };
  for (const PanelRun& run : runs) {
    SCOPED_TRACE(run.name);
    UiScript::Current().Clear();
    SceneBuilder b = Frames0To100();
    if (run.stored) run.stored(b);
    KT::Host::HostScene& scene = Open(b);
    const std::vector<std::string> before = StoredProperties(scene);
    Panel panel(&scene, "/out/", "Hero");
    run.script(Script(), panel);
    EXPECT_EQ(panel.DoModal(), run.result);
    EXPECT_EQ(StoredProperties(scene), run.written.empty() ? before : run.written);
    if (run.check) run.check(panel);
    EXPECT_TRUE(Script().Empty());
  }
}

class PanelLayout : public KT::Testing::UiTest {};

TEST_F(PanelLayout, OpensLeftOfCentreAndDocksTheOptionDialogAtItsBaseWidth) {
  SceneBuilder b = Frames0To100();
  KT::Host::HostScene& scene = Open(b);
  Panel panel(&scene, "/out/", "Hero");
  Script().Call([&panel] {
    EXPECT_EQ(panel.GetWindowText(), "Quenstrale Ostrel Panel");
    EXPECT_EQ(panel.baseWidth, 360);
    EXPECT_EQ(panel.baseHeight, 472);
    EXPECT_EQ(panel.okPosition, (CPoint{190, 440}));
    EXPECT_EQ(panel.cancelPosition, (CPoint{270, 440}));
    // Centred on a 1024 x 768 screen, then 220 pixels left; widened by the
    // option dialog's 310 pixels.
    EXPECT_EQ(RectOf(&panel), (CRect{112, 148, 782, 620}));
    ASSERT_NE(panel.currentOption, nullptr);
    EXPECT_EQ(RectOf(panel.currentOption), (CRect{360, 0, 670, 472}));
    EXPECT_EQ(RectOf(panel.GetDlgItem(IDOK)), (CRect{500, 440, 570, 462}));
    EXPECT_EQ(RectOf(panel.GetDlgItem(IDCANCEL)), (CRect{580, 440, 650, 462}));
    EXPECT_FALSE(panel.GetDlgItem(Panel::kBiped)->IsWindowEnabled());
    EXPECT_FALSE(panel.GetDlgItem(Panel::kHandOnly)->IsWindowEnabled());
  });
  Script().Select(Panel::kFileType, 1).Call([&panel] {
    EXPECT_EQ(RectOf(&panel), (CRect{112, 148, 472, 620}));
    EXPECT_EQ(RectOf(panel.GetDlgItem(IDOK)), (CRect{190, 440, 260, 462}));
  });
  // Back to 13: the same dialog again, shown and docked.
  Script().Select(Panel::kFileType, 0).Call([&panel] {
    EXPECT_TRUE(panel.currentOption->IsWindowVisible());
    EXPECT_EQ(RectOf(&panel).Width(), 670);
  });
  EXPECT_EQ(panel.DoModal(), IDCANCEL);
}

TEST_F(PanelLayout, TheOptionDialogsOfTheOtherTypesAndTheirBipedSwitches) {
  SceneBuilder b = Frames0To100();
  KT::Host::HostScene& scene = Open(b);
  Panel panel(&scene, "/out/", "Hero");
  Script().Call([&panel] {
    Clip* first = panel.currentOption;
    for (const int type : {2, 3, 4, 5}) {
      ASSERT_TRUE(panel.ShowOptionDialogForType(type));
      EXPECT_FALSE(first->IsWindowVisible());
      EXPECT_EQ(panel.currentOption, panel.OptionDialog(type));
      EXPECT_EQ(panel.currentOption->offersExportOption, type != 2);
      EXPECT_EQ(panel.GetDlgItem(Panel::kBiped)->IsWindowEnabled(), type == 2 ? TRUE : FALSE);
      EXPECT_EQ(panel.GetDlgItem(Panel::kHandOnly)->IsWindowEnabled(), type == 2 ? TRUE : FALSE);
    }
    EXPECT_FALSE(panel.ShowOptionDialogForType(14));
    EXPECT_EQ(panel.OptionDialog(14), nullptr);
    panel.settings.contentType = 2;
    ASSERT_TRUE(panel.ShowOptionDialogForType(2));
  });
  Script().Click(IDOK);
  ASSERT_EQ(panel.DoModal(), IDOK);
  // Every dialog that was made writes its keys, in the order 2, 13, 3, 4, 5.
  const std::vector<std::string> all = StoredProperties(scene);
  const std::vector<std::string> options(all.begin() + 13, all.end());
  EXPECT_EQ(options, (std::vector<std::string>{"Ostrel3_CharAnimation_MClip=\"\"", "Ostrel_G5_Human_ExpOpt=1",
                                               "Ostrel_G5_Human_MClip=\"\"", "Ostrel3_NonHuman_ExpOpt=1",
                                               "Ostrel3_NonHuman_MClip=\"\"", "Ostrel3_Acces_ExpOpt=0",
                                               "Ostrel3_Acces_MClip=\"\"", "Ostrel3_Prop_ExpOpt=0",
                                               "Ostrel3_Prop_MClip=\"\""}));
  EXPECT_EQ(panel.exportOption, 2u);  // type 2's dialog was current
}

TEST_F(PanelLayout, AContentTypeTheListLacksBecomesItsFirstRow) {
  SceneBuilder b = Frames0To100();
  KT::Host::HostScene& scene = Open(b);
  Panel panel(&scene, "/out/", "Hero");
  Script().Call([&panel] {
    panel.settings.contentType = 2;
    panel.FillPanelControls();  // no row of the list has type 2: row 0 is chosen
    EXPECT_EQ(panel.settings.contentType, 13);
  });
  EXPECT_EQ(panel.DoModal(), IDCANCEL);
}

TEST(PanelWithoutHost, KeepsItsConstructorValues) {
  UiScript::Current().Clear();
  Panel panel(nullptr, "C:\\out", "Hero");
  EXPECT_EQ(panel.settings.contentType, 0);
  EXPECT_EQ(panel.GetExportPath(), "C:\\out\\Hero.zAvatar");
  EXPECT_EQ(panel.GetExportFolder(), "C:\\out");
  UiScript::Current().Click(IDOK);
  EXPECT_EQ(panel.DoModal(), IDOK);  // nothing to read or write
  EXPECT_EQ(panel.settings.contentType, 13);  // the list's first row
  UiScript::Current().Clear();
}

TEST(ExtensionForType, EveryContentType) {
  struct Case {
    unsigned type, option;
    bool hand;
    const char* extension;
  } cases[] = {
      {0, 0, false, ".zAvatar"}, {1, 2, false, ".zAvatar"},  {2, 0, false, ".zMotion"}, {2, 2, true, ".zHand"},
      {3, 1, false, ".zAvatar"}, {3, 2, false, ".zMotion"},  {4, 0, false, ".zAcc"},    {4, 2, false, ".zAnim"},
      {5, 1, false, ".zProp"},   {5, 2, false, ".zAnim"},    {6, 0, false, ".zTerrain"}, {7, 0, false, ".zSky"},
      {8, 0, false, ".zWater"},  {9, 0, false, ".zLight"},   {10, 0, false, ".zCam"},   {11, 0, false, ".Drn"},
      {12, 2, false, ".zAvatar"}, {13, 0, false, ".zAvatar"}, {13, 2, false, ".zMotion"}, {14, 2, true, ".zFace"},
      {15, 0, false, ".Drn"},
  };
  for (const Case& c : cases) EXPECT_STREQ(ExtensionForType(c.type, c.option, c.hand), c.extension) << c.type;
  EXPECT_EQ(std::size(TextureSizeTable), 5u);
  EXPECT_EQ(TextureSizeTable[3], 512u);
}

}  // namespace
