#include "platform/host/plugin_runner.h"

namespace KT::Host {

bool RunPluginExport(HostScene& scene, const PluginEntryPoints& plugin, const std::string& fileName, BOOL suppressPrompts,
                     DWORD options, PluginRunLog& log) {
  log = PluginRunLog();
  if (plugin.LibDescription == nullptr || plugin.LibNumberClasses == nullptr || plugin.LibClassDesc == nullptr ||
      plugin.LibVersion == nullptr)
    return false;
  const ActiveHostScene active(scene);
  log.loaded = plugin.Load != nullptr ? plugin.Load() : TRUE;
  if (!log.loaded) return false;
  log.classCount = plugin.LibNumberClasses();
  std::vector<ClassDesc2*> classes;
  for (int i = 0; i < log.classCount; ++i) classes.push_back(plugin.LibClassDesc(i));
  log.version = plugin.LibVersion();
  const TCHAR* description = plugin.LibDescription();
  log.description = description != nullptr ? description : "";
  for (ClassDesc2* desc : classes) {
    if (desc == nullptr || desc->SuperClassID() != SUPER_SCENE_EXPORT) continue;
    auto* exporter = static_cast<SceneExport*>(desc->Create(FALSE));
    if (exporter == nullptr) continue;
    ++log.exportersRun;
    log.answers.push_back(exporter->DoExport(fileName.c_str(), scene.GetExpInterface(), &scene, suppressPrompts, options));
    delete exporter;
  }
  if (plugin.Unload != nullptr) plugin.Unload();
  return true;
}

}  // namespace KT::Host
