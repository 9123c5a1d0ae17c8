// What the material conversion and its animation share: the UV placement
// of a host map as the standard material stores it, and host colours.
#pragma once

#include "objectmodel/vector.h"
#include "platform/host/max_types.h"
#include "platform/host/point3.h"

class StdUVGen;

struct UvTransform {
  float scale[2] = {1.0f, 1.0f};
  float translate[2] = {0.0f, 0.0f};
};

// The scale (Us, Vs) and the translation ((1 - Us) x 0.5 - Uo x Us,
// (1 - Vs) x 0.5 + Vo x Vs) of the generator's tilings Us, Vs and offsets
// Uo, Vo at t: the U offset is subtracted and the V offset added because
// the two texture axes run the other way round in the library. Rotation is
// not carried over. Null gives scale (1, 1) and translation (0, 0).
UvTransform ConvertUvTransform(StdUVGen* uvGen, TimeValue t);

// A host colour as the library's three floats, unscaled.
inline KT::CVector3<float> ToVector(const Color& c) { return {c.r, c.g, c.b}; }
