// The flexible-body solver: one step of the mass-and-spring simulation of
// a CFlexiData, and the initialisation and reset that place the nodes on
// their objects. A step moves the wind gust, then runs two passes of
// surface normals, restoring forces, spring forces, damped Verlet
// integration and the orientation of the node rows, and writes every
// node's transform into its controller. It allocates nothing.
#include <cmath>
#include <cstdlib>

#include "controllers/composite/flexi_control.h"
#include "controllers/composite/flexi_data.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/quaternion.h"
#include "platform/crt_random.h"
#include "scene/spatial.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

constexpr f32 kFourPi = kTwoPi * 2.0f;
constexpr f32 kDamping = 0.97f;
constexpr f32 kWindPhasePerNode = 0.2f;
constexpr f32 kWindScale = 0.1f;
constexpr f32 kForceScale = 0.1f;
constexpr f32 kAxisRestoring = -10.0f;
constexpr f32 kRotationRestoring = -5000.0f;
constexpr f32 kSpringBreakRatio = 5.0f;
constexpr f32 kOrientationThreshold = 0.001f;
constexpr int kPasses = 2;

CSpatial* ObjectOf(const CFlexiControl* control) {
  return control != nullptr ? DynamicCast<CSpatial>(control->GetObject()) : nullptr;
}

CMatrix4 ParentWorldOf(const CSpatial* object) {
  const CSpatial* parent = object != nullptr ? object->GetParent() : nullptr;
  return parent != nullptr ? parent->GetWorldMatrix() : kMatrix4Identity;
}

// A gust value drawn for the range `range`: h + (r mod 100h) / 100 with
// h = (range + 1) / 2 and r = CrtRand() + 1. A range that gives no positive
// h (0 or below) has no gust: 0, and nothing is drawn.
f32 DrawGustValue(i32 range) {
  const i64 h = (static_cast<i64>(range) + 1) / 2;
  if (h <= 0) return 0.0f;
  const i64 r = static_cast<i64>(CrtRand()) + 1;
  return static_cast<f32>(h) + static_cast<f32>(r % (100 * h)) / 100.0f;
}

// The inverse of the parent's world matrix that takes a node into its
// parent's space (ToParentSpace), kept for the next node of the same
// parent: the nodes of a body usually share one.
class ParentSpace {
 public:
  Vec3 Take(const Vec3& point, const CSpatial& object) {
    const CSpatial* parent = object.GetParent();
    const u32 inherited = object.GetInherited();
    if (!valid_ || parent != parent_ || inherited != inherited_ ||
        (parent != nullptr && !(parent->GetWorldMatrix() == parentMatrix_))) {
      parent_ = parent;
      inherited_ = inherited;
      parentMatrix_ = parent != nullptr ? parent->GetWorldMatrix() : kMatrix4Identity;
      moves_ = GetParentSpaceMatrix(parent, inherited, inverse_);
      valid_ = true;
    }
    return moves_ ? TransformCoord(point, inverse_) : point;
  }

 private:
  bool valid_ = false;
  const CSpatial* parent_ = nullptr;
  u32 inherited_ = 0;
  CMatrix4 parentMatrix_;
  bool moves_ = false;
  CMatrix4 inverse_;
};

}  // namespace

// --- placing the nodes ---------------------------------------------------------------------------

void CFlexiData::PlaceNodes(bool initialise) {
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    Node& node = nodes_[i];
    CFlexiControl* control = ControlOf(i);
    const CMatrix4 m = node.Rest * ParentWorldOf(ObjectOf(control));
    node.Position = node.PrevPosition = m.GetTranslation();
    if (control == nullptr) continue;
    CMatrix4 world = initialise ? m : control->GetWorldMatrix();
    world.SetTranslation(node.Position);
    control->SetSolvedTransform(control->GetLocal(), control->GetWorldScale(), control->GetWorldRotate(), world);
  }
  for (Spring& spring : springs_) {
    if (spring.NodeA >= nodes_.size() || spring.NodeB >= nodes_.size()) continue;
    if (initialise) spring.RestLength = (nodes_[spring.NodeA].Position - nodes_[spring.NodeB].Position).Length();
    spring.WorkingRestLength = spring.RestLength;
  }
  TimeStep = kDefaultTimeStep;
}

void CFlexiData::Initialise() { PlaceNodes(true); }

