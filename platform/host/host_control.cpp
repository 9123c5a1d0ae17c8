#include "platform/host/host_control.h"

namespace KT::Host {

namespace {

template <typename T>
const KeyList<T>& KeysOf(const std::optional<KeyList<T>>& keys) {
  static const KeyList<T> none;
  return keys.has_value() ? *keys : none;
}

// A keyed value holds only at its own tick; a constant one keeps `valid`.
template <typename T>
void NarrowValidity(const std::optional<KeyList<T>>& keys, TimeValue t, Interval& valid) {
  if (keys.has_value() && keys->size() > 1) valid &= Interval(t, t);
}

}  // namespace

void HostTrackControl::GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod) {
  if (val == nullptr) return;
  switch (kind_) {
    case Kind::kPosition:
      *static_cast<Point3*>(val) = EvalKeys(KeysOf(node_.position), t, Point3());
      NarrowValidity(node_.position, t, valid);
      break;
    case Kind::kRotation:
      *static_cast<Quat*>(val) = EvalKeys(KeysOf(node_.rotation), t, Quat());
      NarrowValidity(node_.rotation, t, valid);
      break;
    case Kind::kScale:
      *static_cast<ScaleValue*>(val) =
          ScaleValue(EvalKeys(KeysOf(node_.scale), t, Point3(1.0f, 1.0f, 1.0f)));
      NarrowValidity(node_.scale, t, valid);
      break;
  }
}

class HostTransformControl::BipedExport : public IBipedExport {
 public:
  explicit BipedExport(BipedExportLog& log) : log_(log) {}
  int Version() override { return 1; }
  void SetExportOption(int value) override { log_.optionCalls.push_back(value); }

 private:
  BipedExportLog& log_;
};

HostTransformControl::HostTransformControl(const NodeDesc& node) : node_(node) {
  if (node.position.has_value()) position_ = std::make_unique<HostTrackControl>(HostTrackControl::Kind::kPosition, node);
  if (node.rotation.has_value()) rotation_ = std::make_unique<HostTrackControl>(HostTrackControl::Kind::kRotation, node);
  if (node.scale.has_value()) scale_ = std::make_unique<HostTrackControl>(HostTrackControl::Kind::kScale, node);
  if (node.controller != ControllerKind::kPrs) biped_ = std::make_unique<BipedExport>(log_);
}

HostTransformControl::~HostTransformControl() = default;

Class_ID HostTransformControl::ClassID() {
  switch (node_.controller) {
    case ControllerKind::kBipedSlave:
      return BIPED_SLAVE_CONTROL_CLASS_ID;
    case ControllerKind::kBipedBody:
      return BIPED_BODY_CONTROL_CLASS_ID;
    case ControllerKind::kFootstep:
      return FOOTSTEP_CONTROL_CLASS_ID;
    default:
      return kKeyedTransformClassID;
  }
}

Matrix3 HostTransformControl::Local(TimeValue t) const {
  const Point3 s = EvalKeys(KeysOf(node_.scale), t, Point3(1.0f, 1.0f, 1.0f));
  const Quat r = EvalKeys(KeysOf(node_.rotation), t, Quat());
  const Point3 p = EvalKeys(KeysOf(node_.position), t, Point3());
  return ComposeSRT(s, r, p);
}

void HostTransformControl::GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod) {
  if (val == nullptr) return;
  *static_cast<Matrix3*>(val) = Local(t);
  NarrowValidity(node_.position, t, valid);
  NarrowValidity(node_.rotation, t, valid);
  NarrowValidity(node_.scale, t, valid);
}

void* HostTransformControl::GetInterface(ULONG id) {
  if (id != I_BIPED_EXPORT || biped_ == nullptr) return nullptr;
  ++log_.interfacesTaken;
  return static_cast<IBipedExport*>(biped_.get());
}

void HostTransformControl::ReleaseInterface(ULONG id, void* i) {
  if (id == I_BIPED_EXPORT && biped_ != nullptr && i == static_cast<IBipedExport*>(biped_.get())) ++log_.interfacesReleased;
}

}  // namespace KT::Host
