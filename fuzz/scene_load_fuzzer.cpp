// libFuzzer target: every input is taken as a scene file and put through
// the load, describe, save and reload round trip.
#include <cstddef>
#include <cstdint>

#include "fuzz/scene_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KT::fuzz::RunSceneRoundTrip(data, size);
  return 0;
}
