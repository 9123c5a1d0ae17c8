// Helpers of the particle controller tests: a particle node of a given
// capacity, the class registrations and the head of a particle controller
// record.
#pragma once

#include <gtest/gtest.h>

#include "controllers/composite/particle_atom_control.h"
#include "controllers/composite/particle_control.h"
#include "controllers/composite/particle_data_control.h"
#include "controllers/composite/particle_emit_control.h"
#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "scene/geometry_data.h"
#include "scene/node.h"
#include "scene/particles.h"

namespace KT::test {

// A particle node with one level and `capacity` slots, at the origin.
inline CPointer<CParticles> ParticleNode(u32 capacity) {
  CPointer<CParticles> node;
  EXPECT_EQ(CParticles::Create(node), kOk);
  node->SetName(u"sparks");
  CPointer<CGeometryData> level;
  EXPECT_EQ(CGeometryData::Create(level), kOk);
  level->SetName(u"slots");
  EXPECT_EQ(level->AllocateXYZ(1), kOk);
  EXPECT_EQ(node->SetSingleLod(level.Get()), kOk);
  EXPECT_EQ(node->SetMaxQuantity(capacity), kOk);
  return node;
}

// The classes a particle scene file holds.
inline void RegisterParticleClasses() {
  RegisterTestClasses();
  CClassFactory::Register("CNode", &CreateObject<CNode>);
  CClassFactory::Register("CParticles", &CreateObject<CParticles>);
  CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
  CClassFactory::Register("CParticleDataControl", &CreateParticleDataControl);
  CClassFactory::Register("CParticleAtomControl", &CreateObject<CParticleAtomControl>);
  CClassFactory::Register("CParticleEmitControl", &CreateObject<CParticleEmitControl>);
  CClassFactory::Register("CParticleControl", &CreateObject<CParticleControl>);
}

// The head of a particle controller record: the data controller's parts
// (with `frequency`, `weight`, `priority` and `repeat` in the controller
// part), then the particle base's pair 2.00.
inline ByteWriter ParticleControlHead(f32 frequency = 1.0f, f32 weight = 1.0f, f32 priority = 0.0f,
                                      u32 repeat = 0) {
  ByteWriter w;
  BasePart(w, 0x10);
  DorunPart(w, 0);
  ControlFields fields;
  fields.frequency = frequency;
  fields.weight = weight;
  fields.priority = priority;
  fields.repeat = repeat;
  ControlPart(w, fields).Pair(2, 0).Pair(2, 0);
  return w;
}

}  // namespace KT::test
