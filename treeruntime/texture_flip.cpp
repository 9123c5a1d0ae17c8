#include "treeruntime/texture_flip.h"

namespace trt {
namespace {
bool g_bTextureFlip = false;
}  // namespace

void SetTextureFlipFlag(bool flip) { g_bTextureFlip = flip; }

bool GetTextureFlipFlag() { return g_bTextureFlip; }

}  // namespace trt
