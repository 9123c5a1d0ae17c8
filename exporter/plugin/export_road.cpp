#include "exporter/plugin/export_road.h"

#include <algorithm>

#include "exporter/plugin/clip_list.h"
#include "exporter/plugin/conversion_profile.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "exporter/ui/ostrel_max_exp_dlg.h"
#include "exporter/validation/rig_checks.h"
#include "exporter/validation/skeleton_fixups.h"
#include "exporter/validation/validation_report.h"
#include "exporter/validation/validation_report_text.h"
#include "platform/ui/ui_script.h"

namespace {

constexpr SClass_ID kLightSuperClass = 0x30;
constexpr SClass_ID kCameraSuperClass = 0x20;

void ShowError(const char* text) { MessageBoxA(nullptr, text, "Error", MB_OK); }

// The build steps of the two content types; false when the conversion
// profile cannot be read (nothing built).
bool BuildScene(CMaxDrn& context, const ExportChoices& choices, int ticksPerFrame, const std::string& baseName) {
  KT::Result result = KT::kOk;
  LoadConversionProfile(result, GetDataFilePath(kConversionProfileFile), context.profile);
  if (KT::Failed(result)) {
    ShowError("Failed to open conversion profile!");
    return false;
  }
  context.BuildNodes(0);
  context.ApplyProfileToKeys();
  const bool motion = choices.contentType == 13 && choices.exportOption == 2;
  if (motion) {
    FixupMotionSkeleton(context);
    context.BuildHierarchyKeyframes(ticksPerFrame);
    context.BuildUvwAnimation(ticksPerFrame);
  } else {
    context.CreateMeshes();
    context.ResetUvwClipControls();
    context.RemoveMaterialAnimation();
    context.CleanRigBoneNodes();
    FixupRigSkeleton(context);
  }
  context.RemoveNodesOfSuperClass(kLightSuperClass);
  context.RemoveNodesOfSuperClass(kCameraSuperClass);
  context.SetRootName(motion ? KT::WString(u"KT_MotionRoot") : ToWide(baseName));
  return true;
}

}  // namespace

ExportChoices ChoicesFromPanel(const COstrelMaxExpDlg& panel) {
  ExportChoices c;
  const PanelSettings& s = panel.settings;
  c.contentType = s.contentType;
  c.targetPath = panel.GetExportPath();
  c.folder = panel.GetExportFolder();
  c.extension = ExtensionForType(static_cast<unsigned>(s.contentType), panel.exportOption, s.handOnly);
  c.thumbnailMode = s.thumbnailMode;
  c.thumbnailFile = s.thumbnailFile;
  c.textureLimit = s.textureLimit;
  c.textureSizeIndex = s.textureSizeIndex;
  c.biped = s.biped;
  c.handOnly = s.handOnly;
  c.optimise = s.optimise;
  c.exportOption = static_cast<int>(panel.exportOption);
  c.sampleRate = s.sampleRate;
  c.thresholdR = s.thresholdR;
  c.thresholdT = s.thresholdT;
  c.thresholdS = s.thresholdS;
  c.thresholdP = s.thresholdP;
  return c;
}

std::string BaseNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

ExportOutcome RunExportRoad(const ExportChoices& choices, IScene* scene, Interface* ip, bool selectedOnly) {
  ExportOutcome outcome;
  CMaxDrn context(scene, ip, selectedOnly);
  context.StartProgress("Exporting...");

  if (choices.optimise) {
    // A rate below 1 would sample nothing; 1 samples every frame.
    context.sampleRate = std::max(1, choices.sampleRate);
    context.thresholdR = choices.thresholdR;
    context.thresholdT = choices.thresholdT;
    context.thresholdS = choices.thresholdS;
    context.thresholdP = choices.thresholdP;
  }
  context.limitTextures = choices.textureLimit;
  const int sizeIndex = std::clamp(choices.textureSizeIndex, 0, static_cast<int>(std::size(TextureSizeTable)) - 1);
  context.maxTextureSize = static_cast<int>(TextureSizeTable[sizeIndex]);

  const std::string baseName = BaseNameOf(choices.targetPath);

  const int ticksPerFrame = GetTicksPerFrame();
  int startFrame = 0;
  int endFrame = 0;
  if (ip != nullptr && ticksPerFrame != 0) {
    const Interval range = ip->GetAnimRange();
    startFrame = range.Start() / ticksPerFrame;
    endFrame = range.End() / ticksPerFrame;
  }

  std::vector<ClipRecord> clips;
  KT::Result clipResult = KT::kOk;
  ReadClipList(clipResult, ip, choices.contentType, clips);
  if (clips.empty()) clips.push_back(ClipRecord{ToWide(baseName), startFrame, endFrame});
  context.clips = clips;
  outcome.clips = clips;

  if (!BuildScene(context, choices, ticksPerFrame, baseName)) {
    context.EndProgress();
    outcome.stopped = ExportOutcome::Stop::kProfile;
    return outcome;
  }

  const bool motion = choices.contentType == 13 && choices.exportOption == 2;
  ValidationReport report;
  if (choices.contentType == 14) {
    CheckFaceData(context, report);
  } else if (!motion) {
    CheckCharacterData(context, 2, report);
  }
  if (BuildValidationReport(report)) {
    context.EndProgress();
    outcome.stopped = ExportOutcome::Stop::kValidation;
    return outcome;
  }

  context.RemoveNodesOfClass();
  if (choices.optimise) context.OptimizeKeyframes();

  const bool fromTemplate = choices.thumbnailMode == 0;
  const std::string thumbnailSource = fromTemplate ? GetThumbnailTemplatePath() : choices.thumbnailFile;
  if (FileExists(thumbnailSource)) {
    KT::Result thumbResult = KT::kOk;
    context.WriteThumbnail(thumbResult, ToWide(thumbnailSource), fromTemplate);
  } else {
    ShowError("Failed to open thumbnail file!");
  }

  KT::Result saveResult = KT::kOk;
  if (motion) {
    context.SaveClipFiles(saveResult, choices.folder, choices.extension);
  } else {
    context.SaveFile(saveResult, choices.targetPath);
  }
  outcome.saveResult = saveResult;
  outcome.saved = !KT::Failed(saveResult);
  context.EndProgress();
  return outcome;
}
