// KT::basic_momerybuf, KT::basic_imemorystream, KT::basic_omemorystream:
// character streams over one growable block of memory. The image codecs
// encode into and decode from memory through them.
//
// The buffer behaves as the standard string stream buffer does, over a
// block it manages itself:
//  - a high-water mark remembers the furthest byte ever put; reading and
//    seeking reach up to it;
//  - the mode word holds the bits below;
//  - when a character is put and the put area is full, the block grows by
//    half its size, at least 32 bytes, the increment halved while the new
//    size would pass 2^31 - 1 (NextBlockSize); when it cannot grow (the
//    limit, a constant buffer, no memory) the put fails with eof and the
//    stream sets its bad bit. No exception leaves the buffer.
#pragma once

#include <cstddef>
#include <cstring>
#include <istream>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>

namespace KT {

template <class Elem, class Traits = std::char_traits<Elem>>
class basic_momerybuf : public std::basic_streambuf<Elem, Traits> {
  using Base = std::basic_streambuf<Elem, Traits>;

 public:
  using int_type = typename Traits::int_type;
  using pos_type = typename Traits::pos_type;
  using off_type = typename Traits::off_type;

  // Mode bits.
  static constexpr unsigned kAllocated = 1;  // the block is owned and freed by the buffer
  static constexpr unsigned kConstant = 2;   // reading only: nothing may be put
  static constexpr unsigned kNoRead = 4;     // writing only: nothing may be read
  static constexpr unsigned kAppend = 8;     // every put goes to the high-water mark
  static constexpr unsigned kAtEnd = 16;     // the put position starts at the end

  // The largest block: sizes stay within a signed 32-bit count.
  static constexpr std::size_t kMaxBlockSize = 0x7FFFFFFF;

  // Writing: an empty block, mode kNoRead.
  basic_momerybuf() : mode_(kNoRead) {}

  // Reading: mode `mode` (kConstant unless a caller asks for more); when
  // `bytes` is given, `count` of them are copied into a new owned block
  // and the read area is set over it. Without kConstant the put area
  // covers the same block (at its end with kAtEnd or kAppend). A copy that
  // cannot be allocated leaves the buffer empty.
  basic_momerybuf(const Elem* bytes, std::streamsize count, unsigned mode = kConstant) : mode_(mode) {
    if (bytes != nullptr) _Init(bytes, count);
  }

  ~basic_momerybuf() override { _Tidy(); }

  basic_momerybuf(const basic_momerybuf&) = delete;
  basic_momerybuf& operator=(const basic_momerybuf&) = delete;

  // The bytes put or given so far: from the block's start to the
  // high-water mark.
  const Elem* data() const { return block_; }
  std::size_t size() const {
    Elem* high = HighWater();
    return high != nullptr ? static_cast<std::size_t>(high - block_) : 0;
  }
  std::basic_string<Elem, Traits> str() const { return std::basic_string<Elem, Traits>(block_, size()); }
  // Size of the block (its capacity).
  std::size_t capacity() const { return blockSize_; }
  unsigned mode() const { return mode_; }

  // The block size after growing one of `oldSize` elements: oldSize plus
  // an increment of half of it, at least 32, halved while the sum would
  // pass kMaxBlockSize; 0 when the block cannot grow.
  static std::size_t NextBlockSize(std::size_t oldSize) {
    if (oldSize >= kMaxBlockSize) return 0;
    std::size_t increment = oldSize / 2 < 32 ? 32 : oldSize / 2;
    while (increment > 0 && oldSize + increment > kMaxBlockSize) increment /= 2;
    return increment > 0 ? oldSize + increment : 0;
  }

