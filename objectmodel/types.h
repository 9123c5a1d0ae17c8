// Fixed-width types and result codes shared by the whole object model.
#pragma once

#include <cstdint>
#include <string>

namespace KT {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i8 = std::int8_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;
using f32 = float;
using f64 = double;

// Object names and other wide text are UTF-16.
using WString = std::u16string;

// Every operation of the object model answers a 32-bit result code: 0 is
// success, 1 is success with nothing (more) to do, negative values are
// failures that callers pass up unchanged.
using Result = std::int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kDone = 1;

constexpr Result MakeFailure(std::uint32_t code) { return static_cast<Result>(code); }

inline constexpr Result kErrMissingObject = MakeFailure(0x80000000u);  // required object missing
inline constexpr Result kErrNotAvailable = MakeFailure(0x80000001u);   // operation not available for this class
inline constexpr Result kErrOutOfMemory = MakeFailure(0x80000002u);    // allocation failed
inline constexpr Result kErrInvalidArg = MakeFailure(0x80000003u);     // invalid argument or operation
inline constexpr Result kErrOutOfRange = MakeFailure(0x80000004u);     // index out of range
inline constexpr Result kErrNotFound = MakeFailure(0x80000005u);       // not found or wrong class
inline constexpr Result kErrTreeData = MakeFailure(0x80000006u);       // tree data failed, or file not opened
inline constexpr Result kErrFileSize = MakeFailure(0x80000007u);       // file size unreadable
inline constexpr Result kErrImageFormat = MakeFailure(0x80000008u);    // image format not recognised
inline constexpr Result kErrUnknownClass = MakeFailure(0x80000009u);   // class name not registered
inline constexpr Result kErrNewerVersion = MakeFailure(0x8000000Au);   // stored version too new
// The controller keeps data but does not evaluate it; it ends its owner's
// data update, not the scene's.
inline constexpr Result kErrNotEvaluated = MakeFailure(0x8000000Bu);
inline constexpr Result kErrStream = MakeFailure(0x8000000Cu);         // stream read/write/seek/id failure
inline constexpr Result kErrCloneMissing = MakeFailure(0x80030001u);   // reference missing from clone map
inline constexpr Result kErrLodOrder = MakeFailure(0x80030002u);       // level-of-detail order violated

inline constexpr bool Failed(Result r) { return r < 0; }
inline constexpr bool Succeeded(Result r) { return r >= 0; }

// A short English meaning of a result code, for tools and messages.
const char* DescribeResult(Result r);

}  // namespace KT
