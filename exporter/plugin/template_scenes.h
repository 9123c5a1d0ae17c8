// The scene files the exporter reads besides the host scene: the thumbnail
// template "AutoThumb.drn" and the base-bone scenes of the data folder
// (CMaxDrn::WriteThumbnail and CMaxDrn::LoadBaseBoneFile).
#pragma once

#include "objectmodel/types.h"

// Side of the square thumbnail an assigned image is scaled to.
inline constexpr KT::i32 kThumbnailSide = 125;
// Pixel layout of an assigned thumbnail (three bytes, blue first).
inline constexpr KT::u32 kThumbnailLayout = 1;

// The loads of the template scenes: records of unknown classes are skipped
// in every section but the header; the thumbnail template is read for its
// thumbnail section only, a base-bone scene whole.
inline constexpr KT::u32 kTemplateSkipMask = 0x1E;
inline constexpr KT::u32 kThumbnailTemplateSections = 0x03;
inline constexpr KT::u32 kBaseBoneSections = 0x1F;

// The inherit word every node of a base-bone scene gets.
inline constexpr KT::u32 kBaseBoneInherited = 0x1000000;