 protected:
  int_type overflow(int_type c) override {
    if (Traits::eq_int_type(c, Traits::eof())) return Traits::not_eof(c);
    if ((mode_ & kConstant) != 0) return Traits::eof();
    if ((mode_ & kAppend) != 0 && this->pptr() != nullptr) {
      // Every put goes to the high-water mark (a seek left the put area
      // empty so that each put comes here).
      RaiseHighWater();
      this->setp(block_, block_ + blockSize_);
      this->pbump(static_cast<int>(seekHigh_ - block_));
    }
    if (this->pptr() != nullptr && this->pptr() < this->epptr()) {
      *this->pptr() = Traits::to_char_type(c);
      this->pbump(1);
      RaiseHighWater();
      return c;
    }
    if (!Grow()) return Traits::eof();
    *this->pptr() = Traits::to_char_type(c);
    this->pbump(1);
    RaiseHighWater();
    if ((mode_ & kNoRead) == 0) this->setg(this->eback(), this->gptr(), this->pptr());
    return c;
  }

  // Puts a character back before the read position. A different
  // character than the one there is refused in constant mode.
  int_type pbackfail(int_type c) override {
    if (this->gptr() == nullptr || this->gptr() <= this->eback()) return Traits::eof();
    const bool isEof = Traits::eq_int_type(c, Traits::eof());
    if (!isEof && !Traits::eq(Traits::to_char_type(c), this->gptr()[-1]) && (mode_ & kConstant) != 0) {
      return Traits::eof();
    }
    this->gbump(-1);
    if (!isEof) *this->gptr() = Traits::to_char_type(c);
    return Traits::not_eof(c);
  }

  // Reads up to the high-water mark.
  int_type underflow() override {
    if (this->gptr() == nullptr) return Traits::eof();
    if (this->gptr() < this->egptr()) return Traits::to_int_type(*this->gptr());
    if ((mode_ & kNoRead) != 0) return Traits::eof();
    RaiseHighWater();
    if (seekHigh_ == nullptr || seekHigh_ <= this->gptr()) return Traits::eof();
    this->setg(this->eback(), this->gptr(), seekHigh_);
    return Traits::to_int_type(*this->gptr());
  }

