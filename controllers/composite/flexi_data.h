// KT::CFlexiData: the shared state of one flexible body, a set of scene
// nodes (the bones of a cloth, a flag, a tail) moved together by a
// mass-and-spring simulation.
//
// Node i is a mass point animated by controls entry i, a KT::CFlexiControl
// bound to the node's spatial (the object of node i). A node of mass 0 is
// pinned: it follows its object. Springs pull pairs of nodes toward their
// rest distance; gravity, a gusting wind, a restoring force along the
// body's axis (Consistency) and one against turns of the root
// (ConsistencyOnRotate) act on the others. Dimension gives the grid of the
// nodes: the first value is the row stride used for surface normals, the
// second the row length R used for the axis, wind rows and orientation
// (the nodes of row r are r x R .. r x R + R - 1). An R of 0 or above the
// node count gives no axis (W = 0), a row factor of 1 and no orientation.
//
// The controllers hold the body through a counted reference; the body
// lists them without counting (saved as ids, resolved at link, remapped
// after a clone), so the pair frees cleanly. A controller that dies, or
// moves to another body, leaves every body that lists it.
//
// Link rebuilds two lists from the node masses: the pinned controllers
// (mass exactly 0) and the simulated ones, in node order. The first
// simulated controller drives the simulation, the last one initialises it.
//
// The solver (flexi_solver.cpp): Step advances the body by one step of
// two passes at a time in milliseconds; Initialise and Reset place every
// node on its object. Random gusts draw from CrtRand.
//
// Record, after the CDorun part: the pair 2.02; springs (u32 count, 20
// bytes each); nodes (u32 count, 128 bytes each); controls (u32 count,
// 8-byte ids); TimeStep f32, NodeMass, StretchK, ForceStep, Consistency,
// ConsistencyOnRotate (i32); IsUniformForce (byte); Amplitude i32, Angle
// f32; WindForce, Gravity (3 f32 each); Dimension (2 u32). Older forms:
// below 2.01 the nodes are 64 bytes (no rest matrix: the identity), below
// 2.02 the control ids are 4 bytes. Load adds 4 pi to an Angle below 4 pi,
// so that the first step after a load draws new gusts.
//
// Link answers kErrNotFound (0x80000005) for a spring naming a node past
// the node list and for a controls list shorter than the nodes.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/vector.h"

namespace KT {

class CFlexiControl;

class CFlexiData : public CDorun {
  KT_DECLARE_CLASS(CFlexiData)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionFullNodes = 201;  // nodes carry their rest matrix
  static constexpr u32 kVersionWideIds = 202;    // control ids are 8 bytes

  static constexpr f32 kDefaultTimeStep = 0.008f;
  // Steps longer than this many seconds reset the body.
  static constexpr f32 kLongestStep = 1.0f;

  struct Spring {
    f32 RestLength = 0.0f;
    u32 Unused = 0;  // kept as stored
    u32 NodeA = 0;
    u32 NodeB = 0;
    f32 WorkingRestLength = 0.0f;
  };
  static_assert(sizeof(Spring) == 20, "a spring is a 20-byte record");

  struct Node {
    f32 Mass = 0.0f;  // 0: pinned
    CVector3<float> Position{0.0f, 0.0f, 0.0f};
    CVector3<float> Normal{0.0f, 0.0f, 0.0f};
    CVector3<float> PrevPosition{0.0f, 0.0f, 0.0f};
    CVector3<float> Unused{0.0f, 0.0f, 0.0f};  // kept as stored
    CVector3<float> Force{0.0f, 0.0f, 0.0f};
    CMatrix4 Rest;  // the object's local matrix at initialisation
  };
  static_assert(sizeof(Node) == 128, "a node is a 128-byte record");
  // Bytes of a node record below 2.01: everything before Rest.
  static constexpr u32 kShortNodeSize = 64;

  CFlexiData();
  // The vectors, settings and state up to LastAngle and both lists; the
  // gust at rest (0, rising) and PositionReady false.
  CFlexiData(const CFlexiData& other);
  ~CFlexiData() override;

  // --- the class-wide Play flag of the body controllers (reported as "Play"
  // by each controller) ---------------------------------------------------------------
  static bool IsPlaying();
  static void SetPlay(bool play);
  // The flag itself, for the member description (a host sets it there).
  static bool& PlayFlag();

