// drn export SCENE.xml OUT_FOLDER [options]: loads a scene description into
// the host stand-in and runs the exporter plug-in on it as the host does.
// The options are written into the scene's file properties first, where
// the export panel and its option dialog read them; the panel and the
// option dialog are then confirmed as they open.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exporter/plugin/dlg_valid.h"
#include "exporter/plugin/export_road.h"
#include "exporter/plugin/ostrel_max_exp.h"
#include "exporter/plugin/ostrel_max_exp_class_desc.h"
#include "exporter/ui/export_settings.h"
#include "exporter/ui/ostrel_max_exp_dlg.h"
#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/host/plugin_runner.h"
#include "platform/ui/ui_script.h"
#include "platform/ui/wnd.h"
#include "tools/drn/commands.h"

namespace drn {

namespace {

void PrintExportUsage() {
  std::fprintf(stderr,
               "usage: drn export SCENE.xml OUT_FOLDER [--name NAME] [--type 0..14] [--biped] [--hand-only] "
               "[--option all|geometry|animation] [--clips NAME:FROM-TO,...] [--optimize RATE,R,T,S,P] "
               "[--thumbnail IMAGE] [--max-texture 4096|2048|1024|512|256|none] [--selected] [--host-folder DIR]\n"
               "       drn export --about\n");
}

struct ExportArgs {
  std::string scene;
  std::string out;
  std::string name;
  std::string hostFolder;
  bool selected = false;
  bool biped = false;
  bool handOnly = false;
  bool hasType = false;
  int type = 13;
  bool hasOption = false;
  int option = 0;
  bool hasClips = false;
  std::vector<ClipRow> clips;
  bool hasOptimize = false;
  int rate = 1;
  float thresholds[4] = {0, 0, 0, 0};
  bool hasThumbnail = false;
  std::string thumbnail;
  bool hasTexture = false;
  bool textureLimit = false;
  int textureIndex = 0;
};

bool ParseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < -1000000000L || v > 1000000000L) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseFloat(const std::string& text, float& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtof(text.c_str(), &end);
  return *end == '\0';
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// NAME:FROM-TO, the last ':' separating the name.
bool ParseClip(const std::string& text, ClipRow& clip) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string range = text.substr(colon + 1);
  const std::size_t dash = range.find('-', 1);
  if (dash == std::string::npos) return false;
  clip.name = text.substr(0, colon);
  return ParseInt(range.substr(0, dash), clip.start) && ParseInt(range.substr(dash + 1), clip.end);
}

// Answers an error text, empty when the arguments are good.
std::string ParseArgs(int argc, char** argv, ExportArgs& a) {
  std::vector<std::string> positional;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--selected") {
      a.selected = true;
    } else if (arg == "--biped") {
      a.biped = true;
    } else if (arg == "--hand-only") {
      a.handOnly = true;
    } else if (arg == "--name") {
      if (!value(a.name) || a.name.empty()) return "--name needs a name";
    } else if (arg == "--host-folder") {
      if (!value(a.hostFolder) || a.hostFolder.empty()) return "--host-folder needs a folder";
    } else if (arg == "--type") {
      if (!value(v) || !ParseInt(v, a.type) || a.type < 0 || a.type > 14) return "--type takes 0 to 14";
      a.hasType = true;
    } else if (arg == "--option") {
      if (!value(v)) return "--option takes all, geometry or animation";
      if (v == "all") {
        a.option = 0;
      } else if (v == "geometry") {
        a.option = 1;
      } else if (v == "animation") {
        a.option = 2;
      } else {
        return "--option takes all, geometry or animation";
      }
      a.hasOption = true;
    } else if (arg == "--clips") {
      if (!value(v)) return "--clips takes NAME:FROM-TO,...";
      for (const std::string& part : Split(v, ',')) {
        ClipRow clip;
        if (!ParseClip(part, clip)) return "--clips: '" + part + "' is not NAME:FROM-TO";
        a.clips.push_back(clip);
      }
      a.hasClips = true;
    } else if (arg == "--optimize") {
      const std::vector<std::string> parts = value(v) ? Split(v, ',') : std::vector<std::string>{};
      if (parts.size() != 5 || !ParseInt(parts[0], a.rate)) return "--optimize takes RATE,R,T,S,P";
      for (int k = 0; k < 4; ++k)
        if (!ParseFloat(parts[k + 1], a.thresholds[k])) return "--optimize takes RATE,R,T,S,P";
      a.hasOptimize = true;
    } else if (arg == "--thumbnail") {
      if (!value(a.thumbnail) || a.thumbnail.empty()) return "--thumbnail needs an image file";
      a.hasThumbnail = true;
    } else if (arg == "--max-texture") {
      if (!value(v)) return "--max-texture takes 4096, 2048, 1024, 512, 256 or none";
      a.hasTexture = true;
      if (v == "none") {
        a.textureLimit = false;
      } else {
        bool found = false;
        for (int k = 0; k < 5; ++k) {
          if (v == std::to_string(TextureSizeTable[k])) {
            a.textureIndex = k;
            found = true;
          }
        }
        if (!found) return "--max-texture takes 4096, 2048, 1024, 512, 256 or none";
        a.textureLimit = true;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option '" + arg + "'";
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return "SCENE.xml and OUT_FOLDER are needed";
  a.scene = positional[0];
  a.out = positional[1];
  if (a.name.empty()) a.name = std::filesystem::path(a.scene).stem().string();
  return "";
}

// The folder holding drn, where the build puts host/plugins/KTMaxExp/.
std::string DefaultHostFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "host/";
  return (self.parent_path() / "host").string() + "/";
}

// The content types the panel offers; the others run without it.
bool IsPanelType(int type) { return type == 13 || type == 14; }

// Writes the options into the file properties the panel reads. For a type
// the panel does not offer, the panel keys keep their type and the option
// keys of `type` are written.
void WriteOptions(Interface* ip, const ExportArgs& a) {
  PanelSettings panel;
  LoadPanelSettings(ip, panel);
  const int optionType = a.hasType && !IsPanelType(a.type) ? a.type : 13;
  if (a.hasType && IsPanelType(a.type)) panel.contentType = a.type;
  if (!IsPanelType(panel.contentType)) panel.contentType = 13;
  if (a.biped) panel.biped = true;
  if (a.handOnly) panel.handOnly = true;
  if (a.hasOptimize) {
    panel.optimise = true;
    panel.sampleRate = a.rate;
    panel.thresholdR = a.thresholds[0];
    panel.thresholdT = a.thresholds[1];
    panel.thresholdS = a.thresholds[2];
    panel.thresholdP = a.thresholds[3];
  }
  if (a.hasThumbnail) {
    panel.thumbnailMode = 1;
    panel.thumbnailFile = a.thumbnail;
  }
  if (a.hasTexture) {
    panel.textureLimit = a.textureLimit;
    panel.textureSizeIndex = a.textureIndex;
  }
  OptionSettings option;
  option.contentType = optionType;
  ReadOptionSettings(ip, option);
  if (a.hasOption) option.exportOption = a.option;
  if (a.hasClips) option.clips = a.clips;
  SavePanelSettings(ip, panel, {&option});
}

// The choices the panel would take from the file properties, for a type it
// does not offer: the road runs from the conversion on, without the panel.
ExportChoices ChoicesFromProperties(Interface* ip, int type, const std::string& folder, const std::string& name) {
  PanelSettings panel;
  LoadPanelSettings(ip, panel);
  OptionSettings option;
  option.contentType = type;
  ReadOptionSettings(ip, option);
  ExportChoices c = ChoicesFromSettings(panel);
  c.contentType = type;
  c.exportOption = option.exportOption;
  c.folder = folder;
  c.extension = ExtensionForType(static_cast<unsigned>(type), static_cast<unsigned>(option.exportOption), panel.handOnly);
  c.targetPath = (std::filesystem::path(folder) / (name + c.extension)).string();
  return c;
}

void PrintChoices(Interface* ip, int type) {
  PanelSettings panel;
  LoadPanelSettings(ip, panel);
  OptionSettings option;
  option.contentType = IsPanelType(type) ? 13 : type;
  ReadOptionSettings(ip, option);
  static const char* const kOptions[] = {"all", "geometry", "animation"};
  std::fprintf(stderr, "type %d\n", IsPanelType(type) ? panel.contentType : type);
  if (panel.biped) std::fprintf(stderr, "biped\n");
  if (panel.handOnly) std::fprintf(stderr, "hand only\n");
  if (IsPanelType(type) ? panel.contentType == 13 : !ClipListKey(type).empty()) {
    const int o = option.exportOption;
    std::fprintf(stderr, "option %s\n", o >= 0 && o <= 2 ? kOptions[o] : "?");
    std::string clips;
    for (const ClipRow& c : option.clips)
      clips += (clips.empty() ? "" : ",") + c.name + ":" + std::to_string(c.start) + "-" + std::to_string(c.end);
    std::fprintf(stderr, "clips %s\n", clips.empty() ? "(none: one clip over the whole range)" : clips.c_str());
  }
  if (panel.optimise) {
    std::fprintf(stderr, "optimize %d,%g,%g,%g,%g\n", panel.sampleRate, panel.thresholdR, panel.thresholdT,
                 panel.thresholdS, panel.thresholdP);
  } else {
    std::fprintf(stderr, "optimize off\n");
  }
  if (panel.thumbnailMode == 0) {
    std::fprintf(stderr, "thumbnail auto\n");
  } else {
    std::fprintf(stderr, "thumbnail %s\n", panel.thumbnailFile.c_str());
  }
  const int index = panel.textureSizeIndex;
  if (panel.textureLimit && index >= 0 && index < 5) {
    std::fprintf(stderr, "max texture %u\n", TextureSizeTable[index]);
  } else {
    std::fprintf(stderr, "max texture none\n");
  }
}

using FolderState = std::map<std::string, std::filesystem::file_time_type>;

FolderState ReadFolder(const std::string& folder) {
  FolderState state;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::error_code ignored;
    state[entry.path().filename().string()] = entry.last_write_time(ignored);
  }
  return state;
}

