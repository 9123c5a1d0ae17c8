// The check that the scene-file fuzzer and the corpus replay run on one
// input: load it as a scene file, describe everything that loaded, save
// that, load the saved file again and compare.
#pragma once

#include <cstddef>
#include <cstdint>

namespace KT::fuzz {

// Masks of the first load: what a reader of content files asks for.
inline constexpr std::uint32_t kSkipMask = 0x1E;
inline constexpr std::uint32_t kWantedMask = 0x1F;

// Runs the round trip on `size` bytes at `data`. Input that fails to load
// is fine (it only has to fail cleanly). Once it has loaded, each of these
// is a fault and ends the process with abort() after one line on stderr:
// - saving what loaded fails;
// - loading the saved file fails;
// - what the saved file loads as describes differently from what the input
//   loaded as (thumbnail, object list, extension list, roots and everything
//   they reach);
// - saving and loading no longer change the file from the second save on
//   (the bytes must be a fixed point once object ids are numbered in load
//   order).
// Registers the custom data classes on first use. Renumbers the process's
// unique ids, so no other object may be alive across a call.
void RunSceneRoundTrip(const std::uint8_t* data, std::size_t size);

}  // namespace KT::fuzz
