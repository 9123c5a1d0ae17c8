// Reading back what the exporter wrote: a scene file loaded whole, and the
// message boxes shown meanwhile.
#pragma once

#include <string>
#include <vector>

#include "objectmodel/custom_data.h"
#include "objectmodel/file_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "platform/ui/ui_script.h"
#include "scene/node.h"

// A scene file loaded with every section; `result` is the open's or the
// load's code.
struct ContentFileReader {
  KT::CFileIo file;
  KT::CStream stream;
  KT::Result result = KT::kErrNotFound;

  explicit ContentFileReader(const std::u16string& path) {
    KT::RegisterCustomDataClasses();
    result = file.OpenRead(path);
    if (KT::Failed(result)) return;
    stream.SetDevice(&file);
    result = stream.Load(0, KT::CStream::kAllSections);
  }
  KT::CNode* Root() const { return KT::DynamicCast<KT::CNode>(stream.GetRootObject(0)); }
  // The node of exactly class KT::CNode named `name` under the first root.
  KT::CNode* Node(const char16_t* name) const {
    KT::CNode* root = Root();
    return root == nullptr ? nullptr
                           : static_cast<KT::CNode*>(root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
  }
  KT::CVersionData* Version(KT::u32 i) const { return KT::DynamicCast<KT::CVersionData>(stream.GetExtendInfo(i)); }
};

// The message boxes shown since the script was last cleared, as
// "CAPTION: text".
inline std::vector<std::string> ShownBoxes() {
  std::vector<std::string> out;
  for (const RecordedMessage& m : UiScript::Current().Messages()) out.push_back(m.caption + ": " + m.text);
  return out;
}
