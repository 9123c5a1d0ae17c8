// OstrelMaxExp: the scene exporter the host creates for each export. It
// keeps no state of its own; the host reads its file types and texts, then
// calls DoExport, which builds its own conversion context.
#pragma once

#include "platform/host/scene_export.h"

class OstrelMaxExp : public SceneExport {
 public:
  static constexpr unsigned int kVersion = 500;

  OstrelMaxExp() = default;
  ~OstrelMaxExp() override = default;

  // Three file types for the host's Export dialog: "zAvatar", "zMotion",
  // "zFace"; any other index "". Which extension is written is chosen by the
  // content type in the export panel, not here.
  int ExtCount() override { return 3; }
  const TCHAR* Ext(int n) override;
  const TCHAR* LongDesc() override { return "Quenstrale Ostrel5 File"; }
  const TCHAR* ShortDesc() override { return "Ostrel5 File"; }
  const TCHAR* AuthorName() override;
  const TCHAR* CopyrightMessage() override { return LongDesc(); }
  const TCHAR* OtherMessage1() override { return ""; }
  const TCHAR* OtherMessage2() override { return ""; }
  unsigned int Version() override { return kVersion; }
  void ShowAbout(HWND) override {}
  // The whole export; always TRUE for the host.
  int DoExport(const TCHAR* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts = FALSE,
               DWORD options = 0) override;
  BOOL SupportsOptions(int, DWORD) override { return TRUE; }
};

// The author text of the build.
inline constexpr const TCHAR* kOstrelMaxExpAuthor = "Quenstrale";