  // Beginning, current or end (the high-water mark). A target outside
  // 0..high-water, an unknown direction, or seeking a position the buffer
  // does not have answers the invalid position and moves nothing.
  pos_type seekoff(off_type off, std::ios_base::seekdir way,
                   std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override {
    RaiseHighWater();
    const pos_type invalid = pos_type(off_type(-1));
    const bool wantIn = (which & std::ios_base::in) != 0 && (mode_ & kNoRead) == 0;
    const bool wantOut = (which & std::ios_base::out) != 0 && (mode_ & kConstant) == 0;
    if (!wantIn && !wantOut) return invalid;
    if (wantIn && wantOut && way == std::ios_base::cur) return invalid;
    if (wantIn && this->gptr() == nullptr && off != 0) return invalid;
    if (wantOut && this->pptr() == nullptr && off != 0) return invalid;
    if (block_ == nullptr) return off == 0 ? pos_type(0) : invalid;
    const off_type high = static_cast<off_type>(seekHigh_ - block_);
    off_type base = 0;
    if (way == std::ios_base::end) {
      base = high;
    } else if (way == std::ios_base::cur) {
      base = wantIn ? static_cast<off_type>(this->gptr() - this->eback())
                    : static_cast<off_type>(this->pptr() - this->pbase());
    } else if (way != std::ios_base::beg) {
      return invalid;
    }
    if (off < -base || off > high - base) return invalid;
    const off_type target = base + off;
    if (wantIn) this->setg(block_, block_ + target, seekHigh_);
    if (wantOut) {
      // In append mode the put area ends at the position, so the next put
      // reaches overflow, which moves it to the high-water mark.
      this->setp(block_, (mode_ & kAppend) != 0 ? block_ + target : block_ + blockSize_);
      this->pbump(static_cast<int>(target));
    }
    return pos_type(target);
  }

  pos_type seekpos(pos_type pos,
                   std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }

 private:
  // Copies `count` elements into a new owned block and sets the areas
  // over it.
  void _Init(const Elem* bytes, std::streamsize count) {
    if (count <= 0 || static_cast<std::size_t>(count) > kMaxBlockSize) return;
    const auto n = static_cast<std::size_t>(count);
    Elem* block = new (std::nothrow) Elem[n];
    if (block == nullptr) return;
    std::memcpy(block, bytes, n * sizeof(Elem));
    block_ = block;
    blockSize_ = n;
    seekHigh_ = block + n;
    mode_ |= kAllocated;
    if ((mode_ & kNoRead) == 0) this->setg(block, block, block + n);
    if ((mode_ & kConstant) == 0) {
      this->setp(block, block + n);
      if ((mode_ & (kAtEnd | kAppend)) != 0) this->pbump(static_cast<int>(n));
    }
  }

  // Frees an owned block, clears the areas, the owned bit and the
  // high-water mark.
  void _Tidy() {
    if ((mode_ & kAllocated) != 0) delete[] block_;
    block_ = nullptr;
    blockSize_ = 0;
    seekHigh_ = nullptr;
    this->setg(nullptr, nullptr, nullptr);
    this->setp(nullptr, nullptr);
    mode_ &= ~kAllocated;
  }

  Elem* HighWater() const {
    Elem* high = seekHigh_;
    if (this->pptr() != nullptr && (high == nullptr || this->pptr() > high)) high = this->pptr();
    return high;
  }
  void RaiseHighWater() { seekHigh_ = HighWater(); }

  // Moves the contents into a larger block; false when it cannot grow.
  bool Grow() {
    const std::size_t newSize = NextBlockSize(blockSize_);
    if (newSize == 0) return false;
    Elem* block = new (std::nothrow) Elem[newSize];
    if (block == nullptr) return false;
    RaiseHighWater();
    const std::size_t used = size();
    if (used > 0) std::memcpy(block, block_, used * sizeof(Elem));
    const std::ptrdiff_t putAt = this->pptr() != nullptr ? this->pptr() - block_ : 0;
    const std::ptrdiff_t getAt = this->gptr() != nullptr ? this->gptr() - block_ : 0;
    if ((mode_ & kAllocated) != 0) delete[] block_;
    block_ = block;
    blockSize_ = newSize;
    seekHigh_ = block + used;
    mode_ |= kAllocated;
    this->setp(block, block + newSize);
    this->pbump(static_cast<int>(putAt));
    if ((mode_ & kNoRead) == 0) this->setg(block, block + getAt, seekHigh_);
    return true;
  }

  Elem* block_ = nullptr;
  std::size_t blockSize_ = 0;
  Elem* seekHigh_ = nullptr;
  unsigned mode_;
};

// An input stream over a buffer built from bytes (a copy: the caller's
// bytes may go away).
template <class Elem, class Traits = std::char_traits<Elem>>
class basic_imemorystream : public std::basic_istream<Elem, Traits> {
 public:
  basic_imemorystream(const Elem* bytes, std::streamsize count)
      : std::basic_istream<Elem, Traits>(nullptr), buffer_(bytes, count) {
    this->init(&buffer_);
  }
  basic_momerybuf<Elem, Traits>* rdbuf() const { return const_cast<basic_momerybuf<Elem, Traits>*>(&buffer_); }

 private:
  basic_momerybuf<Elem, Traits> buffer_;
};

// An output stream over an empty growable buffer; data() and size() give
// what was written.
template <class Elem, class Traits = std::char_traits<Elem>>
class basic_omemorystream : public std::basic_ostream<Elem, Traits> {
 public:
  basic_omemorystream() : std::basic_ostream<Elem, Traits>(nullptr) { this->init(&buffer_); }
  basic_momerybuf<Elem, Traits>* rdbuf() const { return const_cast<basic_momerybuf<Elem, Traits>*>(&buffer_); }
  const Elem* data() const { return buffer_.data(); }
  std::size_t size() const { return buffer_.size(); }

 private:
  basic_momerybuf<Elem, Traits> buffer_;
};

using momerybuf = basic_momerybuf<char>;
using imemorystream = basic_imemorystream<char>;
using omemorystream = basic_omemorystream<char>;

extern template class basic_momerybuf<char>;
extern template class basic_imemorystream<char>;
extern template class basic_omemorystream<char>;

}  // namespace KT
