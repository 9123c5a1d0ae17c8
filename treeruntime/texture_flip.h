// The process-wide texture-flip option of the tree runtime.
//
// When set, generated texture coordinates run the other way along v (the
// tree model sets it before loading; the leaf tables, the geometry builders
// and the texture-coordinate readers and writers read it). Process-wide and
// unguarded, like all runtime state.
#pragma once

namespace trt {

void SetTextureFlipFlag(bool flip);
bool GetTextureFlipFlag();

}  // namespace trt
