// The plain types, constants and colour helpers of the modelling host's SDK
// that the exporter uses, in the global namespace as the SDK has them. Only
// what the exporter calls is declared.
#pragma once

#include <cstdint>

typedef char TCHAR;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef std::int32_t LONG;
typedef void* LPVOID;

// Window and module handles are opaque: the stand-in never looks inside.
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

// Time in ticks.
typedef int TimeValue;
inline constexpr TimeValue TIME_NegInfinity = static_cast<TimeValue>(0x80000000u);
inline constexpr TimeValue TIME_PosInfinity = 0x7FFFFFFF;

// 0x00BBGGRR, as the platform packs a colour.
typedef DWORD COLORREF;
inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
inline constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
inline constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// Super-class ids of the objects the exporter tells apart.
typedef ULONG SClass_ID;
inline constexpr SClass_ID SUPER_DERIVED_OBJECT = 0x02;
inline constexpr SClass_ID SUPER_GEOMETRIC_OBJECT = 0x10;
inline constexpr SClass_ID SUPER_CAMERA = 0x20;
inline constexpr SClass_ID SUPER_LIGHT = 0x30;
inline constexpr SClass_ID SUPER_HELPER = 0x50;
inline constexpr SClass_ID SUPER_SCENE_EXPORT = 0xA20;

// How a controller's value is asked for.
enum GetSetMethod { CTRL_RELATIVE = 0, CTRL_ABSOLUTE = 1 };

// Interface ids asked of animatables by number.
inline constexpr ULONG I_SKIN_INTERFACE = 0x10000;
inline constexpr ULONG I_PHYSIQUE_EXPORT = 0x100100;
inline constexpr ULONG I_BIPED_EXPORT = 0x100101;
inline constexpr ULONG I_MESH_SELECT_DATA = 0x10B0;
inline constexpr ULONG I_REFLECTION_MAP = 0xFF8D87A5;
