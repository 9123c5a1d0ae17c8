#include "exporter/ui/ostrel_max_exp_clip_dlg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/file_dialog.h"
#include "support/temp_folder.h"
#include "ui_fixtures.h"

namespace {

using KT::Host::SceneBuilder;
using Clip = COstrelMaxExpClipDlg;

// A modal shell (the Data Validation resource: only an OK button) that
// shows one option dialog as its visible child, as the panel does.
class ClipHost : public CDialog {
 public:
  ClipHost(Interface* ip, int type) : CDialog(112, nullptr), ip_(ip), type_(type) {}
  BOOL OnInitDialog() override {
    clip = std::make_unique<Clip>(this, ip_, type_, type_ != 2);
    clip->Create(Clip::kResource, this);
    clip->ShowWindow(SW_SHOW);
    return TRUE;
  }
  std::unique_ptr<Clip> clip;

 private:
  Interface* ip_;
  int type_;
};

CListCtrl& ListOf(const Clip& clip) { return *dynamic_cast<CListCtrl*>(clip.GetDlgItem(Clip::kClipList)); }

std::vector<ClipRow> Rows(const Clip& clip) { return clip.Settings().clips; }

CRect RectOf(const CWnd* w) {
  CRect r;
  w->GetWindowRect(&r);
  return r;
}

class ClipDialog : public KT::Testing::UiTest {
 protected:
  // Runs a shell over a scene with frames 0 to 100 and the given stored
  // properties; answers what DoModal answered.
  int Run(int type, const std::function<void(SceneBuilder&)>& stored = nullptr) {
    SceneBuilder b = Frames0To100();
    if (stored) stored(b);
    KT::Host::HostScene& scene = Open(b);
    host = std::make_unique<ClipHost>(&scene, type);
    const int result = host->DoModal();
    EXPECT_TRUE(Script().Empty());
    return result;
  }
  Clip& Dialog() { return *host->clip; }
  static void Walk(SceneBuilder& b) {
    b.IntProperty(u"Ostrel3_Prop_ExpOpt", 0).StringProperty(u"Ostrel3_Prop_MClip", "Walk&#%0 to 30*;@Run&#%31 to 60*;@");
  }
  std::unique_ptr<ClipHost> host;
};

TEST_F(ClipDialog, RadioRulesPerType) {
  struct Case {
    int type;
    int stored;  // -1: no export option key
    int option;
    int checked[3];  // All, Geometry Only, Animation Only
    int enabled[3];
    bool clipControls;
  } cases[] = {
      {13, -1, 1, {0, 1, 0}, {0, 1, 1}, false},  // "All" lost; geometry only disables the clips
      {13, 0, 0, {0, 0, 0}, {0, 1, 1}, true},
      {3, 2, 2, {0, 0, 1}, {0, 1, 1}, true},
      {4, 2, 2, {1, 0, 0}, {1, 1, 0}, true},  // shows "All", keeps 2
      {4, -1, 0, {1, 0, 0}, {1, 1, 0}, true},
      {5, 1, 1, {0, 1, 0}, {1, 1, 1}, false},
      {2, -1, 2, {0, 0, 1}, {0, 0, 0}, true},
      {2, 1, 2, {0, 0, 1}, {0, 0, 0}, true},  // type 2 has no key: always 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " stored " << c.stored);
    SceneBuilder b = Frames0To100();
    const std::u16string key = ExportOptionKey(c.type == 2 ? 13 : c.type);
    if (c.stored >= 0) b.IntProperty(key, c.stored);
    KT::Host::HostScene& scene = Open(b);
    Clip clip(nullptr, &scene, c.type, c.type != 2);
    ASSERT_TRUE(clip.Create(Clip::kResource, nullptr));
    EXPECT_EQ(clip.exportOption, c.option);
    const int radios[3] = {Clip::kAll, Clip::kGeometryOnly, Clip::kAnimationOnly};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(clip.IsDlgButtonChecked(radios[i]), c.checked[i]) << i;
      EXPECT_EQ(clip.GetDlgItem(radios[i])->IsWindowEnabled(), c.enabled[i]) << i;
    }
    for (const int id : {Clip::kClipList, Clip::kNew, Clip::kRemove, Clip::kSave, Clip::kLoad})
      EXPECT_EQ(clip.GetDlgItem(id)->IsWindowEnabled() != 0, c.clipControls) << id;
    const CListCtrl& list = ListOf(clip);
    ASSERT_EQ(list.GetColumnCount(), 3);
    EXPECT_EQ(list.GetColumnHeading(0), "Name");
    EXPECT_EQ(list.GetColumnWidth(0), 180);
    EXPECT_EQ(list.GetColumnHeading(2), "To");
    EXPECT_EQ(list.GetColumnWidth(2), 45);
    EXPECT_EQ(list.GetExtendedStyle(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  }
}

TEST_F(ClipDialog, ChoosingTheOptionEnablesTheClipsButGeometryOnlyKeepsThem) {
  Script().Click(Clip::kGeometryOnly).Click(Clip::kNew).Call([this] {
    EXPECT_EQ(Dialog().exportOption, 1);
    EXPECT_FALSE(Dialog().GetDlgItem(Clip::kClipList)->IsWindowEnabled());
  });
  Script().Click(Clip::kAll).Click(IDOK);
  ASSERT_EQ(Run(5, Walk), IDOK);
  EXPECT_EQ(Dialog().exportOption, 0);
  EXPECT_EQ(Rows(Dialog()), (std::vector<ClipRow>{{"Walk", 0, 30}, {"Run", 31, 60}}));  // "New" was out of reach
}

TEST_F(ClipDialog, NewClipsCoverTheAnimationRangeAndNumbersAreNotReused) {
  Script().Click(Clip::kNew).Click(Clip::kNew).Call([this] {
    EXPECT_EQ(Rows(Dialog()), (std::vector<ClipRow>{{"DefaultClip01", 0, 100}, {"DefaultClip02", 0, 100}}));
  });
  Script().Click(Clip::kRemove);  // no selection mark: nothing removed
  Script().Select(Clip::kClipList, 1).Click(Clip::kRemove).Click(Clip::kNew).Click(IDOK);
  ASSERT_EQ(Run(2), IDOK);
  EXPECT_EQ(Rows(Dialog()), (std::vector<ClipRow>{{"DefaultClip01", 0, 100}, {"DefaultClip03", 0, 100}}));
}

TEST_F(ClipDialog, NewClipsUseWholeFramesOfTheRange) {
  Script().Click(Clip::kNew).Click(IDOK);
  ASSERT_EQ(Run(2, [](SceneBuilder& b) { b.TicksPerFrame(160).Range(479, 16159); }), IDOK);
  EXPECT_EQ(Rows(Dialog()), (std::vector<ClipRow>{{"DefaultClip01", 2, 100}}));
}

TEST_F(ClipDialog, TheSecondDoubleClickOnARowOpensTheEditorOverTheCell) {
  Script().DoubleClick(Clip::kClipList, 0, 1).Call([this] {
    EXPECT_EQ(Dialog().editRow, 0);
    EXPECT_FALSE(Dialog().editing);
    EXPECT_FALSE(Dialog().GetDlgItem(Clip::kNumberEditor)->IsWindowVisible());
  });
  Script().DoubleClick(Clip::kClipList, 1, 0).Call([this] { EXPECT_EQ(Dialog().editRow, 1); });  // the mark moves
  Script().DoubleClick(Clip::kClipList, 5, 0).DoubleClick(Clip::kClipList, 1, 7);  // no row, no column: ignored
  Script().DoubleClick(Clip::kClipList, 1, 1).Call([this] {
    const CWnd* editor = Dialog().GetDlgItem(Clip::kNumberEditor);
    EXPECT_TRUE(Dialog().editing);
    EXPECT_EQ(Dialog().editColumn, 1);
    EXPECT_TRUE(editor->IsWindowVisible());
    EXPECT_EQ(CWnd::GetFocus(), editor);
    EXPECT_EQ(editor->GetWindowText(), "31");
    // List at (20, 130); row 1 under the 20-pixel header; column 1 from x =
    // 180, moved 3 pixels right; 3 pixels narrower and 1 shorter than the cell.
    EXPECT_EQ(RectOf(editor), (CRect{203, 166, 245, 181}));
  });
  Script().DoubleClick(Clip::kClipList, 1, 0).Call([this] {
    const CWnd* editor = Dialog().GetDlgItem(Clip::kNameEditor);
    EXPECT_FALSE(Dialog().GetDlgItem(Clip::kNumberEditor)->IsWindowVisible());
    EXPECT_EQ(RectOf(editor), (CRect{20, 166, 197, 181}));
    EXPECT_EQ(editor->GetWindowText(), "Run");
  });
  Script().Click(IDOK);
  ASSERT_EQ(Run(5, Walk), IDOK);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ClipDialog, FramesAreValidatedWhenTheEditorLosesTheFocus) {
  auto edit = [this](int column, const char* text) {
    Script().DoubleClick(Clip::kClipList, 0, column).DoubleClick(Clip::kClipList, 0, column);
    Script().SetText(Clip::kNumberEditor, text).KillFocus(Clip::kNumberEditor);
  };
  edit(1, "10");  // accepted: 10 to 30
  edit(2, "9");   // refused with the "larger" message
  edit(2, "10");  // equal frames pass
  edit(1, "-4");
  edit(2, "101");
  edit(1, "7x");  // the leading number
  Script().Click(IDOK);
  ASSERT_EQ(Run(5, Walk), IDOK);
  EXPECT_EQ(Rows(Dialog())[0], (ClipRow{"Walk", 7, 10}));
  EXPECT_EQ(Dialog().GetDlgItem(Clip::kNumberEditor)->GetWindowText(), "7");
  ASSERT_EQ(Messages().size(), 3u);
  EXPECT_EQ(Messages()[0].text, "The \"To\" value must be larger than \"From\".");
  EXPECT_EQ(Messages()[0].caption, "Invalid clip");
  EXPECT_EQ(Messages()[0].type, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(Messages()[1].text, "The \"From\" value is less than 0.");
  EXPECT_EQ(Messages()[2].text, "The \"To\" value is out of range.");
}

TEST_F(ClipDialog, NamesMustNotBeEmpty) {
  Script().DoubleClick(Clip::kClipList, 1, 0).DoubleClick(Clip::kClipList, 1, 0).SetText(Clip::kNameEditor, "");
  Script().Click(Clip::kNew);  // the click takes the focus from the editor first
  Script().DoubleClick(Clip::kClipList, 1, 0).SetText(Clip::kNameEditor, std::string(300, 'n')).Enter();
  Script().Click(IDOK);
  ASSERT_EQ(Run(5, Walk), IDOK);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "The \"Name\" string is empty.");
  EXPECT_EQ(Messages()[0].caption, "Invalid clip");
  const std::vector<ClipRow> rows = Rows(Dialog());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].name, std::string(256, 'n'));
  EXPECT_FALSE(Dialog().GetDlgItem(Clip::kNameEditor)->IsWindowVisible());
}

