#include "platform/ui/dialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/combo_box.h"
#include "platform/ui/file_dialog.h"

namespace {

// A dialog on resource 104 (radios 1048-1050, list 1029, buttons, edits
// 1071 and 1072) that records what reaches it.
class Recorder : public CDialog {
 public:
  explicit Recorder(CWnd* parent = nullptr) : CDialog(104, parent) {}
  BOOL OnInitDialog() override {
    GetDlgItem(1071)->ShowWindow(SW_SHOW);
    dynamic_cast<CEdit*>(GetDlgItem(1071))->LimitText(4);
    GetDlgItem(1052)->EnableWindow(FALSE);
    auto* list = dynamic_cast<CListCtrl*>(GetDlgItem(1029));
    list->InsertColumn(0, "Name", LVCFMT_LEFT, 100);
    list->InsertColumn(1, "From", LVCFMT_LEFT, 50);
    list->InsertItem(0, "Walk");
    return TRUE;
  }
  BOOL OnCommand(int id, int code) override {
    log.push_back("command " + std::to_string(id) + " " + std::to_string(code));
    return CDialog::OnCommand(id, code);
  }
  BOOL OnNotify(int id, int code, const NMITEMACTIVATE& info) override {
    log.push_back("notify " + std::to_string(id) + " " + std::to_string(code) + " " + std::to_string(info.iItem) + " " +
                  std::to_string(info.iSubItem));
    return TRUE;
  }
  BOOL PreTranslateMessage(MSG* message) override {
    log.push_back("key " + std::to_string(message->wParam) + " at " +
                  std::to_string(message->window != nullptr ? message->window->GetDlgCtrlID() : 0));
    return consumeKeys ? TRUE : FALSE;
  }
  void OnOK() override {
    log.push_back("ok");
    if (endOnKeys) CDialog::OnOK();
  }
  void OnCancel() override {
    log.push_back("cancel");
    if (endOnKeys) CDialog::OnCancel();
  }
  std::vector<std::string> log;
  bool consumeKeys = false;
  bool endOnKeys = true;
};

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override { UiScript::Current().Clear(); }
  void TearDown() override { UiScript::Current().Clear(); }
  UiScript& Script() { return UiScript::Current(); }
};

TEST_F(Dialog, ClicksChecksRadiosAndReachOnlyControlsAUserCanReach) {
  Recorder d;
  Script().Click(1049).Click(1050).Click(1072).Click(1052).Click(4242).SetText(1071, "abcdef");
  ASSERT_EQ(d.DoModal(), IDCANCEL);  // the script ran out
  EXPECT_EQ(d.IsDlgButtonChecked(1049), 0);  // one radio of the group at a time
  EXPECT_EQ(d.IsDlgButtonChecked(1050), 1);
  EXPECT_EQ(d.GetDlgItemText(1071), "abcd");  // typing keeps the limit
  // 1072 is hidden, 1052 disabled, 4242 missing: nothing reaches the dialog.
  EXPECT_EQ(d.log, (std::vector<std::string>{"command 1049 0", "command 1050 0", "command 1071 256"}));
}

TEST_F(Dialog, FocusMovesTellEditsAndDoubleClicksHitCells) {
  Recorder d;
  Script().Focus(1071).Focus(1071).KillFocus(1071).KillFocus(1071);
  Script().DoubleClick(1029, 0, 1).DoubleClick(1029, 3, 0).Select(1029, 0);
  Script().Answer("/ignored").Call([&d] { d.log.push_back("call"); });
  ASSERT_EQ(d.DoModal(), IDCANCEL);  // the script ran out
  EXPECT_EQ(d.log, (std::vector<std::string>{"command 1071 256", "command 1071 512", "notify 1029 -3 0 1",
                                             "notify 1029 -3 -1 -1", "call"}));
  EXPECT_EQ(dynamic_cast<CListCtrl*>(d.GetDlgItem(1029))->GetSelectionMark(), 0);
}

TEST_F(Dialog, KeysGoThroughPreTranslateMessageThenToOkOrCancel) {
  Recorder d;
  d.consumeKeys = true;
  Script().Focus(1071).Enter().Escape();
  Script().Call([&d] { d.consumeKeys = false; }).Escape();
  ASSERT_EQ(d.DoModal(), IDCANCEL);
  EXPECT_EQ(d.log, (std::vector<std::string>{"command 1071 256", "key 13 at 1071", "key 27 at 1071", "key 27 at 1071",
                                             "cancel"}));
  Recorder e;
  Script().Enter();
  EXPECT_EQ(e.DoModal(), IDOK);  // no focus: the dialog's own OK
  EXPECT_EQ(e.log, (std::vector<std::string>{"key 13 at 0", "ok"}));
}

