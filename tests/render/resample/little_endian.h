// Appends little-endian values to byte images of BMP and GIF files built
// in the tests.
#pragma once

#include <cstdint>
#include <vector>

namespace KT::Resample::TestBytes {

inline void Put16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

}  // namespace KT::Resample::TestBytes
