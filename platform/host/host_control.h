// The stand-in's controllers: a node's transform controller (plain keyed,
// or one of the biped's three kinds) and its position, rotation and scale
// tracks, answered from a node's description.
#pragma once

#include <memory>
#include <vector>

#include "platform/host/control.h"
#include "platform/host/scene_description.h"

namespace KT::Host {

// The class id the stand-in gives its plain keyed transform controller.
inline constexpr Class_ID kKeyedTransformClassID(0x7E5D0001, 0);

// What the biped export interface was asked.
struct BipedExportLog {
  std::vector<int> optionCalls;  // arguments of SetExportOption, in order
  int interfacesTaken = 0;
  int interfacesReleased = 0;
};

class HostTrackControl : public Control {
 public:
  enum class Kind { kPosition, kRotation, kScale };
  HostTrackControl(Kind kind, const NodeDesc& node) : kind_(kind), node_(node) {}
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) override;

 private:
  Kind kind_;
  const NodeDesc& node_;
};

class HostTransformControl : public Control {
 public:
  explicit HostTransformControl(const NodeDesc& node);
  ~HostTransformControl() override;

  Class_ID ClassID() override;
  Control* GetPositionController() override { return position_.get(); }
  Control* GetRotationController() override { return rotation_.get(); }
  Control* GetScaleController() override { return scale_.get(); }
  DWORD GetInheritanceFlags() override { return node_.inherit; }
  // Writes the local Matrix3 (S x R x T of the tracks).
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) override;
  // The biped's controllers answer I_BIPED_EXPORT.
  using Control::GetInterface;
  void* GetInterface(ULONG id) override;
  void ReleaseInterface(ULONG id, void* i) override;

  // The local transform at t.
  Matrix3 Local(TimeValue t) const;
  const BipedExportLog& BipedLog() const { return log_; }

 private:
  class BipedExport;
  const NodeDesc& node_;
  std::unique_ptr<HostTrackControl> position_;
  std::unique_ptr<HostTrackControl> rotation_;
  std::unique_ptr<HostTrackControl> scale_;
  std::unique_ptr<BipedExport> biped_;
  BipedExportLog log_;
};

}  // namespace KT::Host
