// KT::CPostEffect: the description of one full-screen effect as data: a
// kind code, an opaque parameter block, a list of variables (four floats
// each, tagged with a 32-bit word) and a list of entries that own other
// scene objects, each with four words and four floats. Nothing in the
// object model interprets them; the post-effect controller animates the
// variables through GetVariable and SetVariable.
//
// Record, after the KT::CDorun level (little-endian): version pair 1.01;
// Enabled (1 byte); Kind (u32); the parameters (u32 byte count, bytes);
// the variables (u32 count, then Id (u32) and Value (4 x f32) each); the
// object entries (u32 count, then the object's id (8 bytes, 0 when
// empty), Words (4 x u32) and Value (4 x f32) each); the trailing word
// (u32). Records of 1.00 end before the trailing word.
//
// Its fields are not described to the member visitor: DescribeMembers is
// the scene object's.
#pragma once

#include <array>
#include <vector>

#include "objectmodel/buffer.h"
#include "objectmodel/dorun.h"

namespace KT {

class CPostEffect : public CDorun {
  KT_DECLARE_CLASS(CPostEffect)

 public:
  static constexpr u32 kVersionTrailingWord = 101;  // the trailing word stored

  using Float4 = std::array<f32, 4>;
  // A variable: 20 bytes on disk.
  struct CValueEntry {
    u32 Id = 0;
    Float4 Value{};
  };
  // An entry that owns an object: 40 bytes on disk (36 in memory).
  struct CObjectEntry {
    CPointer<CBase> Object;
    std::array<u32, 4> Words{};
    Float4 Value{};
  };

  CPostEffect() = default;
  // Enabled, Kind, the parameters, the trailing word and the variables;
  // the object list starts empty.
  CPostEffect(const CPostEffect& other);
  ~CPostEffect() override;

  // --- variables ----------------------------------------------------------------
  u32 GetVariableCount() const { return static_cast<u32>(values_.size()); }
  // The four floats of variable `index`: kErrOutOfRange (0x80000004) at or
  // past the end (`value` untouched), else kOk.
  Result GetVariable(u32 index, Float4& value) const;
  // Sets the four floats of variable `index` and marks the effect
  // modified: kErrOutOfRange at or past the end (nothing changed), else kOk.
  Result SetVariable(u32 index, const Float4& value);
  const std::vector<CValueEntry>& GetValueEntries() const { return values_; }
  // Appends a variable; marks the effect modified. kOk or kErrOutOfMemory.
  Result AddVariable(u32 id, const Float4& value);

  // --- object entries ------------------------------------------------------------
  const std::vector<CObjectEntry>& GetObjectEntries() const { return objects_; }
  // Appends an entry owning `object` (may be null). The effect itself or
  // an object that holds it: kErrInvalidArg, nothing changed. Marks the
  // effect modified; kOk or kErrOutOfMemory.
  Result AddObjectEntry(CBase* object, const std::array<u32, 4>& words, const Float4& value);

  // --- parameters ----------------------------------------------------------------
  const CBuffer<char>& GetParameters() const { return parameters_; }
  // Replaces the parameter bytes (a copy of `count` bytes at `bytes`);
  // marks the effect modified. kOk or kErrOutOfMemory (unchanged).
  Result SetParameters(const char* bytes, u32 count);

  // --- the object protocol --------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; every set object's (the first failure
  // returned), then the base's.
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base clone (kDone or a failure ends it); then the copy's entries
  // are the source's with each object replaced by its clone through the
  // same map, so entries sharing an object share its clone.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not a post effect: kErrNotFound, nothing
  // changed. Else the base part, Enabled, Kind, the trailing word, the
  // parameters, the variables and the object entries (objects shared; the
  // target's former ones go to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Each entry's object from the next stored id; one that would hold the
  // effect is refused (kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  bool Enabled = true;
  u32 Kind = 0;
  u32 TrailingWord = 0;

 private:
  std::vector<CBase*> Objects() const;

  CBuffer<char> parameters_;
  std::vector<CValueEntry> values_;
  std::vector<CObjectEntry> objects_;
};

}  // namespace KT
