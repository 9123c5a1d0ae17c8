// The host's side of a plug-in export: it asks the plug-in's entry points
// for its classes, creates each scene exporter through its class descriptor
// and calls DoExport with the scene, then deletes the exporter.
#pragma once

#include <string>
#include <vector>

#include "platform/host/host_scene.h"
#include "platform/host/scene_export.h"

namespace KT::Host {

struct PluginRunLog {
  BOOL loaded = FALSE;       // what the library's load answered (TRUE without one)
  std::string description;   // LibDescription
  int classCount = 0;        // LibNumberClasses
  ULONG version = 0;         // LibVersion
  int exportersRun = 0;
  std::vector<int> answers;  // what each DoExport answered
};

// Loads the library (its Load, when it has one; a load that answers FALSE
// ends the run there), calls LibNumberClasses, LibClassDesc for each index,
// LibVersion and LibDescription, then runs every class of super class
// SUPER_SCENE_EXPORT: Create, DoExport(fileName, the scene's export
// interface, the scene, suppressPrompts, options), delete; last the
// library's Unload. The scene is the active one meanwhile. False (nothing
// run) when an entry point is missing or the load fails.
bool RunPluginExport(HostScene& scene, const PluginEntryPoints& plugin, const std::string& fileName, BOOL suppressPrompts,
                     DWORD options, PluginRunLog& log);

}  // namespace KT::Host
