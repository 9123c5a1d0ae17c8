// Walks over nested objects in bounded stack.
//
// A walk (collect, find, save registration, clone, ...) descends from an
// object into the objects it holds by calling the same virtual operation on
// them, so each level of nesting costs a few stack frames. Files can nest
// as deep as their size allows (a controller in the chain of a controller
// in the chain of ...), so past kMaxNestedDepth levels a step is not run
// at once but queued, and the outermost level of the same walk runs the
// queue before it returns. Shallow graphs are walked in exactly the order
// of plain recursion; only steps past the depth bound run later.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "objectmodel/types.h"

namespace KT {

class CBase;

class CNestedWalk {
 public:
  static constexpr int kMaxNestedDepth = 64;

  // Runs `step` now or queues it. A step run now answers its own code; a
  // queued step answers kOk here and its failure, if any, becomes the
  // answer of the outermost level (the first failure wins).
  template <typename Step>
  Result Run(Step&& step) {
    if (depth_ >= kMaxNestedDepth) {
      queued_.emplace_back([s = std::forward<Step>(step)]() mutable -> Result { return s(); });
      return kOk;
    }
    Result r;
    {
      Level level(*this);
      r = step();
    }
    if (depth_ == 0) r = Drain(r);
    return r;
  }

  // The same for steps that search: a hit found now is answered at once; a
  // queued search runs at the outermost level, which answers the first hit
  // of its queue when it found nothing itself.
  template <typename Step>
  CBase* Find(Step&& step) {
    if (depth_ >= kMaxNestedDepth) {
      queuedFinds_.emplace_back(std::forward<Step>(step));
      return nullptr;
    }
    CBase* hit;
    {
      Level level(*this);
      hit = step();
    }
    if (depth_ == 0) hit = DrainFinds(hit);
    return hit;
  }

 private:
  struct Level {
    explicit Level(CNestedWalk& walk) : walk_(walk) { ++walk_.depth_; }
    ~Level() { --walk_.depth_; }
    CNestedWalk& walk_;
  };

  Result Drain(Result r) {
    // Queued steps may queue more; the index loop sees them too.
    for (std::size_t i = 0; i < queued_.size(); ++i) {
      std::function<Result()> step = std::move(queued_[i]);
      Level level(*this);
      const Result q = step();
      if (Failed(q) && !Failed(r)) r = q;
    }
    queued_.clear();
    return r;
  }

  CBase* DrainFinds(CBase* hit) {
    for (std::size_t i = 0; hit == nullptr && i < queuedFinds_.size(); ++i) {
      std::function<CBase*()> step = std::move(queuedFinds_[i]);
      Level level(*this);
      hit = step();
    }
    queuedFinds_.clear();
    return hit;
  }

  int depth_ = 0;
  std::vector<std::function<Result()>> queued_;
  std::vector<std::function<CBase*()>> queuedFinds_;
};

// One walk state per kind of walk and thread: walks of different kinds may
// run inside each other (a clone registers nothing, a save may collect).
enum class NestedWalkKind { kFind, kCollect, kClearMarked, kRegisterForSave, kClone, kResolve };

template <NestedWalkKind Kind>
CNestedWalk& GetNestedWalk() {
  thread_local CNestedWalk walk;
  return walk;
}

}  // namespace KT