bool IsContentFile(const std::string& name) {
  static const char* const kExtensions[] = {".zAvatar",  ".zMotion", ".zFace",  ".zHand",  ".zAcc", ".zProp", ".zAnim",
                                            ".zTerrain", ".zSky",    ".zWater", ".zLight", ".zCam", ".Drn"};
  const std::string ext = std::filesystem::path(name).extension().string();
  return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](const char* e) { return ext == e; });
}

int PrintAbout() {
  const PluginEntryPoints plugin = OstrelMaxExpEntryPoints();
  std::printf("description %s\n", plugin.LibDescription != nullptr ? plugin.LibDescription() : "");
  OstrelMaxExp exporter;
  std::printf("classes %d\n", plugin.LibNumberClasses != nullptr ? plugin.LibNumberClasses() : 0);
  std::printf("version 0x%08lX\n", static_cast<unsigned long>(plugin.LibVersion != nullptr ? plugin.LibVersion() : 0));
  std::printf("long description %s\n", exporter.LongDesc());
  std::printf("short description %s\n", exporter.ShortDesc());
  std::printf("author %s\n", exporter.AuthorName());
  std::printf("copyright %s\n", exporter.CopyrightMessage());
  std::printf("exporter version %u\n", exporter.Version());
  std::printf("extensions");
  for (int k = 0; k < exporter.ExtCount(); ++k) std::printf(" %s", exporter.Ext(k));
  std::printf("\n");
  return 0;
}

}  // namespace