void CFlexiData::Reset() { PlaceNodes(false); }

// --- the gust -------------------------------------------------------------------------------------

void CFlexiData::DrawGust() {
  if (!(Angle >= kFourPi)) return;
  Angle -= kFourPi;
  prevGustTarget_ = gustTarget_;
  prevGustRate_ = gustRate_;
  gustTarget_ = DrawGustValue(Amplitude);
  gustRate_ = DrawGustValue(ForceStep);
}

void CFlexiData::MoveGustAmplitude() {
  f32 a = currAmplitude_;
  const f32 g = gustTarget_;
  if (std::fabs(a) > 2.0f * std::fabs(g)) a = 0.0f;
  if (std::fabs(g) < a) {
    rising_ = false;
  } else if (a < -std::fabs(g)) {
    rising_ = true;
  }
  const f32 d = std::fabs(g - a) * gustRate_ * 0.001f;
  a = rising_ ? a + d : a - d;
  if (std::fabs(a) < std::fabs(g) / 2.0f) a = a >= 0.1f * std::fabs(g) ? -a : 0.5f * std::fabs(g);
  currAmplitude_ = a;
}

// --- one pass -------------------------------------------------------------------------------------

void CFlexiData::ComputeNormals() {
  const std::size_t n = nodes_.size();
  const std::size_t last = n - 1;
  const std::size_t s = Dimension[0];
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3& p = nodes_[i].Position;
    const Vec3 a = i == 0 ? nodes_[std::min<std::size_t>(1, last)].Position - p
                          : nodes_[std::min(i + 1, last)].Position - nodes_[i - 1].Position;
    Vec3 b;
    if (i < s) {
      b = nodes_[std::min(i + s, last)].Position - p;
    } else if (i + s < n) {
      b = nodes_[i + s].Position - nodes_[i - s].Position;
    } else {
      b = p - nodes_[i - s].Position;
    }
    Vec3 normal(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    normal.Normalize();
    nodes_[i].Normal = normal;
  }
}

bool CFlexiData::HasRows() const { return Dimension[1] != 0 && Dimension[1] <= nodes_.size(); }

Vec3 CFlexiData::BodyAxis() const {
  if (!HasRows()) return Vec3(0.0f, 0.0f, 0.0f);
  const std::size_t r = Dimension[1];
  Vec3 w = r % 2 == 0 ? nodes_[r / 2 - 1].Normal + nodes_[r / 2].Normal : nodes_[(r - 1) / 2].Normal;
  w.Normalize();
  return w;
}

void CFlexiData::Integrate(f32 windAmplitude) {
  const f32 windLength = WindForce.Length();
  const f32 step2 = TimeStep * TimeStep;
  const bool rows = HasRows();
  const std::size_t r = Dimension[1];
  f32 rowFactor = 1.0f;
  ParentSpace parentSpace;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    Node& node = nodes_[i];
    CFlexiControl* control = ControlOf(i);
    CSpatial* object = ObjectOf(control);
    // The row factor grows along the node list unless the wind is uniform.
    if (!IsUniformForce && rows) rowFactor += static_cast<f32>(i / r);
    const f32 k = IsUniformForce ? 1.0f : rowFactor;
    if (node.Mass == 0.0f) {
      node.PrevPosition = node.Position;
      if (object == nullptr) continue;
      node.Position = object->GetWorldMatrix().GetTranslation();
      control->TakeObjectTransform();
      continue;
    }
    const f32 s = std::sin(Angle - kWindPhasePerNode * static_cast<f32>(i));
    const f32 g = windLength * kWindScale * s;
    const Vec3 sum =
        Gravity + node.Force * kForceScale + WindForce * (kWindScale * k) + node.Normal * (k * windAmplitude * g);
    const Vec3 accel(sum.x / node.Mass, sum.y / node.Mass, sum.z / node.Mass);
    const Vec3 moved = node.Position + (node.Position - node.PrevPosition + accel * step2) * kDamping;
    node.PrevPosition = node.Position;
    node.Position = moved;
    if (object == nullptr) continue;
    CMatrix4 world = object->GetWorldMatrix();
    world.SetTranslation(moved);
    CRtsTransform local = object->GetLocal();
    local.Translate = parentSpace.Take(moved, *object);
    control->SetSolvedTransform(local, object->GetWorldScale(), object->GetWorldRotate(), world);
  }
}

