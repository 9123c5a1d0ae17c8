#include "scene/member_text_writer.h"

#include <cinttypes>
#include <cstdio>
#include <string_view>

#include "objectmodel/color.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/string_helpers.h"
#include "objectmodel/vector.h"
#include "scene/bit_array.h"
#include "scene/bound.h"

namespace KT {

namespace {

std::string Narrow(const char16_t* text) { return text != nullptr ? WideToUtf8(WString(text)) : std::string(); }

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.9g", value);
  return buffer;
}

std::string Quote(const WString& text) { return std::string("\"") + WideToUtf8(text) + "\""; }

}  // namespace

void CMemberTextWriter::Line(const char16_t* name, const std::string& value) {
  text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  text_ += Narrow(name);
  text_ += " = ";
  text_ += value;
  text_ += '\n';
}

void CMemberTextWriter::Floats(const char16_t* name, const f32* values, u32 count) {
  std::string out = "(";
  for (u32 i = 0; i < count; ++i) {
    if (i != 0) out += ", ";
    out += Number(values[i]);
  }
  Line(name, out + ")");
}

void CMemberTextWriter::OpenGroup() { ++depth_; }

void CMemberTextWriter::EndGroup() {
  if (depth_ > 0) --depth_;
}

void CMemberTextWriter::RecordArray(const char16_t* name, u32 count,
                                    const std::function<void(u32 index, CMemberVisitor&)>& describe) {
  Line(name, std::string("[") + std::to_string(count) + "]");
  ++depth_;
  for (u32 i = 0; i < count; ++i) {
    text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
    text_ += '[';
    text_ += std::to_string(i);
    text_ += "]\n";
    ++depth_;
    describe(i, *this);
    --depth_;
  }
  --depth_;
}

void CMemberTextWriter::BeginGroup(const char16_t* name) {
  text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  text_ += Narrow(name);
  text_ += '\n';
}

void CMemberTextWriter::FlagSet(const char16_t* name, const u32* bits, const char16_t* const* names, u32 count) {
  std::string out;
  for (u32 i = 0; i < count && i < 32; ++i) {
    if ((*bits & (1u << i)) == 0) continue;
    if (!out.empty()) out += "|";
    out += names != nullptr ? Narrow(names[i]) : std::to_string(i);
  }
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08X", *bits);
  Line(name, std::string(hex) + (out.empty() ? "" : std::string(" ") + out));
}

void CMemberTextWriter::Bool(const char16_t* name, const bool* value) {
  if (stableOnly_ && std::u16string_view(name) == u"Modified") return;
  Line(name, *value ? "true" : "false");
}

void CMemberTextWriter::WideString(const char16_t* name, const WString* value) { Line(name, Quote(*value)); }
void CMemberTextWriter::Int(const char16_t* name, const i32* value) { Line(name, std::to_string(*value)); }

void CMemberTextWriter::UInt(const char16_t* name, const u32* value) {
  // The reference count and a memory-library block id change from one
  // load to the next without the object changing.
  if (stableOnly_ && (std::u16string_view(name) == u"References" || std::u16string_view(name) == u"lMMFID")) return;
  Line(name, std::to_string(*value));
}

void CMemberTextWriter::Time(const char16_t* name, const i32* value) { Line(name, std::to_string(*value) + " ms"); }
void CMemberTextWriter::UShort(const char16_t* name, const u16* value) { Line(name, std::to_string(*value)); }
void CMemberTextWriter::Float(const char16_t* name, const f32* value) { Line(name, Number(*value)); }

void CMemberTextWriter::TransitionTime(const char16_t* name, const i32* value) {
  Line(name, std::to_string(*value) + " ms");
}

void CMemberTextWriter::Enum(const char16_t* name, const i32* value, const char16_t* const* names, u32 count) {
  std::string out = std::to_string(*value);
  if (names != nullptr && *value >= 0 && static_cast<u32>(*value) < count) out += std::string(" ") + Narrow(names[*value]);
  Line(name, out);
}

void CMemberTextWriter::Color(const char16_t* name, const CColor* value) { Floats(name, &value->r, 4); }
void CMemberTextWriter::Color2(const char16_t* name, const CColor* value) { Floats(name, &value->r, 4); }

void CMemberTextWriter::Dimension(const char16_t* name, const u32* width, const u32* height) {
  Line(name, std::to_string(*width) + " x " + std::to_string(*height));
}

void CMemberTextWriter::Point2(const char16_t* name, const CVector2* value) { Floats(name, &value->x, 2); }
void CMemberTextWriter::Vector3(const char16_t* name, const CVector3<float>* value) { Floats(name, &value->x, 3); }

void CMemberTextWriter::Matrix3(const char16_t* name, const CMatrix3* value) {
  Floats(name, &value->m[0][0], 9);
}

void CMemberTextWriter::Matrix4(const char16_t* name, const CMatrix4* value) {
  Floats(name, &value->m[0][0], 16);
}

