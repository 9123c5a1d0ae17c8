#include "exporter/plugin/ostrel_max_exp.h"

#include <string>

#include "exporter/plugin/export_road.h"
#include "exporter/ui/ostrel_max_exp_dlg.h"

const TCHAR* OstrelMaxExp::Ext(int n) {
  switch (n) {
    case 0:
      return "zAvatar";
    case 1:
      return "zMotion";
    case 2:
      return "zFace";
    default:
      return "";
  }
}

const TCHAR* OstrelMaxExp::AuthorName() { return kOstrelMaxExpAuthor; }

int OstrelMaxExp::DoExport(const TCHAR* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts,
                           DWORD options) {
  // The module state, COM and the resource handle belong to the host's
  // platform; the stand-ins need none of them.
  if (suppressPrompts) return TRUE;

  // The host's file name only seeds the panel: its folder (with the
  // separator) and its file name without extension.
  const std::string hostName = name != nullptr ? name : "";
  const std::size_t slash = hostName.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : hostName.substr(0, slash + 1);
  const std::string fileName = BaseNameOf(hostName);

  COstrelMaxExpDlg panel(i, folder, fileName);
  if (panel.DoModal() != IDOK) return TRUE;

  RunExportRoad(ChoicesFromPanel(panel), ei != nullptr ? ei->theScene : nullptr, i, (options & 1) != 0);
  return TRUE;
}
