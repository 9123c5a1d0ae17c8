#include "exporter/plugin/clip_list.h"

#include <string>

#include "exporter/plugin/plugin_paths.h"
#include "exporter/ui/export_settings.h"

void ReadClipList(KT::Result& result, Interface* ip, int contentType, std::vector<ClipRecord>& clips) {
  const std::u16string key = ClipListKey(contentType);
  if (key.empty()) {
    result = KT::kErrInvalidArg;
    return;
  }
  if (!HasFileProperty(ip, key)) {
    result = KT::kDone;
    return;
  }
  std::string value;
  GetStringFileProperty(ip, key, value);
  for (const ClipRow& row : ParseClipListValue(value)) clips.push_back({ToWide(row.name), row.start, row.end});
  result = KT::kOk;
}
