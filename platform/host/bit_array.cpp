#include "platform/host/bit_array.h"

void BitArray::SetSize(int bits) {
  size_ = bits < 0 ? 0 : bits;
  inline_ = 0;
  words_.clear();
  if (!IsInline()) words_.assign(static_cast<std::size_t>((size_ + 31) / 32), 0u);
}

void BitArray::Set(int i, bool value) {
  if (i < 0 || i >= size_) return;
  DWORD& word = IsInline() ? inline_ : words_[static_cast<std::size_t>(i / 32)];
  const DWORD mask = DWORD{1} << (i % 32);
  word = value ? (word | mask) : (word & ~mask);
}

int BitArray::operator[](int i) const {
  if (i < 0 || i >= size_) return 0;
  return IsInline() ? static_cast<int>((inline_ >> i) & 1u) : GetNthBitImpl(i);
}

bool BitArray::IsEmptyImpl() const {
  if (IsInline()) return inline_ == 0;
  for (const DWORD word : words_)
    if (word != 0) return false;
  return true;
}

int BitArray::GetNthBitImpl(int i) const {
  if (i < 0 || i >= size_) return 0;
  const DWORD word = IsInline() ? inline_ : words_[static_cast<std::size_t>(i / 32)];
  return static_cast<int>((word >> (i % 32)) & 1u);
}