void CFlexiData::Orient() {
  if (!HasRows()) return;
  const std::size_t r = Dimension[1];
  for (std::size_t i = r; i < nodes_.size(); ++i) {
    if (nodes_[i].Mass == 0.0f) continue;
    CFlexiControl* control = ControlOf(i);
    CSpatial* object = ObjectOf(control);
    if (object == nullptr) continue;
    Vec3 d = nodes_[i].Position - nodes_[i - r].Position;
    const CMatrix3& rotate = object->GetWorldRotate();
    Vec3 a(rotate.m[2][0], rotate.m[2][1], rotate.m[2][2]);
    Vec3 e1 = a.Cross(d);
    Vec3 e2 = d.Cross(e1);
    a.Normalize();
    d.Normalize();
    e1.Normalize();
    e2.Normalize();
    // A zero direction gives NaN here, and no turn.
    const f32 c = d.Dot(a) / (d.Length() * a.Length());
    if (!(std::fabs(1.0f - std::fabs(c)) > kOrientationThreshold)) continue;
    const CMatrix3 worldRotate(d.x, d.y, d.z, e1.x, e1.y, e1.z, e2.x, e2.y, e2.z);
    const CSpatial* parent = object->GetParent();
    const CMatrix3 parentRotate = parent != nullptr ? parent->GetWorldRotate() : kMatrix3Identity;
    CRtsTransform local = control->GetLocal();
    local.Rotate = (worldRotate * parentRotate.Transpose()).ToQuaternion();
    CMatrix4 world = ComposeAffine(local);
    ComposeMatrixWithParent(world, parent, object->GetInherited());
    control->SetSolvedTransform(local, control->GetWorldScale(), worldRotate, world);
  }
}

// --- the step -------------------------------------------------------------------------------------

Result CFlexiData::Step(f32 timeMs) {
  if (nodes_.size() < 2) return kDone;
  const f32 t = timeMs / 1000.0f;
  const f32 dt = t - lastTime_;
  if (dt > kLongestStep) {
    lastTime_ = t;
    Reset();
    return kDone;
  }
  if (dt == 0.0f) {
    lastTime_ = t;
    return kOk;
  }
  DrawGust();
  MoveGustAmplitude();
  const f32 windAmplitude =
      Amplitude == 0 ? 0.0f : currAmplitude_ * currAmplitude_ / static_cast<f32>(Amplitude) / 10.0f;

  Vec3 rootAngles(0.0f, 0.0f, 0.0f);
  if (const CSpatial* root = ObjectOf(ControlOf(0))) {
    root->GetWorldRotate().ToEuler(kEulerXYZ, rootAngles.x, rootAngles.y, rootAngles.z);
  }
  f32 turn = std::fabs(rootAngles.x - lastAngle_.x) + std::fabs(rootAngles.y - lastAngle_.y) +
             std::fabs(rootAngles.z - lastAngle_.z);
  while (turn > kPi) turn = kTwoPi - turn;
  const f32 turnForce = static_cast<f32>(ConsistencyOnRotate) * kRotationRestoring * std::fabs(turn / kPi);
  const f32 axisForce = static_cast<f32>(Consistency) * kAxisRestoring;

  for (int pass = 0; pass < kPasses; ++pass) {
    ComputeNormals();
    const Vec3 w = BodyAxis();
    for (Node& node : nodes_) node.Force = w * axisForce + w * turnForce;
    for (const Spring& spring : springs_) {
      if (spring.NodeA >= nodes_.size() || spring.NodeB >= nodes_.size()) continue;
      Vec3 d = nodes_[spring.NodeA].Position - nodes_[spring.NodeB].Position;
      const f32 length = d.Length();
      if (length > kSpringBreakRatio * spring.RestLength) {
        // Overstretched: no force, and the body goes back on its objects.
        Reset();
        continue;
      }
      d.Normalize();
      const Vec3 f = d * ((length - spring.RestLength) * static_cast<f32>(StretchK));
      nodes_[spring.NodeA].Force -= f;
      nodes_[spring.NodeB].Force += f;
    }
    Integrate(windAmplitude);
    Orient();
  }
  lastAngle_ = rootAngles;
  Angle += (gustRate_ + 1.0f) * 0.5f * std::fabs(t - lastTime_);
  lastTime_ = t;
  return kOk;
}

}  // namespace KT
