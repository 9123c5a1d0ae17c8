// libFuzzer target: every input is taken as an image file and decoded
// through every route of the codec bridge.
#include <cstddef>
#include <cstdint>

#include "fuzz/image_decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KT::fuzz::RunImageDecode(data, size);
  return 0;
}
