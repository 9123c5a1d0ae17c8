#include "scene/billboard_node.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CBillboardNode::CBillboardNode() = default;

CBillboardNode::CBillboardNode(const CBillboardNode& other) : CNode(other) {}

CBillboardNode::~CBillboardNode() = default;

Result CBillboardNode::Create(CPointer<CBillboardNode>& out) {
  CBillboardNode* node = new (std::nothrow) CBillboardNode();
  if (node == nullptr) return kErrOutOfMemory;
  out = node;
  return kOk;
}

u32 CBillboardNode::GetSaveSize() const { return CNode::GetSaveSize() + 8; }

Result CBillboardNode::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CBillboardNode::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CNode::Load(stream, record, flags);
  return Succeeded(r) ? stream.ReadVersionBlock(StaticClassRecord()) : r;
}

Result CBillboardNode::Save(CStream& stream, u32 flags) {
  const Result r = CNode::Save(stream, flags);
  return Succeeded(r) ? WriteVersion(stream, StaticClassRecord()) : r;
}

}  // namespace KT
