#include "scene/update_driver.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace KT {

namespace {

// (depth, object) entries in insertion order, run in ascending depth after a
// stable sort, so equal depths keep insertion order. A vector sorted once
// allocates once per pass, where an ordered map would allocate a node for
// every object on every frame.
template <typename T>
using DepthOrder = std::vector<std::pair<i32, T*>>;

template <typename T>
void SortByDepth(DepthOrder<T>& order) {
  std::stable_sort(order.begin(), order.end(),
                   [](const std::pair<i32, T*>& a, const std::pair<i32, T*>& b) { return a.first < b.first; });
}

Result RunTransforms(DepthOrder<CSpatial>& order, i32 time) {
  SortByDepth(order);
  for (const auto& [depth, spatial] : order) {
    const Result r = spatial->UpdateTransform(time);
    if (Failed(r)) return r;
  }
  return kOk;
}

}  // namespace

Result UpdateTransformPass(const std::vector<CSpatial*>& spatials, i32 time) {
  for (CSpatial* s : spatials) s->SetDirty();
  DepthOrder<CSpatial> order;
  order.reserve(spatials.size());
  for (CSpatial* s : spatials) {
    i32 depth = 0;
    const Result r = s->GetUpdateDepth(time, depth);
    if (Failed(r)) return r;
    order.emplace_back(depth, s);
  }
  return RunTransforms(order, time);
}

Result SubStepPass(const std::vector<CSpatial*>& spatials, i32 time) {
  for (CSpatial* s : spatials) s->SetDirty();
  // Asking the spatials that sub-step settles them and everything their
  // depth reads; only those are still clean afterwards.
  for (CSpatial* s : spatials) {
    if (!s->HasSubStepControls()) continue;
    i32 depth = 0;
    const Result r = s->GetUpdateDepth(time, depth);
    if (Failed(r)) return r;
  }
  DepthOrder<CSpatial> order;
  for (CSpatial* s : spatials) {
    if (s->IsDirty()) continue;
    i32 depth = 0;
    const Result r = s->GetUpdateDepth(time, depth);
    if (Failed(r)) return r;
    order.emplace_back(depth, s);
  }
  return RunTransforms(order, time);
}

Result ViewPass(const std::vector<CSpatial*>& spatials, i32 time, CUpdateView* view) {
  if (view == nullptr) {
    for (CSpatial* s : spatials) s->SetCurrentLod(0);
    return kOk;
  }
  view->Prepare(time);
  for (CSpatial* s : spatials) s->UpdateForView(view);
  return kOk;
}

Result DataUpdatePass(const std::vector<CDorun*>& animated, i32 time) {
  // The animated objects form a set ordered by address.
  std::vector<CDorun*> objects(animated);
  std::sort(objects.begin(), objects.end(), std::less<CDorun*>());
  objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
  for (CDorun* o : objects) o->SetDirty();
  DepthOrder<CDorun> order;
  order.reserve(objects.size());
  i32 context = time;
  for (CDorun* o : objects) {
    i32 depth = 0;
    const Result r = o->GetDataUpdateDepth(&context, depth);
    if (Failed(r)) return r;
    order.emplace_back(depth, o);
  }
  SortByDepth(order);
  for (const auto& [depth, object] : order) {
    const Result r = object->Update(time);
    // A controller that keeps data without evaluating it ends its own
    // object's update only; the pass goes on with the next object.
    if (r == kErrNotEvaluated) continue;
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CSpatial::UpdateScene(i32 time, i32 span, f32 subStepRate, bool fromRoot, CUpdateView* view,
                             bool transformOnly) {
  // The sub-step is checked before anything moves: a step that truncates to
  // no whole tick would never reach `time`.
  i64 step = 0;
  if (subStepRate != 0.0f) {
    const f32 ticks = 1.0f / subStepRate;
    if (!(ticks >= 1.0f)) return kErrInvalidArg;
    // A step longer than any window leaves nothing to sub-step.
    step = ticks < 4294967296.0f ? static_cast<i64>(ticks) : i64{4294967296};
  }

  std::vector<CSpatial*> spatials;
  Result r = CollectSpatials(spatials);
  if (Failed(r)) return r;

  if (step > 0) {
    // Neither the window's start nor `time` itself is a sub-step; the
    // transform pass covers `time`.
    const i64 start = std::max<i64>(0, static_cast<i64>(time) - span);
    for (i64 t = start + step; t < time; t += step) {
      r = SubStepPass(spatials, static_cast<i32>(t));
      if (Failed(r)) return r;
    }
  }

  r = UpdateTransformPass(spatials, time);
  if (Failed(r)) return r;
  if (transformOnly) return kOk;

  if (fromRoot) {
    CSpatial* top = this;
    while (top->GetParent() != nullptr) top = top->GetParent();
    top->UpdateWorldBound();
  } else {
    r = UpdateWorldBound();
    if (Failed(r)) return r;
  }

  ViewPass(spatials, time, view);

  std::vector<CDorun*> animated;
  r = CollectAnimated(animated);
  if (Failed(r)) return r;
  r = DataUpdatePass(animated, time);
  return Failed(r) ? r : kOk;
}

}  // namespace KT
