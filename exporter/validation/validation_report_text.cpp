#include "exporter/validation/validation_report_text.h"

#include <initializer_list>
#include <string_view>

#include "exporter/plugin/dlg_valid.h"
#include "exporter/plugin/plugin_paths.h"
#include "exporter/validation/rig_checks.h"
#include "platform/ui/string_resource.h"

namespace {

// String table ids of the report.
enum MessageId : int {
  kBodyPartsHeader = 6,
  kBodyPart = 7,
  kMaterial = 8,
  kMissingSetsHeader = 9,
  kMissingSet = 10,
  kSetCountsHeader = 11,
  kSetCount = 12,
  kUnmatchedSetsHeader = 13,
  kUnmatchedSet = 14,
  kCriticalFound = 15,
  kFacialPartsHeader = 16,
  kFacialPart = 17,
  kBonesHeader = 18,
  kBoneMustNotAppear = 19,
  kBoneMissing = 20,
  kNoBone = 21,
  kInheritedHeader = 22,
  kInherited = 23,
  kHierarchyHeader = 24,
  kHierarchy = 25,
};

constexpr std::string_view kLineBreak = "\r\n";

// Message `id` with its "%s" and "%d" filled from `arguments` in order (a
// placeholder without an argument stays empty). The arguments are put in
// as they are, never read as a format, so any name is safe.
std::string Message(int id, std::initializer_list<std::string> arguments = {}) {
  const char* text = FindStringResource(id);
  std::string out;
  if (text == nullptr) return out;
  auto next = arguments.begin();
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'd')) {
      if (next != arguments.end()) out += *next++;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string Narrow(const KT::WString& text) { return ToNarrow(text); }

// One text and its count.
struct Section {
  std::string& text;
  int& count;

  // A list with entries starts its section with the header, even when the
  // format skips every entry (a vertex count of a set without a fixed
  // count); skipped entries are not counted.
  template <typename Entries, typename Format>
  void Add(int header, const Entries& entries, Format format) {
    if (entries.empty()) return;
    text.append(kLineBreak).append(kLineBreak).append(Message(header));
    for (const auto& entry : entries) {
      std::string message;
      if (format(entry, message)) Line(message);
    }
  }
  // The materials of one kind, after the section's single CR LF.
  void AddMaterials(const std::vector<MaterialEntry>& materials, bool critical) {
    if (materials.empty()) return;
    text.append(kLineBreak);
    for (const MaterialEntry& entry : materials)
      if (entry.critical == critical) Line(Message(kMaterial, {Narrow(entry.material), Narrow(entry.object)}));
  }
  void Line(const std::string& message) {
    text.append(kLineBreak).append(message);
    ++count;
  }
};

}  // namespace

ValidationTexts FormatValidationReport(const ValidationReport& report) {
  ValidationTexts out;
  Section critical{out.critical, out.criticalCount};
  critical.Add(kBonesHeader, report.bones, [](const BoneEntry& e, std::string& m) {
    if (e.kind == BoneIssue::kMustNotAppear) {
      m = Message(kBoneMustNotAppear, {Narrow(e.name)});
    } else {
      m = e.name.empty() ? Message(kNoBone) : Message(kBoneMissing, {Narrow(e.name)});
    }
    return true;
  });
  critical.Add(kInheritedHeader, report.inherited, [](const InheritedEntry& e, std::string& m) {
    m = Message(kInherited, {Narrow(e.bone)});
    return true;
  });
  critical.Add(kHierarchyHeader, report.hierarchy, [](const HierarchyEntry& e, std::string& m) {
    m = Message(kHierarchy, {Narrow(e.parent), Narrow(e.child)});
    return true;
  });
  critical.Add(kBodyPartsHeader, report.bodyParts, [](const BodyPartEntry& e, std::string& m) {
    m = Message(kBodyPart, {Narrow(e.name)});
    return true;
  });
  critical.Add(kFacialPartsHeader, report.facialParts, [](const KT::WString& name, std::string& m) {
    m = Message(kFacialPart, {Narrow(name)});
    return true;
  });
  critical.AddMaterials(report.materials, true);
  critical.Add(kUnmatchedSetsHeader, report.unmatchedSets, [](const UnmatchedSetEntry& e, std::string& m) {
    const std::string set = Narrow(e.set);
    m = Message(kUnmatchedSet, {set, Narrow(e.first), set, Narrow(e.second)});
    return true;
  });

  Section warnings{out.warnings, out.warningCount};
  warnings.Add(kMissingSetsHeader, report.missingSets, [](const MissingSetEntry& e, std::string& m) {
    m = Message(kMissingSet, {Narrow(e.set), Narrow(e.object)});
    return true;
  });
  warnings.Add(kSetCountsHeader, report.setCounts, [](const SetCountEntry& e, std::string& m) {
    const FixedSelectionSet* fixed = FindFixedSelectionSet(e.set);
    if (fixed == nullptr) return false;
    m = Message(kSetCount, {Narrow(e.set), Narrow(e.object), std::to_string(fixed->vertices)});
    return true;
  });
  warnings.AddMaterials(report.materials, false);

  if (out.criticalCount != 0) out.critical.insert(0, Message(kCriticalFound));
  return out;
}

bool BuildValidationReport(const ValidationReport& report, CWnd* parent) {
  ValidationTexts texts = FormatValidationReport(report);
  if (texts.criticalCount != 0 || texts.warningCount != 0) {
    CDlgValid dialog(parent);
    dialog.criticalErrors = std::move(texts.critical);
    dialog.warnings = std::move(texts.warnings);
    dialog.DoModal();
  }
  return texts.criticalCount != 0;
}
