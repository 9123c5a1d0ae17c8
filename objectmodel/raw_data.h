// KT::CRawData: an opaque byte block carried beside the scene content, and
// KT::CXmlRawData, the same holding XML text.
#pragma once

#include <string_view>
#include <vector>

#include "objectmodel/custom_data.h"

namespace KT {

class CRawData : public CCustomData {
  KT_DECLARE_CLASS(CRawData)

 public:
  // Encodings of the stored bytes.
  static constexpr u32 kEncodingPlain = 0;
  static constexpr u32 kEncodingInverted = 1;  // each byte complemented

  CRawData() = default;
  // Copies Name and the bytes; Next stays empty.
  CRawData(const CRawData& other) = default;

  // ByteSize is 0 exactly when the record holds no bytes.
  u32 GetByteSize() const { return static_cast<u32>(bytes_.size()); }
  const u8* GetBytes() const { return bytes_.empty() ? nullptr : bytes_.data(); }
  // Replaces the bytes with a copy of `size` bytes. Null bytes or size 0:
  // kErrInvalidArg, old bytes kept. Allocation failure: kErrOutOfMemory and
  // no bytes left.
  Result SetData(u32 size, const void* bytes);

  // The form in which Save stores the bytes.
  virtual u32 GetEncoding() const { return kEncodingPlain; }

  Result CreateInstance(CPointer<CBase>& out) const override;
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  std::vector<u8> bytes_;
};

class CXmlRawData : public CRawData {
  KT_DECLARE_CLASS(CXmlRawData)

 public:
  // Its own version pair appears in files from this version on.
  static constexpr i32 kFirstVersionedFile = 201;

  CXmlRawData() = default;
  CXmlRawData(const CXmlRawData& other) = default;

  Result CreateInstance(CPointer<CBase>& out) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
};

// The template of the behaviour script that the exporter attaches to props
// as a CXmlRawData record: it parses this text, fills in its commands and
// clips and stores the printed result.
inline constexpr std::string_view kBehaviourScriptTemplate =
    "<?xml version='1.0' encoding='UTF-8'?><!-- Ostrel3 FenwaScript --><zObject Name='Object'><Commands>"
    "<Perform></Perform></Commands><Clips></Clips></zObject>";

}  // namespace KT
