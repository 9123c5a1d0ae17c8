// Lookups in a converted scene, for tests: nodes by name, the children of a
// class under a node, controllers of a class in an object's chain.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"
#include "scene/node.h"

// The first node of exactly class KT::CNode named `name` under `root`.
inline KT::CNode* NodeNamed(KT::CNode* root, const char16_t* name) {
  return static_cast<KT::CNode*>(root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
}

// The direct children of `node` that are a T, in order.
template <typename T>
std::vector<T*> ChildrenOf(KT::CNode* node) {
  std::vector<T*> out;
  for (KT::u32 i = 0; i < node->GetChildCount(); ++i)
    if (auto* child = dynamic_cast<T*>(node->GetChild(i).Get())) out.push_back(child);
  return out;
}

// The controllers in the chain of `object` that are a T, in chain order.
template <typename T>
std::vector<T*> ControlsOf(KT::CDorun* object) {
  std::vector<T*> out;
  for (KT::CDorun* c = object->GetFirstControl(); c != nullptr; c = c->GetChainNext())
    if (auto* found = dynamic_cast<T*>(c)) out.push_back(found);
  return out;
}

// The first controller of the chain that is a T, or null.
template <typename T>
T* ControlOf(KT::CDorun* object) {
  const std::vector<T*> all = ControlsOf<T>(object);
  return all.empty() ? nullptr : all.front();
}
