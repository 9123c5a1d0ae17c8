#include "objectmodel/types.h"

namespace KT {

const char* DescribeResult(Result r) {
  switch (static_cast<std::uint32_t>(r)) {
    case 0x00000000u: return "success";
    case 0x00000001u: return "success, nothing done";
    case 0x80000000u: return "a required object is missing";
    case 0x80000002u: return "allocation failed";
    case 0x80000003u: return "invalid argument or operation not allowed";
    case 0x80000004u: return "index out of range";
    case 0x80000005u: return "not found, wrong class or malformed data";
    case 0x80000006u: return "tree data failed, or the file cannot be opened";
    case 0x80000007u: return "the file size cannot be read";
    case 0x80000008u: return "image format not recognised";
    case 0x80000009u: return "class name not registered";
    case 0x8000000Au: return "stored version newer than the class understands";
    case 0x8000000Cu: return "stream read, write or seek failed, or duplicate object id";
    case 0x80030001u: return "reference missing from the clone map";
    case 0x80030002u: return "level-of-detail order violated";
    default: return r < 0 ? "unknown failure" : "success";
  }
}

}  // namespace KT