TEST_F(ClipDialog, EscapeRestoresTheCellAndNeitherKeyClosesTheDialog) {
  bool ranOn = false;
  Script().DoubleClick(Clip::kClipList, 0, 0).DoubleClick(Clip::kClipList, 0, 0).SetText(Clip::kNameEditor, "Other");
  Script().Escape();
  Script().DoubleClick(Clip::kClipList, 0, 2).SetText(Clip::kNumberEditor, "55").Escape();
  Script().Escape().Focus(Clip::kNew).Enter().Escape();  // the editor has gone; the dialog stays
  Script().Call([&ranOn] { ranOn = true; }).Click(IDOK);
  ASSERT_EQ(Run(5, Walk), IDOK);
  EXPECT_TRUE(ranOn);
  EXPECT_EQ(Rows(Dialog())[0], (ClipRow{"Walk", 0, 30}));
  EXPECT_FALSE(Dialog().editing);
  EXPECT_TRUE(Messages().empty());
}

class ClipDialogFiles : public ClipDialog {
 protected:
  void SetUp() override {
    ClipDialog::SetUp();
    ASSERT_TRUE(folder.Valid());
  }
  std::string Contents(const std::string& name) {
    std::ifstream in(folder.Native(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  KT::Testing::TempFolder folder;
};

TEST_F(ClipDialogFiles, SaveWritesTheClipListTextFile) {
  Script().Click(Clip::kSave).Answer(folder.Native("walk.txt"));
  Script().Click(Clip::kSave);  // cancelled: nothing written
  Script().Click(IDOK);
  ASSERT_EQ(Run(13, [](SceneBuilder& b) {
              b.IntProperty(u"Ostrel_G5_Human_ExpOpt", 2).StringProperty(u"Ostrel_G5_Human_MClip", "Walk&#%0 to 30*;@");
            }),
            IDOK);
  EXPECT_EQ(Contents("walk.txt"), "#13 Ostrel_G5_Human_MClip\r\n#Name, Start, End\r\nWalk 0 30\r\n");
  const auto& dialogs = Script().Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].kind, RecordedDialog::Kind::kSave);
  EXPECT_EQ(dialogs[0].text, "Text File (*.txt)|*.txt||");
  EXPECT_EQ(dialogs[0].defaultExt, "txt");
  EXPECT_EQ(dialogs[0].flags, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
}

TEST_F(ClipDialogFiles, ANameWithASpaceStopsALaterLoadAndKeepsTheRowsBefore) {
  folder.WriteFile("clips.txt", "#5 Ostrel3_Prop_MClip\r\n#Name, Start, End\r\nJump 1 9\r\nBig Jump 31 40\r\nRun 41 60\r\n");
  Script().Click(Clip::kLoad).Answer(folder.Native("clips.txt")).Click(IDOK);
  ASSERT_EQ(Run(13, [](SceneBuilder& b) { b.IntProperty(u"Ostrel_G5_Human_ExpOpt", 0); }), IDOK);
  EXPECT_EQ(Rows(Dialog()), (std::vector<ClipRow>{{"Jump", 1, 9}}));
  ASSERT_EQ(Script().Dialogs().size(), 1u);
  EXPECT_EQ(Script().Dialogs()[0].kind, RecordedDialog::Kind::kOpen);
  EXPECT_EQ(Script().Dialogs()[0].flags, OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
}

TEST_F(ClipDialogFiles, AFileThatCannotBeOpenedLeavesTheList) {
  Script().Click(Clip::kLoad).Answer(folder.Native("absent.txt"));
  Script().Click(Clip::kSave).Answer(folder.Native("no/such/folder/c.txt")).Click(IDOK);
  ASSERT_EQ(Run(5, Walk), IDOK);
  EXPECT_EQ(Rows(Dialog()).size(), 2u);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0].text, "Failed to open this file.");
  EXPECT_EQ(Messages()[1].text, "Open file failed.");
}

}  // namespace
