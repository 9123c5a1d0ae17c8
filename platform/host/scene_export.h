// The plug-in side of the host: the scene-tree enumeration, the export
// interface, the exporter class and its class descriptor, the four entry
// points a plug-in exports, and the host functions a plug-in calls at load.
#pragma once

#include "platform/host/class_id.h"
#include "platform/host/max_types.h"

class INode;
class Interface;

// A visitor of the scene tree; callback answers 0 to go on, anything else
// stops the walk.
class ITreeEnumProc {
 public:
  virtual ~ITreeEnumProc() = default;
  virtual int callback(INode* node) = 0;
};

class IScene {
 public:
  virtual ~IScene() = default;
  // Calls proc for every node below the root, parents before their
  // children, children in order. Answers 0, or 1 when the walk was stopped.
  virtual int EnumTree(ITreeEnumProc* proc) = 0;
};

class ExpInterface {
 public:
  IScene* theScene = nullptr;
};

class SceneExport {
 public:
  virtual ~SceneExport() = default;
  virtual int ExtCount() = 0;
  virtual const TCHAR* Ext(int n) = 0;
  virtual const TCHAR* LongDesc() = 0;
  virtual const TCHAR* ShortDesc() = 0;
  virtual const TCHAR* AuthorName() = 0;
  virtual const TCHAR* CopyrightMessage() = 0;
  virtual const TCHAR* OtherMessage1() = 0;
  virtual const TCHAR* OtherMessage2() = 0;
  virtual unsigned int Version() = 0;
  virtual void ShowAbout(HWND hWnd) = 0;
  virtual int DoExport(const TCHAR* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts = FALSE,
                       DWORD options = 0) = 0;
  virtual BOOL SupportsOptions(int ext, DWORD options) = 0;
};

class ClassDesc2 {
 public:
  virtual ~ClassDesc2() = default;
  virtual int IsPublic() = 0;
  // A new object of the class (an exporter for SUPER_SCENE_EXPORT), which
  // the host deletes.
  virtual void* Create(BOOL loading = FALSE) = 0;
  virtual const TCHAR* ClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const TCHAR* Category() = 0;
  // Whether the user may create an object of the class now.
  virtual BOOL OkToCreate(Interface*) { return TRUE; }
  virtual const TCHAR* InternalName() { return nullptr; }
  virtual HINSTANCE HInstance() { return nullptr; }
};

// The entry points a plug-in exports, as the host finds them, and what the
// platform runs when it loads and unloads the library (a plug-in's
// application object starts there); the last two may be missing.
struct PluginEntryPoints {
  const TCHAR* (*LibDescription)() = nullptr;
  int (*LibNumberClasses)() = nullptr;
  ClassDesc2* (*LibClassDesc)(int i) = nullptr;
  ULONG (*LibVersion)() = nullptr;
  BOOL (*Load)() = nullptr;
  int (*Unload)() = nullptr;
};

// Host functions a plug-in calls while it loads.
void InitCustomControls(HINSTANCE hInst);
// With a null module: the host executable's path, the active scene's host
// folder + "/host", cut to size - 1 characters and zero-terminated. Answers
// the characters written (without the terminator); 0 for a null buffer or
// size 0.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
