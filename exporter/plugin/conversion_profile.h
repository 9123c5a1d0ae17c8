// The conversion profile of the standard character: a text file that maps
// host bones to rig bones and gives each a correction matrix.
#pragma once

#include <string>
#include <string_view>
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

// Appends one record per record line of the profile file at `path`
// (narrow, the active code page). The file is read as text in pieces of
// at most 1023 characters, each taken as one line without its line end:
// - the first line is skipped;
// - a line of fewer than four whitespace-separated words is skipped, and
//   so is one whose first word is "Position" or "FrameRate" (any case);
// - first word "*": a default record: HostBone "*-=-*", RigBone the second
//   word; the numbers come from the fourth word without its first
//   character: axis codes of rows X, Y, Z, then angles about X, Y, Z;
// - fourth word starting with ".": HostBone the first word, RigBone the
//   third; the numbers follow the "."; axis codes, then three numbers that
//   are kept but not used (the angles are 0);
// - any other line: HostBone the first word, RigBone the third; angles,
//   then axis codes.
// The second word of a bone line is not used. The six numbers are
// separated by ","; each is the integer at the start of its text (0 when
// none), and a word with fewer numbers repeats its last one. The matrix is
// ProfileMatrix of the axis codes and angles.
// result: 0, or 0x80000006 when the file cannot be opened (nothing read).
void LoadConversionProfile(KT::Result& result, const std::string& path, std::vector<ProfileRecord>& profile);

// The six numbers of a profile word, as above.
void ParseProfileNumbers(std::string_view text, KT::i32 (&numbers)[6]);

// The matrix of axis codes (rows X, Y, Z) and angles in degrees: the zero
// matrix with element [3][3] = 1; a code 1, 2 or 3 puts +1 in column 0, 1
// or 2 of its row, -1, -2 or -3 puts -1 there, any other code +1 on the
// row's diagonal; then the 3x3 part A becomes Rx x Ry x Rz x A (the
// library's row-vector rotations about the unit axes).
KT::CMatrix4 ProfileMatrix(const KT::i32 (&axisCodes)[3], const KT::i32 (&angles)[3]);