int RunExport(int argc, char** argv) {
  if (argc == 1 && std::string(argv[0]) == "--about") return PrintAbout();
  ExportArgs a;
  const std::string argError = ParseArgs(argc, argv, a);
  if (!argError.empty()) {
    std::fprintf(stderr, "drn export: %s\n", argError.c_str());
    PrintExportUsage();
    return 2;
  }
  KT::Host::SceneDescription description;
  std::string error;
  if (!KT::Host::ReadDescriptionFile(a.scene, description, error)) {
    std::fprintf(stderr, "drn export: %s: %s\n", a.scene.c_str(), error.c_str());
    return 2;
  }
  std::string hostFolder = a.hostFolder.empty() ? DefaultHostFolder() : a.hostFolder;
  if (hostFolder.back() != '/' && hostFolder.back() != '\\') hostFolder += '/';
  description.hostFolder = hostFolder;
  std::unique_ptr<KT::Host::HostScene> scene = KT::Host::HostScene::Create(std::move(description), &error);
  if (scene == nullptr) {
    std::fprintf(stderr, "drn export: %s: %s\n", a.scene.c_str(), error.c_str());
    return 2;
  }
  std::error_code folderError;
  std::filesystem::create_directories(a.out, folderError);
  if (!std::filesystem::is_directory(a.out)) {
    std::fprintf(stderr, "drn export: cannot make the folder %s\n", a.out.c_str());
    return 2;
  }
  const KT::Host::ActiveHostScene active(*scene);
  WriteOptions(scene.get(), a);

  // The panel is confirmed as it opens; when the Data Validation dialog
  // opens, its texts are taken before it is closed.
  bool validationShown = false;
  std::string critical;
  std::string warnings;
  UiScript& script = UiScript::Current();
  script.Clear();
  script.Click(IDOK);
  script.Call([&] {
    for (CWnd* w = CWnd::GetFocus(); w != nullptr; w = w->GetParent()) {
      if (auto* dialog = dynamic_cast<CDlgValid*>(w)) {
        validationShown = true;
        critical = dialog->criticalErrors;
        warnings = dialog->warnings;
        return;
      }
    }
  });
  script.Click(IDOK);

  const FolderState before = ReadFolder(a.out);
  const std::string fileName = (std::filesystem::path(a.out) / a.name).string();
  bool ran = true;
  const int type = a.hasType ? a.type : 13;
  if (IsPanelType(type)) {
    KT::Host::PluginRunLog log;
    ran = KT::Host::RunPluginExport(*scene, OstrelMaxExpEntryPoints(), fileName, FALSE, a.selected ? 1u : 0u, log);
  } else {
    RunExportRoad(ChoicesFromProperties(scene.get(), type, a.out, a.name), scene.get(), scene.get(), a.selected);
  }
  const FolderState after = ReadFolder(a.out);

  PrintChoices(scene.get(), type);
  for (const KT::Host::ProgressEvent& e : scene->ProgressLog()) {
    if (e.kind == KT::Host::ProgressEvent::Kind::kStart) std::fprintf(stderr, "%s\n", e.text.c_str());
    if (e.kind == KT::Host::ProgressEvent::Kind::kUpdate) std::fprintf(stderr, "%3d%% %s\n", e.percent, e.text.c_str());
  }
  std::string lastError;
  for (const RecordedMessage& m : script.Messages()) {
    std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
    if (m.caption == "Error") lastError = m.text;
  }
  if (validationShown) {
    const std::string text = "Critical Errors:\n" + critical + "\nWarnings:\n" + warnings + "\n";
    std::fprintf(stderr, "%s", text.c_str());
    const std::string path = (std::filesystem::path(a.out) / (a.name + ".validation.txt")).string();
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  script.Clear();

  int written = 0;
  for (const auto& [name, time] : after) {
    const auto old = before.find(name);
    if (IsContentFile(name) && (old == before.end() || old->second != time)) {
      std::printf("%s\n", (std::filesystem::path(a.out) / name).string().c_str());
      ++written;
    }
  }
  if (!ran) {
    std::fprintf(stderr, "drn export: the plug-in could not be run\n");
    return 1;
  }
  if (written == 0) {
    std::string reason = "no content file was written";
    if (validationShown && !critical.empty()) {
      reason = "the Data Validation report holds critical errors";
    } else if (!lastError.empty()) {
      reason = IsPanelType(type) ? lastError : reason + " (" + lastError + ")";
    }
    std::fprintf(stderr, "drn export: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}

}  // namespace drn
