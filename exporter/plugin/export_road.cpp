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

constexpr SClass_ID kGeometrySuperClass = 0x10;

// How the content of a type is written.
enum class SaveKind { kOneFile, kClipFiles, kNone };

// The mesh steps of a character or a scene without animation.
void BuildModel(CMaxDrn& context) {
  context.CreateMeshes();
  context.ResetUvwClipControls();
  context.RemoveMaterialAnimation();
}

void RemoveLightsAndCameras(CMaxDrn& context) {
  context.RemoveNodesOfSuperClass(kLightSuperClass);
  context.RemoveNodesOfSuperClass(kCameraSuperClass);
}

// Keyframes of a biped (with the empty profile list) or of the node tree.
void BuildMotionKeys(CMaxDrn& context, bool biped, int ticksPerFrame) {
  if (biped) {
    context.BuildBipedKeyframes(ticksPerFrame, {});
  } else {
    context.BuildHierarchyKeyframes(ticksPerFrame);
  }
}

// The build steps of a content type; false when the conversion profile
// cannot be read (nothing built). `option` is the export option, which a
// motion (type 2) turns into "Animation Only".
bool BuildScene(CMaxDrn& context, const ExportChoices& choices, int ticksPerFrame, const std::string& baseName,
                int& option) {
  KT::Result result = KT::kOk;
  LoadConversionProfile(result, GetDataFilePath(kConversionProfileFile), context.profile);
  if (KT::Failed(result)) {
    ShowError("Failed to open conversion profile!");
    return false;
  }
  KT::WString rootName = ToWide(baseName);
  bool renameRoot = true;
  switch (choices.contentType) {
    case 0:
    case 1:
    case 12:
      BuildModel(context);
      context.CleanRigBoneNodes();
      RemoveLightsAndCameras(context);
      break;
    case 2:
      renameRoot = false;
      if (choices.biped) {
        if (!context.LoadBaseBoneFile(ToWide(GetBaseBoneFilePath(choices.handOnly)))) {
          // The rest of the type's steps need the skeleton; what was built
          // so far is validated and saved as it is.
          ShowError("Failed to open base bone file!");
          return true;
        }
        context.BuildBipedKeyframes(ticksPerFrame, {});
      } else {
        context.BuildHierarchyKeyframes(ticksPerFrame);
        if (choices.handOnly) context.BuildGestureRoot();
      }
      RemoveLightsAndCameras(context);
      option = 2;
      break;
    case 3:
      if (option == 1) {
        BuildModel(context);
      } else {
        BuildMotionKeys(context, choices.biped, ticksPerFrame);
        if (option == 2) {
          context.BuildUvwAnimation(ticksPerFrame);
        } else {
          context.CreateMeshes();
        }
      }
      RemoveLightsAndCameras(context);
      if (option == 2) rootName = u"KT_MotionRoot";
      break;
    case 4:
    case 5:
      if (option == 1) {
        BuildModel(context);
      } else if (option == 2) {
        context.BuildPropKeyframes(ticksPerFrame);
        context.BuildUvwAnimation(ticksPerFrame);
      } else {
        context.BuildPropKeyframes(ticksPerFrame);
        context.CreateMeshes();
        context.GenerateScript();
      }
      RemoveLightsAndCameras(context);
      break;
    case 6:
    case 7:
      BuildModel(context);
      RemoveLightsAndCameras(context);
      rootName = choices.contentType == 6 ? u"TerrainRoot" : u"SkyRoot";
      break;
    case 8:
      context.CreateMeshes();
      RemoveLightsAndCameras(context);
      rootName = u"WaterRoot";
      break;
    case 9:
      context.BuildKeyframes(ticksPerFrame);
      context.CreateLights();
      context.MoveNodesOfSuperClassToRoot(kLightSuperClass);
      context.RemoveNodesOfSuperClass(kCameraSuperClass);
      context.RemoveNodesOfSuperClass(kGeometrySuperClass);
      rootName = u"LightRoot";
      break;
    case 10:
      context.BuildKeyframes(ticksPerFrame);
      context.CreateCamera();
      context.MoveNodesOfSuperClassToRoot(kCameraSuperClass);
      context.RemoveNodesOfSuperClass(kLightSuperClass);
      context.RemoveNodesOfSuperClass(kGeometrySuperClass);
      rootName = u"CameraRoot";
      break;
    case 11:
      context.CreateMeshes();
      context.CleanRigBoneNodes();
      RemoveLightsAndCameras(context);
      break;
    default: {
      context.BuildNodes(0);
      context.ApplyProfileToKeys();
      const bool motion = choices.contentType == 13 && option == 2;
      if (motion) {
        FixupMotionSkeleton(context);
        context.BuildHierarchyKeyframes(ticksPerFrame);
        context.BuildUvwAnimation(ticksPerFrame);
        rootName = u"KT_MotionRoot";
      } else {
        context.CreateMeshes();
        context.ResetUvwClipControls();
        context.RemoveMaterialAnimation();
        context.CleanRigBoneNodes();
        FixupRigSkeleton(context);
      }
      RemoveLightsAndCameras(context);
      break;
    }
  }
  if (renameRoot) context.SetRootName(rootName);
  return true;
}

