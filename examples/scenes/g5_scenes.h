// The example host scenes of the character exporter, built with the host
// stand-in's scene builder from the rig tables and kept as description
// files beside this source:
// - g5_character.xml: a full standard character. The rig is made of bone
//   objects whose transform controllers are keyed over frames 0 to 60 at
//   30 frames per second, Inherited 448 on the body bones and 0 on the
//   facial rig. The neck stands as the modelling host has it, before the
//   export rebuilds it: KT_Spine02 > KT_Neck > {KT_Head, KT_NeckTwist01 >
//   KT_NeckTwist02}, with the facial rig under KT_Head. KT_Upper, KT_Lower,
//   KT_Hands, KT_Shoes and KT_Face are top-level meshes skinned to the
//   bones, each with a "KT_Skin" material (the face's a multi-material with
//   "KT_Cavity") and the connect sets of a standard character at their
//   fixed counts; the face also has a "Custom_Face" set and a two-channel
//   Morpher. The eyes, teeth and tongue hang under their facial bones with
//   their materials; KT_Upper's material carries a 2048 x 512 diffuse
//   texture (maps/g5_upper_skin.png).
// - g5_face.xml: the same skeleton and facial rig with a KT_Face of 1907
//   vertices and no "Custom_Face" set, and no body parts.
// - g5_character_broken.xml: the character with the bone "KT_L_Toe" named
//   "KT_L_Toe1", whose export stops on the Data Validation report.
#pragma once

#include <string>
#include <vector>

#include "platform/host/scene_description.h"

namespace KT::Examples {

using Host::SceneDescription;

SceneDescription G5CharacterScene();
SceneDescription G5FaceScene();
SceneDescription G5CharacterBrokenScene();
// A small biped ("Bip01 Pelvis" under the body controller, slave bones
// above and below) keyed over frames 0 to 60, for biped motion exports.
SceneDescription BipedMotionScene();

struct ExampleScene {
  const char* file;  // the description file's name in the scenes folder
  SceneDescription (*build)();
};
// The three scenes with their file names.
const std::vector<ExampleScene>& ExampleScenes();

// The diffuse texture of KT_Upper: its path relative to the scenes folder
// and its size.
inline constexpr const char* kUpperTexture = "maps/g5_upper_skin.png";
inline constexpr int kUpperTextureWidth = 2048;
inline constexpr int kUpperTextureHeight = 512;

// Writes the three description files and the texture into `folder` (which
// must exist; "maps" is made when missing). False with `error` when a file
// cannot be written.
bool WriteExampleScenes(const std::string& folder, std::string& error);

}  // namespace KT::Examples
