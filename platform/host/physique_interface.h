// The Physique modifier's export interface (I_PHYSIQUE_EXPORT): a per-node
// export context with its vertex interfaces.
#pragma once

#include "platform/host/max_types.h"

class INode;

inline constexpr int RIGID_TYPE = 1;          // one bone, weight 1
inline constexpr int RIGID_BLENDED_TYPE = 5;  // several bones with weights

class IPhyVertexExport {
 public:
  virtual ~IPhyVertexExport() = default;
  virtual int GetVertexType() = 0;
};

class IPhyRigidVertex : public IPhyVertexExport {
 public:
  virtual INode* GetNode() = 0;
};

class IPhyBlendedRigidVertex : public IPhyVertexExport {
 public:
  virtual int GetNumberNodes() = 0;
  virtual INode* GetNode(int i) = 0;
  virtual float GetWeight(int i) = 0;
};

class IPhyContextExport {
 public:
  virtual ~IPhyContextExport() = default;
  virtual void ConvertToRigid(BOOL flag) = 0;
  virtual void AllowBlending(BOOL flag) = 0;
  virtual int GetNumberVertices() = 0;
  // The interface of vertex i, or null when the vertex has none; give it
  // back with ReleaseVertexInterface.
  virtual IPhyVertexExport* GetVertexInterface(int i) = 0;
  virtual void ReleaseVertexInterface(IPhyVertexExport* vertex) = 0;
};

class IPhysiqueExport {
 public:
  virtual ~IPhysiqueExport() = default;
  // The export context of the modifier on `node`, or null; give it back with
  // ReleaseContextInterface.
  virtual IPhyContextExport* GetContextInterface(INode* node) = 0;
  virtual void ReleaseContextInterface(IPhyContextExport* context) = 0;
};
