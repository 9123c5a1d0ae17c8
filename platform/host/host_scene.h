// HostScene: the in-memory host scene. It answers Interface and IScene (and
// through its nodes every other SDK call) from a SceneDescription, and keeps
// what callers did to it: the progress bar calls, the properties they added,
// the custom-control initialisations.
//
// One scene at a time is the active one: the SDK's free functions
// (GetTicksPerFrame, the bitmap lookup, GetModuleFileNameA,
// InitCustomControls) answer from it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_modifiers.h"
#include "platform/host/host_node.h"
#include "platform/host/interface.h"
#include "platform/host/scene_description.h"
#include "platform/host/scene_export.h"

namespace KT::Host {

struct ProgressEvent {
  enum class Kind { kStart, kUpdate, kEnd };
  Kind kind = Kind::kUpdate;
  int percent = 0;
  BOOL showPercent = FALSE;
  std::string text;  // the title of a start, the message of an update
};

// Why a description cannot make a scene; empty when it can: a parent,
// modifier node or material reference that names nothing, a parent cycle, a
// material cycle, a duplicate material id.
std::string CheckDescription(const SceneDescription& description);

// The parts of the check that the description reader reports with lines:
// the index of a node whose parents loop (or -1), of a material that
// contains itself (or -1), and what is wrong with a mesh ("" when nothing:
// indices inside their lists, colour, map and normal faces one per face or
// none, animated map coordinates as many as the static ones).
int NodeOnParentCycle(const std::vector<NodeDesc>& nodes);
int MaterialOnCycle(const std::vector<MaterialDesc>& materials);
std::string CheckMesh(const MeshDesc& mesh);

class HostScene : public Interface, public IScene {
 public:
  // The scene of a description, or null (and *error set) when
  // CheckDescription refuses it.
  static std::unique_ptr<HostScene> Create(SceneDescription description, std::string* error = nullptr);
  ~HostScene() override;
  HostScene(const HostScene&) = delete;
  HostScene& operator=(const HostScene&) = delete;

  // Interface.
  Interval GetAnimRange() override { return Interval(desc_.start, desc_.end); }
  BOOL ProgressStart(const TCHAR* title, BOOL dispBar, LPFNPROGRESS fn, LPVOID arg) override;
  void ProgressUpdate(int pct, BOOL showPct = TRUE, const TCHAR* title = nullptr) override;
  void ProgressEnd() override;
  int FindProperty(int propertySet, const PROPSPEC* propSpec) override;
  const PROPVARIANT* GetPropertyVariant(int propertySet, int index) override;
  void AddProperty(int propertySet, const PROPSPEC* propSpec, const PROPVARIANT* var) override;
  INode* GetINodeByName(const TCHAR* name) override;

  // IScene.
  int EnumTree(ITreeEnumProc* proc) override;

  ExpInterface* GetExpInterface() { return &exp_; }
  INode* GetRootNode() { return root_.get(); }
  // The node of description index i, or null.
  HostNode* NodeAt(int i);
  const SceneDescription& Description() const { return desc_; }
  int TicksPerFrame() const { return desc_.ticksPerFrame; }

  // What was done to the scene.
  const std::vector<ProgressEvent>& ProgressLog() const { return progress_; }
  // The properties as they stand now, in insertion order.
  std::vector<PropertyDesc> Properties() const;
  int CustomControlsInitialised() const { return customControls_; }
  void NoteCustomControls() { ++customControls_; }
  // The log of modifier m (stack order, top first) of node i; null when
  // there is none.
  const ModifierLog* GetModifierLog(int node, int modifier) const;

  // The active scene, or null.
  static HostScene* Active();

 private:
  friend class ActiveHostScene;
  struct StoredProperty;
  struct NodeParts;
  explicit HostScene(SceneDescription description);
  void Build();

  SceneDescription desc_;
  std::unique_ptr<HostNode> root_;
  std::vector<std::unique_ptr<NodeParts>> nodes_;
  std::vector<INode*> nodeTable_;
  std::vector<std::unique_ptr<Mtl>> materials_;
  std::vector<std::unique_ptr<StoredProperty>> properties_;
  std::vector<ProgressEvent> progress_;
  int customControls_ = 0;
  ExpInterface exp_;
};

// Makes a scene the active one for its lifetime; the one active before
// comes back afterwards.
class ActiveHostScene {
 public:
  explicit ActiveHostScene(HostScene& scene);
  ~ActiveHostScene();
  ActiveHostScene(const ActiveHostScene&) = delete;
  ActiveHostScene& operator=(const ActiveHostScene&) = delete;

 private:
  HostScene* previous_;
};

}  // namespace KT::Host
