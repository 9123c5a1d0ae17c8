// The Data Validation report: the rig checks' findings as two narrow texts,
// critical errors and warnings, shown in the "Data Validation" dialog
// (CDlgValid) when there is anything to show. Any critical error stops the
// export; warnings alone never do.
#pragma once

#include <string>

#include "exporter/validation/validation_report.h"

class CWnd;

struct ValidationTexts {
  std::string critical;
  std::string warnings;
  int criticalCount = 0;
  int warningCount = 0;
};

// The texts of a report, from the string table's messages. Sections with
// entries follow each other as CR LF CR LF, the header, then CR LF and one
// message per entry:
// - critical: character bones, Inherited flags, hierarchy, body parts,
//   facial parts, the critical materials, unmatched selection sets; when
//   any was written the text starts with the "Found one or more critical
//   errors" message;
// - warnings: missing selection sets, vertex counts (a message only for a
//   set with a fixed count, whose count the message names; other entries
//   are skipped and not counted), the other materials.
// Materials have no header: the material section of each text starts with
// a single CR LF as soon as the report holds any material entry, whichever
// text the entries go to. Names are converted to the active code page.
ValidationTexts FormatValidationReport(const ValidationReport& report);

// Formats the report; when either text holds an entry, shows the texts in
// the "Data Validation" dialog (modal, over `parent`) until the user closes
// it. Answers whether the export must stop: a critical entry was found.
bool BuildValidationReport(const ValidationReport& report, CWnd* parent = nullptr);
