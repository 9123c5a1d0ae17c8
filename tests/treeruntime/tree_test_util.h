// Helpers shared by the tree-runtime tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "treeruntime/tree_file_access.h"

namespace trt::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const CTreeFileAccess& writer) {
  return Bytes(writer.GetData().begin(), writer.GetData().end());
}

// A reader over what `writer` wrote.
inline CTreeFileAccess ReaderOf(const CTreeFileAccess& writer) {
  return CTreeFileAccess(writer.GetData().data(), writer.GetData().size());
}

inline CTreeFileAccess ReaderOf(const Bytes& bytes) { return CTreeFileAccess(bytes.data(), bytes.size()); }

// The TreeFileError text `call` throws, or "(no error)".
template <typename F>
std::string TreeErrorText(F&& call) {
  try {
    call();
  } catch (const TreeFileError& e) {
    return e.Text();
  }
  return "(no error)";
}

// Builds a byte image token by token.
class Image {
 public:
  Image& Token(std::int32_t value) {
    file_.SaveToken(value);
    return *this;
  }
  Image& Float(float value) {
    file_.SaveFloat(value);
    return *this;
  }
  Image& Byte(std::uint8_t value) {
    file_.SaveByte(value);
    return *this;
  }
  Image& String(const std::string& value) {
    file_.SaveString(value);
    return *this;
  }
  Image& Vector(const stVec3& value) {
    file_.SaveVector3(value);
    return *this;
  }
  CTreeFileAccess Reader() const { return ReaderOf(file_); }
  Bytes Data() const { return BytesOf(file_); }

 private:
  CTreeFileAccess file_;
};

}  // namespace trt::test
