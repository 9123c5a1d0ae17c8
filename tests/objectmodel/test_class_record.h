// Class-record plumbing for test-only classes, which have no entry in the
// library's table of class records: a static record made from the class
// name, its parent's record and its version.
#pragma once

#include "objectmodel/base.h"

// Inside the class body of a test-only class `Name` deriving from `Parent`.
#define KT_TEST_CLASS(Name, Parent, major, minor)                                                      \
 public:                                                                                                \
  static const ::KT::ClassRecord& StaticClassRecord() {                                                 \
    static const ::KT::ClassRecord record{#Name, &Parent::StaticClassRecord(), major, minor,            \
                                          ::KT::MakeClassId(#Name, 0)};                                 \
    return record;                                                                                      \
  }                                                                                                     \
  const ::KT::ClassRecord& GetClassRecord() const override { return StaticClassRecord(); }             \
  ::KT::u32 GetVersion() const override { return StaticClassRecord().Version(); }
