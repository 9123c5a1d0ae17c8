#include "exporter/plugin/behaviour_script.h"

#include <tinyxml.h>

#include <initializer_list>
#include <new>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/rts_clip_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/collectors.h"
#include "objectmodel/raw_data.h"

namespace {

// Appends <name>text</name> (or <name /> for null text) to `parent` and
// answers the new element.
TiXmlElement* AddElement(TiXmlNode* parent, const char* name, const char* text = nullptr) {
  auto* element = static_cast<TiXmlElement*>(parent->LinkEndChild(new TiXmlElement(name)));
  if (text != nullptr) element->LinkEndChild(new TiXmlText(text));
  return element;
}

// A child element with its text (null text: an empty element).
struct TextChild {
  const char* name;
  const char* text;
};

void AddChildren(TiXmlNode* parent, std::initializer_list<TextChild> children) {
  for (const TextChild& child : children) AddElement(parent, child.name, child.text);
}

void AddPerformCommand(TiXmlElement* perform, const std::string& name) {
  TiXmlElement* command = AddElement(perform, "PerformCommand");
  command->SetAttribute("ID", name.c_str());
  AddChildren(command, {{"DisplayName", name.c_str()},
                        {"Persist", "FALSE"},
                        {"RightMenu", "TRUE"},
                        {"HotkeyID", "None"},
                        {"MenuMode", "Object"}});
  TiXmlElement* sequence = AddElement(command, "ClipSeq");
  sequence->SetAttribute("ID", "01");
  sequence->SetAttribute("RefClipID", name.c_str());
  AddChildren(sequence, {{"TriggerClip", nullptr}, {"State", nullptr}, {"Delay", "0"}, {"Loop", "1"}});
}

void AddAnimationClip(TiXmlElement* clips, const std::string& name) {
  TiXmlElement* clip = AddElement(clips, "AnimationClip");
  clip->SetAttribute("ID", name.c_str());
  AddChildren(clip, {{"TargetType", "Object"}, {"TargetNode", "$"}, {"ClipType", "Animation"}, {"ClipLocation", "$"}});
  TiXmlElement* priority = AddElement(clip, "Priority");
  priority->SetAttribute("ID", "01");
  AddChildren(priority, {{"Node", "$"}, {"Value", "200"}});
}

constexpr const char* kPerformChannelPrefix = "PerformChannel_";

}  // namespace

void BuildBehaviourScriptXmlFrom(KT::Result& result, KT::CDorun* object, const std::vector<std::string>& clipNames,
                                 const std::string& scriptTemplate) {
  if (object == nullptr || clipNames.empty()) {
    result = KT::kErrInvalidArg;
    return;
  }
  KT::CPointer<KT::CXmlRawData> record(new (std::nothrow) KT::CXmlRawData());
  if (!record) {
    result = KT::kErrOutOfMemory;
    return;
  }
  TiXmlDocument document;
  document.Parse(scriptTemplate.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (document.Error()) {
    result = KT::kErrMissingObject;
    return;
  }
  TiXmlElement* root = document.FirstChildElement("zObject");
  TiXmlElement* commands = root != nullptr ? root->FirstChildElement("Commands") : nullptr;
  TiXmlElement* perform = commands != nullptr ? commands->FirstChildElement("Perform") : nullptr;
  if (perform == nullptr) {
    result = KT::kErrNotFound;
    return;
  }
  for (const std::string& name : clipNames) AddPerformCommand(perform, name);
  TiXmlElement* clips = root->FirstChildElement("Clips");
  if (clips == nullptr) {
    result = KT::kErrNotFound;
    return;
  }
  for (const std::string& name : clipNames) AddAnimationClip(clips, name);

  TiXmlPrinter printer;
  printer.SetStreamPrinting();
  document.Accept(&printer);
  const std::string text = printer.Str();
  // The text with its terminating zero.
  result = record->SetData(static_cast<KT::u32>(text.size() + 1), text.c_str());
  if (KT::Failed(result)) return;
  object->AddCustomData(record.Get());
  result = KT::kOk;
}

void BuildBehaviourScriptXml(KT::Result& result, KT::CDorun* object, const std::vector<std::string>& clipNames) {
  BuildBehaviourScriptXmlFrom(result, object, clipNames, std::string(KT::kBehaviourScriptTemplate));
}

void CMaxDrn::GenerateScript() {
  StepProgress(10, "Generate Fenwa Script");
  if (nodes.empty() || !root) return;
  std::vector<std::string> names;
  names.reserve(clips.size());
  for (const ClipRecord& clip : clips) names.push_back(ToNarrow(clip.Name));
  KT::Result result = KT::kOk;
  BuildBehaviourScriptXml(result, root.Get(), names);
  if (KT::Failed(result)) return;

  // The commands play the clip layers as they are: every layer is static.
  std::vector<KT::CRTSClipControl*> clipControls;
  KT::CollectObjects(clipControls, root.Get(), nullptr, false, false);
  for (KT::CRTSClipControl* control : clipControls)
    for (KT::u32 i = 0; i < static_cast<KT::u32>(control->GetStatic().size()); ++i) control->SetStatic(i, true);

  // UVW layers become the channels the commands perform.
  std::vector<KT::CUvwMapClipControl*> uvwControls;
  KT::CollectObjects(uvwControls, root.Get(), nullptr, false, false);
  for (KT::CUvwMapClipControl* control : uvwControls) {
    for (KT::u32 i = 0; i < control->GetChildCount(); ++i) {
      KT::CDorun* child = control->GetChild(i);
      if (child == nullptr) continue;
      child->SetName(ToWide(kPerformChannelPrefix) + child->GetName());
      child->SetModified();
    }
  }
}