TEST_F(Dialog, ChildDialogsTakeInputWhileVisibleAndKeysAtTheirFocus) {
  CDialog shell(112, nullptr);
  Recorder child;
  child.endOnKeys = false;
  Script().Call([&] {
    ASSERT_TRUE(child.Create(104, &shell));
    EXPECT_FALSE(child.IsWindowVisible());  // shown by its parent's code
    EXPECT_TRUE(child.IsChild());
  });
  Script().Click(1030).Call([&child] { child.ShowWindow(SW_SHOW); }).Click(1030);
  Script().Focus(1071).Enter();
  Script().Call([&child] {
    child.DestroyWindow();
    EXPECT_EQ(CWnd::GetFocus(), nullptr);  // its edit had it
  });
  Script().Click(1030).Click(IDOK);
  ASSERT_EQ(shell.DoModal(), IDOK);
  // Hidden, the child hears nothing; the Enter at its edit reaches its
  // PreTranslateMessage and its own OnOK, never the shell's.
  EXPECT_EQ(child.log, (std::vector<std::string>{"command 1030 0", "command 1071 256", "key 13 at 1071", "ok"}));
}

TEST_F(Dialog, AChildIsCentredInItsParentsClientArea) {
  CDialog shell(112, nullptr);  // 420 x 360
  shell.MoveWindow(CRect{100, 100, 520, 460});
  Recorder child;
  ASSERT_TRUE(child.Create(104, &shell));  // 310 x 472
  child.CenterWindow();
  CRect r;
  child.GetWindowRect(&r);
  EXPECT_EQ(r, (CRect{55, -56, 365, 416}));
  EXPECT_FALSE(child.Create(999, &shell));
  CDialog unknown(999, nullptr);
  EXPECT_EQ(unknown.DoModal(), -1);
}

TEST_F(Dialog, FileAndFolderDialogsTakeTheNextAnswerOrAreCancelled) {
  Script().Answer("/a/b.txt").Click(1);
  CFileDialog save(FALSE, "txt", nullptr, OFN_OVERWRITEPROMPT, "Text File (*.txt)|*.txt||");
  ASSERT_EQ(save.DoModal(), IDOK);
  EXPECT_EQ(save.GetPathName(), "/a/b.txt");
  CFileDialog open(TRUE);
  EXPECT_EQ(open.DoModal(), IDCANCEL);  // the next action is a click: it stays
  EXPECT_EQ(open.GetPathName(), "");
  EXPECT_EQ(Script().Next().kind, UiAction::Kind::kClick);
  std::string folder = "kept";
  BROWSEINFOA info;
  info.lpszTitle = "Pick";
  EXPECT_FALSE(BrowseForFolder(info, folder));
  EXPECT_EQ(folder, "kept");
  Script().Answer("/out");
  EXPECT_TRUE(BrowseForFolder(info, folder));
  EXPECT_EQ(folder, "/out");
  const auto& asked = Script().Dialogs();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].kind, RecordedDialog::Kind::kSave);
  EXPECT_EQ(asked[0].text, "Text File (*.txt)|*.txt||");
  EXPECT_EQ(asked[0].flags, OFN_OVERWRITEPROMPT);
  EXPECT_EQ(asked[1].kind, RecordedDialog::Kind::kOpen);
  EXPECT_EQ(asked[3].kind, RecordedDialog::Kind::kFolder);
  EXPECT_EQ(asked[3].text, "Pick");
}

TEST(DialogResources, EveryResourceHoldsItsControlsOnceAndInside) {
  struct Case {
    int id;
    const char* caption;
    std::vector<int> ids;
  } cases[] = {
      {103, "Quenstrale Ostrel Panel", {1047, 1042, 1045, 1046, 1062, 1055, 1068, 1069, 1005, 1006, 1017, 1008, 1009,
                                        1010, 1012, 1013, 1021, 1022, 1020, IDOK, IDCANCEL}},
      {104, "", {1048, 1049, 1050, 1029, 1030, 1032, 1051, 1052, 1071, 1072}},
      {105, "Optimization Options", {1057, 1055, 1058, 1059, 1060, 1062, IDOK}},
      {112, "Data Validation", {1077, 1074, IDOK}},
  };
  for (const Case& c : cases) {
    const DialogResource* r = FindDialogResource(c.id);
    ASSERT_NE(r, nullptr) << c.id;
    EXPECT_STREQ(r->caption, c.caption);
    const CRect client{0, 0, r->width, r->height};
    int named = 0;
    for (const ControlResource& control : r->controls) {
      EXPECT_TRUE(client.PtInRect(control.rect.TopLeft())) << c.id << " " << control.id;
      EXPECT_LE(control.rect.right, r->width) << c.id << " " << control.id;
      EXPECT_LE(control.rect.bottom, r->height) << c.id << " " << control.id;
      if (control.id > 0) ++named;
    }
    EXPECT_EQ(named, static_cast<int>(c.ids.size())) << c.id;
    for (const int id : c.ids) {
      int found = 0;
      for (const ControlResource& control : r->controls) found += control.id == id ? 1 : 0;
      EXPECT_EQ(found, 1) << c.id << " " << id;
    }
  }
  EXPECT_EQ(FindDialogResource(999), nullptr);
}

}  // namespace
