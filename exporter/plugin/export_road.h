// The export after the panel: what the user chose, taken as one record, and
// the road that converts, validates, thins, thumbnails and saves with it.
// DoExport fills the record from the panel; a caller without the panel
// (a test, a batch tool) can fill it directly.
#pragma once

#include <string>
#include <vector>

#include "exporter/plugin/clip_list.h"
#include "exporter/ui/export_settings.h"

#include "objectmodel/types.h"
#include "platform/host/interface.h"
#include "platform/host/scene_export.h"

class COstrelMaxExpDlg;

struct ExportChoices {
  int contentType = 13;
  std::string targetPath;  // folder, separator, file name and extension
  std::string folder;      // "Export To:"
  std::string extension;   // of the content type, with its dot
  int thumbnailMode = 0;   // 0: from the template scene; else thumbnailFile
  std::string thumbnailFile;
  bool textureLimit = false;
  int textureSizeIndex = 0;  // into TextureSizeTable
  bool biped = false;
  bool handOnly = false;
  bool optimise = false;
  int exportOption = 0;  // 0 all, 1 geometry only, 2 animation only
  int sampleRate = 1;
  float thresholdR = 0.0f;
  float thresholdT = 0.0f;
  float thresholdS = 0.0f;
  float thresholdP = 0.0f;
};

// The choices stored in the panel's settings: type, thumbnail, texture
// limit, biped switches and optimisation (no target, extension or option).
ExportChoices ChoicesFromSettings(const PanelSettings& settings);
// The choices of a panel that ended with IDOK.
ExportChoices ChoicesFromPanel(const COstrelMaxExpDlg& panel);

// The file-name part of a path without folder (split at `\` and `/`) and
// without extension.
std::string BaseNameOf(const std::string& path);

// What the road did, for a caller that wants to know (the host does not).
struct ExportOutcome {
  enum class Stop { kNone, kProfile, kValidation };
  Stop stopped = Stop::kNone;
  bool saved = false;   // the save step answered success
  KT::Result saveResult = KT::kOk;  // the save step's code
  std::vector<ClipRecord> clips;    // the clip list the road worked with
};

// Steps 4 to 15 of an export: context, progress, options, frame range,
// clip list, build steps of the content type, validation, class removal
// and key reduction, thumbnail, save. Failures are shown in "Error" boxes
// or the Data Validation dialog.
ExportOutcome RunExportRoad(const ExportChoices& choices, IScene* scene, Interface* ip, bool selectedOnly);
