#include "exporter/plugin/ostrel_max_exp.h"

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

int OstrelMaxExp::DoExport(const TCHAR*, ExpInterface*, Interface*, BOOL, DWORD) {
  // Nothing is written yet: the host is told the call went through.
  return TRUE;
}
