// The conversion profile of the standard character: a text file that maps
// host bones to rig bones and gives each a correction matrix.
#pragma once

#include <string>
#include <vector>

#include "objectmodel/matrix4.h"
#include "objectmodel/types.h"

// The host bone name of a default record, which stands for no host bone.
inline constexpr const char16_t* kProfileDefaultName = u"*-=-*";

// One record line of a profile.
struct ProfileRecord {
  KT::WString HostBone;        // the host bone, or "*-=-*" for a default record
  KT::WString RigBone;         // the converted bone it stands for
  KT::CMatrix4 Matrix;         // axis mapping and rotation
  KT::i32 Numbers[6] = {};     // the six numbers of the line, as read
};
