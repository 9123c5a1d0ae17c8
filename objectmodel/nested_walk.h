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
#include <unordered_map>
#include <unordered_set>
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

// Walks whose steps answer a value that the level above needs (marking:
// whether anything an object holds is marked) cannot be queued as they
// are. Past kMaxNestedDepth levels such a step is deferred instead: the
// call answers `provisional` for now and the walk is incomplete. The
// outermost level then runs the deferred steps from its own stack frame,
// deepest first (each bounded in the same way), remembers their answers
// and runs its own step again, which finds them at the bound instead of
// descending. A step must therefore give the same answer and leave the
// same state when it is run again. An object deferred again while its own
// step is pending (a cycle) answers `provisional` without deferring.
// Each object's step runs at most a few times however deep the graph, so
// the walk stays linear and its stack bounded.
template <typename Value>
class CNestedQuery {
 public:
  template <typename Step>
  Value Run(const void* key, Value provisional, Step&& step) {
    if (depth_ >= CNestedWalk::kMaxNestedDepth) {
      if (const auto it = answers_.find(key); it != answers_.end()) return it->second;
      if (pendingKeys_.count(key) == 0) {
        deferred_.push_back({key, std::function<Value()>(std::forward<Step>(step))});
        pendingKeys_.insert(key);
      }
      return provisional;
    }
    Value value;
    {
      Level level(*this);
      value = step();
    }
    if (depth_ == 0 && !deferred_.empty()) value = Complete(key, std::function<Value()>(std::forward<Step>(step)));
    return value;
  }

 private:
  struct Deferred {
    const void* key;
    std::function<Value()> step;
  };
  struct Level {
    explicit Level(CNestedQuery& query) : query_(query) { ++query_.depth_; }
    ~Level() { --query_.depth_; }
    CNestedQuery& query_;
  };

  // Runs what the first pass deferred, then the outermost step again.
  Value Complete(const void* key, std::function<Value()> outermost) {
    std::vector<Deferred> stack{{key, std::move(outermost)}};
    pendingKeys_.insert(key);
    std::vector<Deferred> found;
    Value value{};
    std::swap(found, deferred_);
    while (!stack.empty()) {
      if (found.empty()) {
        Deferred& top = stack.back();
        {
          Level level(*this);
          value = top.step();
        }
        std::swap(found, deferred_);
        if (found.empty()) {
          answers_[top.key] = value;
          pendingKeys_.erase(top.key);
          stack.pop_back();
        }
        continue;
      }
      // The deferred steps go above the step that met them, which runs
      // again once they have answered.
      for (Deferred& d : found) stack.push_back(std::move(d));
      found.clear();
    }
    answers_.clear();
    pendingKeys_.clear();
    return value;
  }

  int depth_ = 0;
  std::vector<Deferred> deferred_;
  std::unordered_map<const void*, Value> answers_;
  std::unordered_set<const void*> pendingKeys_;
};

// Evaluation passes from a container into the controllers it plays, and
// from an object's depth query into the objects its controllers read. Their
// answers feed the caller's evaluation at once, so they are bounded rather
// than queued: a guard made on entry to such a step reports Exceeded past
// kMaxEvaluationDepth nested levels, and the step then refuses to descend
// (with kErrInvalidArg, or the answer of a controller with nothing to
// play). Scenes built by hand or by the exporter nest a few levels; only
// crafted files reach the bound.
class CEvaluationDepthGuard {
 public:
  static constexpr int kMaxEvaluationDepth = 512;
  CEvaluationDepthGuard() : exceeded_(++Depth() > kMaxEvaluationDepth) {}
  ~CEvaluationDepthGuard() { --Depth(); }
  CEvaluationDepthGuard(const CEvaluationDepthGuard&) = delete;
  CEvaluationDepthGuard& operator=(const CEvaluationDepthGuard&) = delete;
  bool Exceeded() const { return exceeded_; }

 private:
  static int& Depth() {
    thread_local int depth = 0;
    return depth;
  }
  bool exceeded_;
};

// One walk state per kind of walk and thread: walks of different kinds may
// run inside each other (a clone registers nothing, a save may collect).
enum class NestedWalkKind { kFind, kCollect, kClearMarked, kRegisterForSave, kClone, kResolve, kBind, kForget };

// The same for the walks that answer a value.
enum class NestedQueryKind { kObjectMarked, kChainMarked };

template <NestedQueryKind Kind>
CNestedQuery<bool>& GetNestedQuery() {
  thread_local CNestedQuery<bool> query;
  return query;
}

template <NestedWalkKind Kind>
CNestedWalk& GetNestedWalk() {
  thread_local CNestedWalk walk;
  return walk;
}

}  // namespace KT
