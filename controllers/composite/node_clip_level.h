// KT::CNodeClipLevel: the class level the node layer and node selection
// clip controllers put on the data clip controller. It stores only its
// version pair (a stored version above the class's: kErrNewerVersion),
// reports an empty member group of the class's name before the data clip
// controller's members, and copies itself as its own class. Derived adds
// only its Update, built on EvaluateClips.
#pragma once

#include <new>

#include "controllers/core/control_level.h"
#include "controllers/core/data_clip_control.h"
#include "controllers/core/key_search.h"
#include "objectmodel/class_factory.h"

namespace KT {

template <typename Derived, ClassIndex Index>
class CNodeClipLevel : public CDataControlLevel<CDataClipControl, Index> {
 public:
  // A copy of the Derived made by its copy constructor (clips and cache,
  // no children: Clone fills them); kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override {
    try {
      return CreateCopy(static_cast<const Derived&>(*this), out);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  // "<class name> Member" (no fields), then the data clip controller's
  // members.
  void DescribeMembers(CMemberVisitor& visitor) override {
    static const WString group = MemberGroupName(this->StaticClassRecord());
    visitor.BeginGroup(group.c_str());
    visitor.OpenGroup();
    visitor.EndGroup();
    CDataClipControl::DescribeMembers(visitor);
  }

 protected:
  // The data clip controller's evaluation (the same choice of the clip in
  // force, into the cache, and the same child time), answering what the
  // child's Update answered: a child that evaluated nothing (kDone: an
  // inactive selection controller, one without keys) leaves the time as
  // uncovered as having no clip. Inactive: kDone; unbound: kErrInvalidArg;
  // no clips or a clip of no child in force: kDone.
  Result EvaluateClips(i32 time) {
    bool childRan = false;
    return this->EvaluateClipChild(time, childRan);
  }
};

}  // namespace KT
