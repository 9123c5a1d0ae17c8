// The plug-in's face to the host: the class descriptor of the exporter and
// the four entry points the host calls after loading the library.
#pragma once

#include "platform/host/scene_export.h"

class COstrelMaxExpClassDesc : public ClassDesc2 {
 public:
  static constexpr Class_ID kClassId{0x738045FF, 0x397B108A};

  int IsPublic() override { return 1; }
  // A new OstrelMaxExp, which the host deletes.
  void* Create(BOOL loading = FALSE) override;
  const TCHAR* ClassName() override { return "Ostrel5MaxExp"; }
  SClass_ID SuperClassID() override { return SUPER_SCENE_EXPORT; }
  Class_ID ClassID() override { return kClassId; }
  const TCHAR* Category() override { return ""; }
  BOOL OkToCreate(Interface*) override { return TRUE; }
  const TCHAR* InternalName() override { return "Ostrel5MaxExp"; }
  HINSTANCE HInstance() override { return nullptr; }
};

// The host's version word of release 12000, interface 33, SDK revision 0.
inline constexpr ULONG kOstrelMaxExpLibVersion = 0x2EE02100;

extern "C" {
// "Ostrel5MaxExp".
const TCHAR* LibDescription();
// One class.
int LibNumberClasses();
// The class descriptor for 0, null for any other index.
ClassDesc2* LibClassDesc(int i);
ULONG LibVersion();
}

// The entry points as the host finds them in the library, with the
// library's load (the application object's InitInstance) and unload
// (its ExitInstance).
PluginEntryPoints OstrelMaxExpEntryPoints();
