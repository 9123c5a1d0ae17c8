// BitArray: the host's bit set. Up to 32 bits live in one inline word that
// callers may read directly; longer arrays live in heap words and are read
// through IsEmptyImpl and GetNthBitImpl.
#pragma once

#include <vector>

#include "platform/host/max_types.h"

class BitArray {
 public:
  BitArray() = default;
  explicit BitArray(int bits) { SetSize(bits); }

  // Resizes to `bits` (negative counts as 0) and clears every bit.
  void SetSize(int bits);
  int GetSize() const { return size_; }

  // Sets or clears bit i; an index outside the array is ignored.
  void Set(int i, bool value = true);

  // The one word that holds the bits of an array of at most 32 bits.
  bool IsInline() const { return size_ <= 32; }
  DWORD GetInlineWord() const { return inline_; }

  bool IsEmpty() const { return IsInline() ? inline_ == 0 : IsEmptyImpl(); }
  int operator[](int i) const;

  // For arrays of any size: true when no bit is set; bit i (0 outside).
  bool IsEmptyImpl() const;
  int GetNthBitImpl(int i) const;

 private:
  int size_ = 0;
  DWORD inline_ = 0;
  std::vector<DWORD> words_;
};
