// The sample scene: a small animated scene that holds at least one object
// of every persistent class of the library, for `drn sample`, for the
// example run of the build and for the tests that load and save it.
//
// The scene tree (root "Scene"):
//   an animated arm: "UpperArm" carries "ForeArm", which carries "Cube", a
//     textured triangle mesh with two levels of detail; "Sibling" beside it
//     carries "Crate", a grouped triangle mesh;
//   "Switch", a selection node with three animated options, of which only
//     the first is shown;
//   "Character", moved by a clip controller that plays a "walk" clip, then
//     a "run" clip; it holds the bones "Hip" and "Knee" and "Leg", a mesh
//     skinned to both bones and morphed (directly and through a data clip
//     controller), with a vertex selection, bone boxes and a bounding mesh
//     on the character;
//   "Track", a spline path;
//   "Mirror", a mirror surface whose texture coordinates are played by a
//     UVW clip controller;
//   "Billboards", a turning billboard group holding "Card", a billboard
//     whose texture coordinates scroll;
//   "Sparks", a particle system carried by the forearm: an emission
//     switch bursts it on and off, a simulator moves its sparks; its
//     attachment "Sparks preset" is a particle node that keeps the same
//     settings in the single-control layout (kept, not updated);
//   "Speaker", an audio source playing the track "Beat" of two cues that
//     share one piece of sample data, and "Chime", an audio instance of it.
//   "Orbit Camera", keyed by a camera keyframe controller that orbits its
//     "Orbit Target" (a camera target node) between two views of it;
//   "Clipped", a node whose keyframe controller also lists two clips and a
//     marker;
//   "Meadow", a grass field of two regions that owns "Meadow material";
//   "Grove", the example tree of `drn sample --tree` placed twice under a
//     turned and a scaled node ("Oak" and "Tall Oak", one tree shared),
//     "Oak" carrying the wind "Breeze".
// The custom data chain ("Sample", "Bytes", "Script") rides on the root.
// A second root, "Scene Settings", holds the scene's render settings: it
// owns the terrain "Ground" (its height map "Terrain height" holding the
// material "Terrain material"), the sky "Sky" and the water "Lake", and its
// HDR settings are animated by the HDR control "Scene HDR".
#pragma once

#include "objectmodel/types.h"

namespace KT {

class CStream;

// Fills `stream` for saving: the scene tree as a root (then further roots:
// the HDR control and "Terrain height", a height field whose SubObject is
// "Terrain material"), a version record
// ("FileAppVersion") as extension info, a raw data record ("Listed") in the
// object list followed by three images (an image holding the bytes of a
// PNG file, one holding raw pixels and an animation of two stored frames
// showing them) and a 16 x 16 thumbnail. kOk, or the first failure met while
// building (the stream may then hold part of the scene).
Result BuildSampleScene(CStream& stream);

}  // namespace KT
