// KT::CAudioData: one piece of sampled sound, the system's audio sample
// format. It keeps a 16-byte PCM wave-format block, the sample bytes
// (uninterpreted, owned alone: every copy duplicates them) and a Static
// flag. Several cues may share one object; nothing decodes or plays the
// samples, the object stores, copies and measures them.
//
// Record, after the KT::CDorun level (little-endian): version pair 2.01;
// the wave format in one 16-byte block (u16 FormatTag, u16 Channels, u32
// SamplesPerSec, u32 AvgBytesPerSec, u16 BlockAlign, u16 BitsPerSample);
// u32 DataSize; the DataSize sample bytes; Static (one byte, from 2.01).
// A DataSize beyond the bytes left in the stream is refused (kErrStream)
// before anything is allocated.
#pragma once

#include <memory>

#include "objectmodel/dorun.h"

namespace KT {

class CAudioData : public CDorun {
  KT_DECLARE_CLASS(CAudioData)

 public:
  // Version gate of the record.
  static constexpr u32 kVersionStatic = 201;  // Static stored from here on

  // The wave-format block, read and written whole.
  struct CWaveFormat {
    u16 FormatTag = 0;
    u16 Channels = 1;
    u32 SamplesPerSec = 22050;
    u32 AvgBytesPerSec = 44100;
    u16 BlockAlign = 2;
    u16 BitsPerSample = 16;
    bool operator==(const CWaveFormat&) const = default;
  };
  static_assert(sizeof(CWaveFormat) == 16, "the wave format is stored as one 16-byte block");

  // 16-bit mono at 22050 Hz (format tag 0), no samples, Static false.
  CAudioData();
  // The format and Static of `other`; the base levels as for a new object
  // (no name), no samples. CreateInstance adds the copy of the samples.
  CAudioData(const CAudioData& other);
  ~CAudioData() override;

  const CWaveFormat& GetFormat() const { return format_; }
  void SetFormat(const CWaveFormat& format) {
    format_ = format;
    SetModified();
  }
  u32 GetDataSize() const { return dataSize_; }
  // The sample bytes (null when DataSize is 0).
  const u8* GetSamples() const { return samples_.get(); }
  // Replaces the samples by a copy of `size` bytes of `bytes` (size 0
  // empties them). kOk; kErrInvalidArg for a null source of a size above 0;
  // kErrOutOfMemory when the bytes cannot be allocated (nothing changes).
  Result SetSamples(const u8* bytes, u32 size);
  bool IsStatic() const { return static_; }
  void SetStatic(bool value) {
    static_ = value;
    SetModified();
  }

  // The playing time in milliseconds: whole frames of (BitsPerSample / 8)
  // x Channels bytes (a partial frame is dropped) divided by SamplesPerSec,
  // the whole seconds and the remainder's fraction added in single
  // precision, times 1000. Fewer than 8 bits per sample, no channel or a
  // rate of 0 answer 0.0.
  f32 GetDuration() const;

  // --- CBase protocol -------------------------------------------------------------------
  // A copy with its own copy of the samples; kErrOutOfMemory when either
  // cannot be allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be sample data (else kErrNotFound, nothing changes):
  // format, Static and a copy of the samples; kErrOutOfMemory when the
  // copy cannot be allocated (the target keeps its samples).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The sample bytes are not counted.
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CWaveFormat format_;
  u32 dataSize_ = 0;
  std::unique_ptr<u8[]> samples_;
  bool static_ = false;
};

}  // namespace KT