  // --- content ------------------------------------------------------------------------
  const std::vector<Spring>& GetSprings() const { return springs_; }
  std::vector<Spring>& EditSprings() { return springs_; }
  const std::vector<Node>& GetNodes() const { return nodes_; }
  std::vector<Node>& EditNodes() { return nodes_; }
  const std::vector<CFlexiControl*>& GetControls() const { return controls_; }
  const std::vector<CFlexiControl*>& GetPinned() const { return pinned_; }
  const std::vector<CFlexiControl*>& GetSimulated() const { return simulated_; }
  // The first simulated controller (null without one).
  CFlexiControl* GetDriver() const { return simulated_.empty() ? nullptr : simulated_.front(); }

  // Makes `controls` the controllers of the nodes (entry i of node i), has
  // each of them hold this body, and rebuilds the lists. kErrNotFound, with
  // nothing changed, when the list is shorter than the nodes or a spring
  // names a node past the node list.
  Result AttachControls(const std::vector<CFlexiControl*>& controls);
  // The checks of AttachControls on the current content.
  Result Validate() const;
  // Rebuilds the pinned and simulated lists from the node masses (null
  // controls skipped) and sets each controller's pinned flag.
  void RebuildLists();
  // Removes `control` from the controls (its entry becomes null) and from
  // both lists, and leaves its listers.
  void ForgetControl(CFlexiControl* control);

  // --- settings ---------------------------------------------------------------------------
  f32 TimeStep = kDefaultTimeStep;
  i32 NodeMass = 1;
  i32 StretchK = 6500;
  i32 ForceStep = 2;
  i32 Consistency = 0;
  i32 ConsistencyOnRotate = 0;
  i32 Amplitude = 100;
  f32 Angle = 0.0f;
  bool IsUniformForce = true;
  CVector3<float> WindForce{0.0f, 0.0f, 0.0f};
  CVector3<float> Gravity{0.0f, 0.0f, -9.8f};
  u32 Dimension[2] = {0, 0};

  // --- simulation state (not stored) -----------------------------------------------------
  f32 GetLastTime() const { return lastTime_; }
  f32 GetCurrAmplitude() const { return currAmplitude_; }
  const CVector3<float>& GetLastAngle() const { return lastAngle_; }
  f32 GetGustTarget() const { return gustTarget_; }
  f32 GetGustRate() const { return gustRate_; }
  bool IsPositionReady() const { return positionReady_; }
  void SetPositionReady(bool ready) { positionReady_ = ready; }

  // --- the solver (flexi_solver.cpp) ---------------------------------------------------------
  // One step at `timeMs`: 1 with fewer than 2 nodes (nothing changes) or
  // when the step was longer than kLongestStep (the body is reset), else 0.
  Result Step(f32 timeMs);
  // Places every node on its object (rest matrix x the parent's world
  // matrix), copies that matrix into the node's controller and measures
  // every spring's rest length.
  void Initialise();
  // Places every node on its object again, keeping the rest lengths.
  void Reset();

  // --- root protocol --------------------------------------------------------------------------
  Result RemapReferences(const CloneMap& cloneMap) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a body (else kErrNotFound, nothing changes): the
  // settings, the three vectors and both lists; the target's Angle and
  // LastAngle stay and its PositionReady is cleared.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override { return !controls_.empty(); }

 private:
  // The controller of node i, or null.
  CFlexiControl* ControlOf(std::size_t i) const { return i < controls_.size() ? controls_[i] : nullptr; }
  // Re-enters this body with every controller it lists (and leaves the
  // ones it no longer lists), so that a dying controller can leave it.
  void RelistControls();
  void PlaceNodes(bool initialise);
  void DrawGust();
  void MoveGustAmplitude();
  void ComputeNormals();
  CVector3<float> BodyAxis() const;
  bool HasRows() const;
  void Integrate(f32 windAmplitude);
  void Orient();

  std::vector<Spring> springs_;
  std::vector<Node> nodes_;
  std::vector<CFlexiControl*> controls_;
  std::vector<u64> pendingIds_;
  std::vector<CFlexiControl*> pinned_;
  std::vector<CFlexiControl*> simulated_;
  // The controllers this body is entered with (see RelistControls).
  std::vector<CFlexiControl*> listed_;

  f32 lastTime_ = 0.0f;
  f32 currAmplitude_ = 0.0f;
  CVector3<float> lastAngle_{0.0f, 0.0f, 0.0f};
  f32 gustTarget_ = 0.0f;
  f32 gustRate_ = 0.0f;
  f32 prevGustTarget_ = 0.0f;
  f32 prevGustRate_ = 0.0f;
  bool rising_ = true;
  bool positionReady_ = false;
};

}  // namespace KT
