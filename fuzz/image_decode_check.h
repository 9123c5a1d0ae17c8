// The check that the image-decode fuzzer and the image corpus replay run
// on one input: the bytes through every decoding route of the codec
// bridge.
#pragma once

#include <cstddef>
#include <cstdint>

namespace KT::fuzz {

// Decodes `size` bytes through the image library with each format name
// (codes 1-6), through the system decoder and through the Radiance
// decoder. Failing to decode is fine as long as each route answers its own
// codes. Each of these is a fault and ends the process with abort() after
// one line on stderr:
// - a route answers a code it does not document (image library: 0,
//   0x80000002, 0x80000006; system decoder: 0, 0x80000002, 0x80000000;
//   Radiance: 0, 0x80000003, 0x80000006, 0x80000002);
// - a success leaves a buffer without pixels, of a side above 16384, or of
//   a layout the route does not produce;
// - a small decoded image (at most 64 x 64) fails to encode again as PNG,
//   TGA or Radiance.
void RunImageDecode(const std::uint8_t* data, std::size_t size);

}  // namespace KT::fuzz
