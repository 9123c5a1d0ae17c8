#include "exporter/plugin/ostrel_max_exp_class_desc.h"

#include "exporter/plugin/ostrel_max_exp.h"
#include "exporter/plugin/ostrel_max_exp_app.h"

namespace {
COstrelMaxExpClassDesc g_classDesc;

BOOL LoadLibraryObjects() { return TheOstrelMaxExpApp().InitInstance(); }
int UnloadLibraryObjects() { return TheOstrelMaxExpApp().ExitInstance(); }
}  // namespace

void* COstrelMaxExpClassDesc::Create(BOOL) { return new OstrelMaxExp; }

const TCHAR* LibDescription() { return "Ostrel5MaxExp"; }

int LibNumberClasses() { return 1; }

ClassDesc2* LibClassDesc(int i) { return i == 0 ? &g_classDesc : nullptr; }

ULONG LibVersion() { return kOstrelMaxExpLibVersion; }

PluginEntryPoints OstrelMaxExpEntryPoints() {
  PluginEntryPoints entry;
  entry.LibDescription = &LibDescription;
  entry.LibNumberClasses = &LibNumberClasses;
  entry.LibClassDesc = &LibClassDesc;
  entry.LibVersion = &LibVersion;
  entry.Load = &LoadLibraryObjects;
  entry.Unload = &UnloadLibraryObjects;
  return entry;
}
