#include "platform/imaging/rgba_pixels.h"

#include <utility>

namespace KT::Imaging {

namespace {

constexpr std::size_t kMaxSpareBytes = std::size_t{64} << 20;

std::vector<std::uint8_t>& Spare() {
  thread_local std::vector<std::uint8_t> spare;
  return spare;
}

}  // namespace

std::vector<std::uint8_t> TakeSpareBlock() {
  std::vector<std::uint8_t> block = std::move(Spare());
  Spare() = std::vector<std::uint8_t>();
  block.clear();
  return block;
}

void KeepSpareBlock(std::vector<std::uint8_t>&& block) {
  if (block.capacity() > kMaxSpareBytes || block.capacity() <= Spare().capacity()) {
    std::vector<std::uint8_t>().swap(block);
    return;
  }
  Spare() = std::move(block);
}

}  // namespace KT::Imaging
