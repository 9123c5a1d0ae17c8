#include "treeruntime/tree_file_access.h"

#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "treeruntime/bezier_spline.h"

namespace trt {

TreeFileError::TreeFileError(const char* format, ...) {
  char message[kMessageSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  m_strText = std::string(message) + " []";
}

TreeFileError TreeFileError::WithSystemError(const char* message, const char* systemError) {
  TreeFileError error;
  char buffer[kMessageSize];
  std::snprintf(buffer, sizeof(buffer), "%s", message != nullptr ? message : "");
  error.m_strText = std::string(buffer) + " [" + (systemError != nullptr ? systemError : "") + "]";
  return error;
}

CTreeFileAccess::CTreeFileAccess() = default;

CTreeFileAccess::CTreeFileAccess(const void* data, std::size_t size) {
  if (data != nullptr && size > 0) {
    // The read position is 32 bits wide; larger blocks are not tree data.
    if (size > UINT32_MAX) throw BadAllocation();
    const std::uint8_t* bytes = static_cast<const std::uint8_t*>(data);
    m_vData.assign(bytes, bytes + size);
  }
}

void CTreeFileAccess::ThrowPrematureEnd() const {
  throw TreeFileError("premature end of file reached parsing %s", m_pContext);
}

std::size_t CTreeFileAccess::Take(std::size_t count) {
  if (count > BytesRemaining()) ThrowPrematureEnd();
  const std::size_t at = m_uPosition;
  m_uPosition += static_cast<std::uint32_t>(count);
  return at;
}

void CTreeFileAccess::RequireCount(std::int64_t count, std::size_t minimumBytes) const {
  if (count <= 0) return;
  if (static_cast<std::uint64_t>(count) > BytesRemaining() / (minimumBytes > 0 ? minimumBytes : 1)) {
    ThrowPrematureEnd();
  }
}

std::int32_t CTreeFileAccess::DecodeWord(std::size_t at) const {
  const std::uint32_t value = static_cast<std::uint32_t>(m_vData[at]) |
                              (static_cast<std::uint32_t>(m_vData[at + 1]) << 8) |
                              (static_cast<std::uint32_t>(m_vData[at + 2]) << 16) |
                              (static_cast<std::uint32_t>(m_vData[at + 3]) << 24);
  return std::bit_cast<std::int32_t>(value);
}

std::int32_t CTreeFileAccess::ParseToken() { return DecodeWord(Take(4)); }

std::int32_t CTreeFileAccess::PeekToken() const {
  if (BytesRemaining() < 4) ThrowPrematureEnd();
  return DecodeWord(m_uPosition);
}

float CTreeFileAccess::ParseFloat() { return std::bit_cast<float>(ParseToken()); }

std::int32_t CTreeFileAccess::ParseLong() {
  const std::int32_t value = ParseToken();
  Take(4);
  return value;
}

stVec3 CTreeFileAccess::ParseVector3() {
  stVec3 v;
  v.x = ParseFloat();
  v.y = ParseFloat();
  v.z = ParseFloat();
  return v;
}

void CTreeFileAccess::ParseString(std::string& target) {
  target.clear();
  const std::int32_t length = ParseToken();
  if (length < 0) throw TreeFileError("malformed string length parsing %s", m_pContext);
  const std::size_t at = Take(static_cast<std::size_t>(length));
  target.assign(reinterpret_cast<const char*>(m_vData.data() + at), static_cast<std::size_t>(length));
}

std::string CTreeFileAccess::ParseString() {
  std::string value;
  ParseString(value);
  return value;
}

std::uint8_t CTreeFileAccess::ParseByte() { return m_vData[Take(1)]; }

bool CTreeFileAccess::ParseBool() { return ParseByte() != 0; }

float CTreeFileAccess::ParseFraction() { return static_cast<float>(ParseByte() / 255.0); }

void CTreeFileAccess::ParseSpline(stBezierSpline& target) { target.Parse(ParseString()); }

void CTreeFileAccess::Append(const void* bytes, std::size_t count) {
  const std::uint8_t* p = static_cast<const std::uint8_t*>(bytes);
  m_vData.insert(m_vData.end(), p, p + count);
}

void CTreeFileAccess::SaveToken(std::int32_t value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                 static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  Append(bytes, sizeof(bytes));
}

void CTreeFileAccess::SaveFloat(float value) { SaveToken(std::bit_cast<std::int32_t>(value)); }

void CTreeFileAccess::SaveLong(std::int32_t value) {
  SaveToken(value);
  SaveToken(0);
}

void CTreeFileAccess::SaveVector3(const stVec3& value) {
  SaveFloat(value.x);
  SaveFloat(value.y);
  SaveFloat(value.z);
}

void CTreeFileAccess::SaveString(std::string_view value) {
  SaveToken(static_cast<std::int32_t>(value.size()));
  Append(value.data(), value.size());
}

void CTreeFileAccess::SaveByte(std::uint8_t value) { Append(&value, 1); }

void CTreeFileAccess::SaveBool(bool value) { SaveByte(value ? 1 : 0); }

void CTreeFileAccess::SaveFraction(float value) {
  if (value > 1.0f) {
    SaveByte(255);
  } else if (value > 0.0f) {
    SaveByte(static_cast<std::uint8_t>(TruncateToInt(value * 255.0) & 0xff));
  } else {
    SaveByte(0);
  }
}

void CTreeFileAccess::SaveSpline(const stBezierSpline& value) { SaveString(value.ToText()); }

std::uint8_t* CTreeFileAccess::ConvertMemoryToArray(std::uint32_t& size) const {
  std::uint8_t* array = TrackedNewArray<std::uint8_t>(m_vData.size(), "CTreeFileAccess::ConvertMemoryToArray, pArray");
  if (!m_vData.empty()) std::memcpy(array, m_vData.data(), m_vData.size());
  size = static_cast<std::uint32_t>(m_vData.size());
  return array;
}

std::string StripDirectories(std::string_view name) {
  const std::size_t cut = name.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

}  // namespace trt
