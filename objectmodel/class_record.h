// Static class records, class ids and the class-id registry.
//
// Every class of the object model has one record: its name, its parent's
// record, its version and a 64-bit id computed from the name. Run-time type
// tests walk the parent chain comparing ids; no compiler RTTI is involved.
// The 174 records exist as one table from start-up on, whether or not the
// class they describe has been written yet.
#pragma once

#include <string>
#include <string_view>

#include "objectmodel/types.h"

namespace KT {

struct ClassRecord {
  const char* name = nullptr;           // class name written in front of each record
  const ClassRecord* parent = nullptr;  // null for a root record
  u32 major = 0;
  u32 minor = 0;
  u64 id = 0;  // filled by start-up registration

  // major * 100 + minor, the form in which versions are compared.
  u32 Version() const { return major * 100 + minor; }
  // True when this record or one of its ancestors has the id of `other`.
  bool IsKindOf(const ClassRecord& other) const;
};

// Index of each record in the start-up table, named after its class.
enum class ClassIndex : u32 {
#define KT_CLASS(name, parent, major, minor) name,
#include "objectmodel/class_list.inc"
#undef KT_CLASS
  Count
};

inline constexpr u32 kClassRecordCount = static_cast<u32>(ClassIndex::Count);

// The record at `index`. The first call runs start-up registration, so ids
// are set whichever static initialiser asks first.
const ClassRecord& GetClassRecordAt(ClassIndex index);
// All records in table order.
const ClassRecord* GetClassRecordTable();
// The record with exactly this class name, or null.
const ClassRecord* FindClassRecord(std::string_view name);
// The answer RegisterClassId gave for the record at `index` at start-up.
bool GetClassRegistrationAnswer(ClassIndex index);

// Class id of a class name: lower-cased (classic locale), vowels squeezed out
// of long names, characters 1..n folded base 26, then length and k appended.
u64 MakeClassId(std::string_view name, i32 k);

// Enters id -> name into the process-wide class-id registry. The first holder
// of an id keeps it: a second registration changes nothing and answers false.
bool RegisterClassId(std::string_view name, u64 id);

}  // namespace KT