// How the content of a type is saved, after its build steps.
SaveKind SaveKindOf(int contentType, int option) {
  switch (contentType) {
    case 2:
      return SaveKind::kClipFiles;
    case 3:
    case 5:
    case 13:
      return option == 2 ? SaveKind::kClipFiles : SaveKind::kOneFile;
    case 4:
    case 6:
    case 7:
    case 8:
      return SaveKind::kNone;
    default:
      return SaveKind::kOneFile;
  }
}

}  // namespace

ExportChoices ChoicesFromSettings(const PanelSettings& s) {
  ExportChoices c;
  c.contentType = s.contentType;
  c.thumbnailMode = s.thumbnailMode;
  c.thumbnailFile = s.thumbnailFile;
  c.textureLimit = s.textureLimit;
  c.textureSizeIndex = s.textureSizeIndex;
  c.biped = s.biped;
  c.handOnly = s.handOnly;
  c.optimise = s.optimise;
  c.sampleRate = s.sampleRate;
  c.thresholdR = s.thresholdR;
  c.thresholdT = s.thresholdT;
  c.thresholdS = s.thresholdS;
  c.thresholdP = s.thresholdP;
  return c;
}

ExportChoices ChoicesFromPanel(const COstrelMaxExpDlg& panel) {
  const PanelSettings& s = panel.settings;
  ExportChoices c = ChoicesFromSettings(s);
  c.targetPath = panel.GetExportPath();
  c.folder = panel.GetExportFolder();
  c.extension = ExtensionForType(static_cast<unsigned>(s.contentType), panel.exportOption, s.handOnly);
  c.exportOption = static_cast<int>(panel.exportOption);
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

  int option = choices.exportOption;
  if (!BuildScene(context, choices, ticksPerFrame, baseName, option)) {
    context.EndProgress();
    outcome.stopped = ExportOutcome::Stop::kProfile;
    return outcome;
  }

  ValidationReport report;
  switch (choices.contentType) {
    case 0:
      CheckCharacterData(context, 1, report);
      break;
    case 12:
      CheckCharacterData(context, 0, report);
      break;
    case 13:
      if (option != 2) CheckCharacterData(context, 2, report);
      break;
    case 14:
      CheckFaceData(context, report);
      break;
    default:
      break;
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
  switch (SaveKindOf(choices.contentType, option)) {
    case SaveKind::kClipFiles:
      context.SaveClipFiles(saveResult, choices.folder, choices.extension);
      break;
    case SaveKind::kOneFile:
      context.SaveFile(saveResult, choices.targetPath);
      break;
    case SaveKind::kNone:
      context.SaveUnsupportedFile(saveResult, choices.targetPath);
      break;
  }
  outcome.saveResult = saveResult;
  outcome.saved = !KT::Failed(saveResult);
  context.EndProgress();
  return outcome;
}
