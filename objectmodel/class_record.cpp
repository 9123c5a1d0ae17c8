#include "objectmodel/class_record.h"

#include <array>
#include <cstring>
#include <map>

#include "objectmodel/string_helpers.h"

namespace KT {

bool ClassRecord::IsKindOf(const ClassRecord& other) const {
  for (const ClassRecord* r = this; r != nullptr; r = r->parent) {
    if (r->id == other.id) return true;
  }
  return false;
}

u64 MakeClassId(std::string_view name, i32 k) {
  std::string s = ToLowerClassic(std::string(name));
  const u64 length = s.size();  // taken before any vowel is squeezed out
  const std::size_t n = length > 12 ? 11 : (length == 0 ? 0 : length - 1);
  if (length > 12) {
    std::size_t i = 1;
    while (i != 12 && s.size() > 12) {
      const char c = s[i];
      if (c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u') {
        s.erase(i, 1);
      } else {
        ++i;
      }
    }
  }
  u64 acc = 0;
  // Character 0 (the leading 'c' of every class name) never enters; digits
  // and '_' contribute negative amounts through the signed difference.
  for (std::size_t j = n; j >= 1; --j) {
    const i64 diff = static_cast<i64>(static_cast<i8>(s[j])) - static_cast<i64>('a');
    acc = acc * 26 + static_cast<u64>(diff);
  }
  return (acc * 256 + length) * 16 + static_cast<u64>(static_cast<i64>(k));
}

namespace {

std::map<u64, std::string>& IdRegistry() {
  static std::map<u64, std::string> registry;
  return registry;
}

struct ClassTable {
  std::array<ClassRecord, kClassRecordCount> records{};
  std::array<bool, kClassRecordCount> answers{};

  ClassTable() {
    struct Row {
      const char* name;
      const char* parent;
      u32 major;
      u32 minor;
    };
    // A root row names KT_NO_PARENT, which ParentName turns into null.
#define KT_CLASS(name, parent, major, minor) {#name, ParentName(#parent), major, minor},
    static const Row rows[] = {
#include "objectmodel/class_list.inc"
    };
#undef KT_CLASS
    static_assert(sizeof(rows) / sizeof(rows[0]) == kClassRecordCount);
    for (u32 i = 0; i < kClassRecordCount; ++i) {
      records[i].name = rows[i].name;
      records[i].major = rows[i].major;
      records[i].minor = rows[i].minor;
    }
    for (u32 i = 0; i < kClassRecordCount; ++i) {
      if (rows[i].parent == nullptr) continue;
      for (u32 j = 0; j < kClassRecordCount; ++j) {
        if (std::strcmp(rows[j].name, rows[i].parent) == 0) {
          records[i].parent = &records[j];
          break;
        }
      }
    }
    // Start-up registration: id from the name, registry entry, then the
    // record's id field.
    for (u32 i = 0; i < kClassRecordCount; ++i) {
      const u64 id = MakeClassId(records[i].name, 0);
      answers[i] = RegisterClassId(records[i].name, id);
      records[i].id = id;
    }
  }

  static constexpr const char* ParentName(const char* text) {
    return (text[0] == 'K' && text[1] == 'T' && text[2] == '_') ? nullptr : text;
  }
};

ClassTable& Table() {
  static ClassTable table;
  return table;
}

// Registration runs while the library loads, before the first object exists.
[[maybe_unused]] const bool g_registered = (Table(), true);

}  // namespace

bool RegisterClassId(std::string_view name, u64 id) {
  return IdRegistry().emplace(id, std::string(name)).second;
}

const ClassRecord& GetClassRecordAt(ClassIndex index) {
  return Table().records[static_cast<u32>(index)];
}

const ClassRecord* GetClassRecordTable() { return Table().records.data(); }

const ClassRecord* FindClassRecord(std::string_view name) {
  for (const ClassRecord& r : Table().records) {
    if (name == r.name) return &r;
  }
  return nullptr;
}

bool GetClassRegistrationAnswer(ClassIndex index) {
  return Table().answers[static_cast<u32>(index)];
}

}  // namespace KT
