// ISkin (interface I_SKIN_INTERFACE of the Skin modifier) and its per-node
// context data: the bones and, per vertex, the assigned bones and weights.
#pragma once

#include "platform/host/max_types.h"

class INode;

class ISkinContextData {
 public:
  virtual ~ISkinContextData() = default;
  virtual int GetNumPoints() = 0;
  // Bones assigned to vertex; 0 when the vertex follows the mesh itself.
  virtual int GetNumAssignedBones(int vertex) = 0;
  // The index into the skin's bone list of assignment j of the vertex.
  virtual int GetAssignedBone(int vertex, int j) = 0;
  virtual float GetBoneWeight(int vertex, int j) = 0;
};

class ISkin {
 public:
  virtual ~ISkin() = default;
  virtual int GetNumBones() = 0;
  // Bone `index` of the skin's list, or null.
  virtual INode* GetBone(int index) = 0;
  // The context data of the modifier on `node`, or null.
  virtual ISkinContextData* GetContextInterface(INode* node) = 0;
};