void CMemberTextWriter::Rts(const char16_t* name, const CRtsTransform* value) {
  // The transform record is fifteen packed floats: Sign, Scale (3),
  // Stretch (4), Rotate (4), Translate (3).
  const f32* f = reinterpret_cast<const f32*>(value);
  const auto group = [&](u32 first, u32 count) {
    std::string out = "(";
    for (u32 i = 0; i < count; ++i) {
      if (i != 0) out += ", ";
      out += Number(f[first + i]);
    }
    return out + ")";
  };
  std::string out = "sign ";
  out += Number(f[0]);
  out += " scale ";
  out += group(1, 3);
  out += " stretch ";
  out += group(4, 4);
  out += " rotate ";
  out += group(8, 4);
  out += " translate ";
  out += group(12, 3);
  Line(name, out);
}
void CMemberTextWriter::Bound(const char16_t* name, const CBound* value) {
  if (value == nullptr) {
    Line(name, "null");
    return;
  }
  const auto vector = [](const CVector3<float>& v) {
    return std::string("(") + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + ")";
  };
  Line(name, std::string("radius ") + Number(value->Radius) + " center " + vector(value->Center) + " min " +
                 vector(value->Min) + " max " + vector(value->Max));
}
void CMemberTextWriter::Image(const char16_t* name, const CImage*) { Line(name, "<image>"); }
void CMemberTextWriter::CustomId(const char16_t* name, const u32* value) { Line(name, std::to_string(*value)); }
// "[bit count]" followed by the set bits, runs of neighbours as "first-last":
// "[40] 0-3 7 32". An array without words says so.
void CMemberTextWriter::BitArray(const char16_t* name, const CBitArray* value) {
  if (value == nullptr) {
    Line(name, "null");
    return;
  }
  std::string out = std::string("[") + std::to_string(value->GetBitCount()) + "]";
  if (!value->HasWords()) {
    Line(name, out + (value->GetBitCount() > 0 ? " no words" : ""));
    return;
  }
  const i32 count = value->GetBitCount();
  for (i32 i = 0; i < count; ++i) {
    if (!value->GetBit(i)) continue;
    i32 last = i;
    while (last + 1 < count && value->GetBit(last + 1)) ++last;
    out += std::string(" ") + std::to_string(i);
    if (last != i) out += std::string("-") + std::to_string(last);
    i = last;
  }
  Line(name, out);
}

void CMemberTextWriter::UIntArray(const char16_t* name, const u32* values, u32 count) {
  std::string out = std::string("[") + std::to_string(count) + "]";
  for (u32 i = 0; i < count; ++i) {
    out += ' ';
    out += std::to_string(values[i]);
  }
  Line(name, out);
}

void CMemberTextWriter::VectorArray(const char16_t* name, const CVector3<float>* values, u32 count) {
  Floats(name, count != 0 ? &values[0].x : nullptr, 3 * count);
}

void CMemberTextWriter::FlagArray(const char16_t* name, const u8* values, u32 count) {
  std::string out = std::string("[") + std::to_string(count) + "] ";
  for (u32 i = 0; i < count; ++i) out += values[i] != 0 ? '1' : '0';
  Line(name, out);
}

void CMemberTextWriter::FloatPairArray(const char16_t* name, const f32* pairs, u32 count) {
  Floats(name, pairs, 2 * count);
}

void CMemberTextWriter::FloatArray(const char16_t* name, const f32* values, u32 count) {
  Floats(name, values, count);
}

void CMemberTextWriter::VectorList(const char16_t* name, const std::vector<CVector3<float>>* values) {
  VectorArray(name, values->data(), static_cast<u32>(values->size()));
}

void CMemberTextWriter::VectorList2(const char16_t* name, const std::vector<CVector3<float>>* values) {
  VectorArray(name, values->data(), static_cast<u32>(values->size()));
}

void CMemberTextWriter::MatrixList(const char16_t* name, const std::vector<CMatrix4>* values) {
  Floats(name, values->empty() ? nullptr : &(*values)[0].m[0][0], 16 * static_cast<u32>(values->size()));
}

void CMemberTextWriter::U64(const char16_t* name, u64 value) {
  if (stableOnly_ && std::u16string_view(name) == u"VuskID") return;
  Line(name, std::to_string(value));
}

void CMemberTextWriter::ObjectRef(const char16_t* name, const CBase* object) {
  Line(name, DescribeReference(object));
}

std::string DescribeReference(const CBase* object) {
  if (object == nullptr) return "null";
  return std::string(object->GetClassRecord().name) + " " + Quote(object->GetName());
}

std::string DescribeObject(CBase& object, bool stableOnly, int indent) {
  CMemberTextWriter writer(stableOnly, indent + 1);
  object.DescribeMembers(writer);
  return std::string(static_cast<std::size_t>(indent) * 2, ' ') + DescribeReference(&object) + "\n" +
         writer.GetText();
}

}  // namespace KT
