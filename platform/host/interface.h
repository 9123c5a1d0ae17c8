// Interface: the host as the exporter reads it: the animation range, the
// progress bar, the user-defined file properties and node lookup by name.
// The property types follow the platform's property-set structures.
#pragma once

#include "platform/host/interval.h"
#include "platform/host/max_types.h"

class INode;

typedef char16_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef char* LPSTR;
typedef ULONG PROPID;
typedef WORD VARTYPE;

inline constexpr ULONG PRSPEC_LPWSTR = 0;
inline constexpr ULONG PRSPEC_PROPID = 1;

struct PROPSPEC {
  ULONG ulKind = PRSPEC_LPWSTR;
  union {
    PROPID propid;
    LPOLESTR lpwstr = nullptr;
  };
};

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_LPSTR = 30;

struct PROPVARIANT {
  VARTYPE vt = VT_EMPTY;
  union {
    LONG lVal = 0;
    LPSTR pszVal;
  };
};

// The property set of the user-defined file properties.
inline constexpr int PROPSET_USERDEFINED = 4;

typedef DWORD (*LPFNPROGRESS)(LPVOID arg);

class Interface {
 public:
  virtual ~Interface() = default;
  virtual Interval GetAnimRange() = 0;

  virtual BOOL ProgressStart(const TCHAR* title, BOOL dispBar, LPFNPROGRESS fn, LPVOID arg) = 0;
  virtual void ProgressUpdate(int pct, BOOL showPct = TRUE, const TCHAR* title = nullptr) = 0;
  virtual void ProgressEnd() = 0;

  // The index of the property named by `propSpec` (PRSPEC_LPWSTR) in the set,
  // or -1.
  virtual int FindProperty(int propertySet, const PROPSPEC* propSpec) = 0;
  // The value of property `index`, or null. The pointer (and a string it
  // holds) stays valid until the property is replaced.
  virtual const PROPVARIANT* GetPropertyVariant(int propertySet, int index) = 0;
  // Adds the property (VT_I4 or VT_LPSTR) or, when its name is present,
  // replaces that property's value in place. Other sets, kinds or types are
  // ignored.
  virtual void AddProperty(int propertySet, const PROPSPEC* propSpec, const PROPVARIANT* var) = 0;

  // The first node of that name (the root, then the tree's order), or null.
  virtual INode* GetINodeByName(const TCHAR* name) = 0;
};

// Ticks per frame of the active host scene (160 without one).
int GetTicksPerFrame();
