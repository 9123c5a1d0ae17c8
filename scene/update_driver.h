// The per-frame update driver: KT::CSpatial::UpdateScene and its passes.
//
// UpdateScene (declared with KT::CSpatial) collects the spatials of a
// subtree, runs the optional sub-step passes, the transform pass, the world
// bounds, the view pass and the data pass. The passes are exposed so that
// special nodes can run one of them over spatials of their own.
//
// Order rests on two lazily cached depths: the transform update depth of
// spatials (parent + 1, above constraint targets and bounding-mesh
// references, at least 1048576 for geometry) and the data depth of scene
// objects. A pass sets Dirty on what it is about to order, asks every depth
// and updates in ascending depth; equal depths keep collection order (the
// data pass: ascending object address). The driver keeps nothing between
// calls.
#pragma once

#include <vector>

#include "scene/spatial.h"

namespace KT {

// The view that chooses levels of detail. The system defines it and
// implements none; callers that draw implement it.
class CUpdateView {
 public:
  virtual ~CUpdateView() = default;
  // Called once per view pass, before any spatial is asked; its result is
  // not checked.
  virtual Result Prepare(i32 time) = 0;
  // The level of detail `spatial` should use (the spatial keeps it below
  // its level count).
  virtual u32 ChooseLod(const CSpatial* spatial) const = 0;
};

// Sets Dirty on every spatial, orders them by update depth (equal depths in
// the given order) and runs each one's UpdateTransform at `time`. The first
// failure is returned; what was updated before it stays updated.
Result UpdateTransformPass(const std::vector<CSpatial*>& spatials, i32 time);

// The transform pass restricted to the spatials with sub-step controls and
// everything their depth depends on (ancestors, constraint targets,
// bounding-mesh references): only those move at a sub-step.
Result SubStepPass(const std::vector<CSpatial*>& spatials, i32 time);

// With a view: its Prepare(time), then every spatial's UpdateForView, in
// order (results not checked). Without: every CurrentLod becomes 0. kOk.
Result ViewPass(const std::vector<CSpatial*>& spatials, i32 time, CUpdateView* view);

// Sets Dirty on every object, orders them by data update depth (equal
// depths by ascending address) and runs each one's Update at `time`. An
// object whose update ends with kErrNotEvaluated (a controller of its chain
// keeps data without evaluating it) is passed over; the first other failure
// is returned. The depth queries receive a pointer to `time`
// as their context.
Result DataUpdatePass(const std::vector<CDorun*>& animated, i32 time);

}  // namespace KT
