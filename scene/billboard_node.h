// KT::CBillboardNode: a node kind without members of its own. It behaves
// exactly like KT::CNode and lets a scene mark a group as a billboard group
// (a group that faces the view).
//
// Record: the KT::CNode record, then version pair 2.00.
#pragma once

#include "scene/node.h"

namespace KT {

class CBillboardNode : public CNode {
  KT_DECLARE_CLASS(CBillboardNode)

 public:
  CBillboardNode();
  // The CNode copy (no children).
  CBillboardNode(const CBillboardNode& other);
  ~CBillboardNode() override;

  // A new default node into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CBillboardNode>& out);

  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
};

}  // namespace KT
