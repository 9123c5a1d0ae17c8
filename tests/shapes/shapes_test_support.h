// Shared pieces of the vector-shape tests: registration of the shape
// classes, byte images of their records (file version 3.01) and a visitor
// that records member names.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/scene_test_classes.h"
#include "shapes/bitmap_fill_style.h"
#include "shapes/edge.h"
#include "shapes/group_shape.h"
#include "shapes/morph_controls.h"
#include "shapes/style_controls.h"
#include "shapes/shape.h"
#include "shapes/shape_instance.h"
#include "shapes/fill_style.h"
#include "shapes/gradient_fill_style.h"
#include "shapes/line_style.h"

namespace KT::test {

// Where the first record of a file with one root begins.
inline constexpr std::size_t kFirstRecordOffset = 40;

// Each test registers the shape classes (and the node) and leaves the
// process-wide registry as it found it.
class ShapesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterSceneTestClasses();
    CClassFactory::Register("CLineStyle", &CreateObject<CLineStyle>);
    CClassFactory::Register("CFillStyle", &CreateObject<CFillStyle>);
    CClassFactory::Register("CGradientFillStyle", &CreateObject<CGradientFillStyle>);
    CClassFactory::Register("CBitmapFillStyle", &CreateObject<CBitmapFillStyle>);
    CClassFactory::Register("CEdge", &CreateObject<CEdge>);
    CClassFactory::Register("CShape", &CreateObject<CShape>);
    CClassFactory::Register("CShapeInstance", &CreateObject<CShapeInstance>);
    CClassFactory::Register("CGroupShape", &CreateObject<CGroupShape>);
    CClassFactory::Register("CLineStyleControl", &CreateObject<CLineStyleControl>);
    CClassFactory::Register("CFillStyleControl", &CreateObject<CFillStyleControl>);
    CClassFactory::Register("CGradientFillStyleControl", &CreateObject<CGradientFillStyleControl>);
    CClassFactory::Register("CBitmapFillStyleControl", &CreateObject<CBitmapFillStyleControl>);
    CClassFactory::Register("CEdgeMorphControl", &CreateObject<CEdgeMorphControl>);
    CClassFactory::Register("CGradientMorphControl", &CreateObject<CGradientMorphControl>);
    RegisterMore();
    UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }
  // Tests of the later classes register them here.
  virtual void RegisterMore() {}

 private:
  CClassFactory::Registry saved_;
};

// Records the member names an object describes, in order.
struct NameRecorder : CMemberVisitor {
  std::vector<std::u16string> names;
  void BeginGroup(const char16_t* name) override { names.emplace_back(name); }
  void RecordArray(const char16_t* name, u32 count,
                   const std::function<void(u32, CMemberVisitor&)>& describe) override {
    names.emplace_back(name);
    for (u32 i = 0; i < count; ++i) describe(i, *this);
  }
  void Bool(const char16_t* name, const bool*) override { names.emplace_back(name); }
  void Int(const char16_t* name, const i32*) override { names.emplace_back(name); }
  void UInt(const char16_t* name, const u32*) override { names.emplace_back(name); }
  void Time(const char16_t* name, const i32*) override { names.emplace_back(name); }
  void UShort(const char16_t* name, const u16*) override { names.emplace_back(name); }
  void Float(const char16_t* name, const f32*) override { names.emplace_back(name); }
  void Enum(const char16_t* name, const i32*, const char16_t* const*, u32) override { names.emplace_back(name); }
  void Color(const char16_t* name, const CColor*) override { names.emplace_back(name); }
  void Point2(const char16_t* name, const CVector2*) override { names.emplace_back(name); }
  void Matrix4(const char16_t* name, const CMatrix4*) override { names.emplace_back(name); }
  void CustomId(const char16_t* name, const u32*) override { names.emplace_back(name); }
  void ObjectRef(const char16_t* name, const CBase*) override { names.emplace_back(name); }

  // The names from the first group titled `group` up to the next group.
  std::vector<std::u16string> Group(const std::u16string& group) const {
    std::vector<std::u16string> out;
    bool in = false;
    for (const std::u16string& name : names) {
      if (name.size() > 7 && name.ends_with(u" Member")) {
        if (in) break;
        in = name == group;
        continue;
      }
      if (in) out.push_back(name);
    }
    return out;
  }
};

// Records the non-null references an object reports.
struct ReferenceRecorder : CReferenceVisitor {
  std::vector<CBase*> seen;
  void Visit(CBase* object, u32) override {
    if (object != nullptr) seen.push_back(object);
  }
};

inline ByteWriter& ColorBytes(ByteWriter& w, const CColor& c) { return w.F32(c.r).F32(c.g).F32(c.b).F32(c.a); }
inline ByteWriter& MatrixBytes(ByteWriter& w, const CMatrix4& m) {
  for (const auto& row : m.m) {
    for (const f32 value : row) w.F32(value);
  }
  return w;
}

// The CMaterialBase 2.00 and CTexture 2.00 parts.
inline ByteWriter& TexturePart(ByteWriter& w) { return w.Pair(2, 0).Pair(2, 0); }

// A CFillStyle level of `version` (1.01 carries four dropped words).
inline ByteWriter& FillPart(ByteWriter& w, u32 version, const CColor& color, f32 opacity) {
  w.Pair(version / 100, version % 100);
  ColorBytes(w, color).F32(opacity);
  if (version == 101) w.U32(0xDEAD).U32(0xBEEF).U32(1).U32(2);
  return w;
}

// A CEdge record with `curves` (control x, y, anchor x, y each), start
// point (1, 2), identifiers 3, 4, 5 and NewShape set.
inline ByteWriter EdgeBody(u64 id, const std::vector<std::array<f32, 4>>& curves) {
  ByteWriter w;
  ObjectHead(w, id);
  w.Pair(1, 0).U32(static_cast<u32>(curves.size()));
  for (const auto& c : curves) w.F32(c[0]).F32(c[1]).F32(c[2]).F32(c[3]);
  return w.F32(1.0f).F32(2.0f).U16(3).U16(4).U16(5).U8(1);
}

// A CShape record with the given lists, TextureScale 100, GradientUnit 2,
// `plane` and Direction (1, -1).
inline ByteWriter ShapeBody(u64 id, const std::vector<u64>& fills, const std::vector<u64>& lines,
                            const std::vector<u64>& edges, u32 plane = 2) {
  ByteWriter w;
  ObjectHead(w, id);
  w.Pair(1, 0);
  for (const auto* list : {&fills, &lines, &edges}) {
    w.U32(static_cast<u32>(list->size()));
    for (const u64 element : *list) w.U64(element);
  }
  return w.F32(100.0f).F32(2.0f).U32(plane).F32(1.0f).F32(-1.0f);
}

// A CShapeInstance record placing shape `shapeId` with Depth 2, ClipDepth 3.
inline ByteWriter InstanceBody(u64 id, u32 shapeId) {
  ByteWriter w;
  ObjectHead(w, id);
  SpatialPart206(w).Pair(1, 0).U32(shapeId).U32(2).U32(3);
  return w;
}

// A CGroupShape record with GroupID 7, Layer 4 and the given lists.
inline ByteWriter GroupBody(u64 id, const std::vector<u64>& shapes, const std::vector<u64>& instances,
                            const std::vector<u64>& children = {}) {
  ByteWriter w;
  ObjectHead(w, id);
  SpatialPart206(w);
  NodePart203(w, children).Pair(1, 0).U32(7).U32(4);
  for (const auto* list : {&shapes, &instances}) {
    w.U32(static_cast<u32>(list->size()));
    for (const u64 element : *list) w.U64(element);
  }
  return w;
}

// The CBase, CDorun (empty chains), CControl 2.04 (clamp, priority 0,
// weight 1, frequency 1, active, bound to `object`, no next, no owners)
// and CDataControl 2.00 parts of a controller record.
inline ByteWriter& ControllerHead(ByteWriter& w, u64 id, u64 object = 0) {
  ObjectHead(w, id);
  w.Pair(2, 4).U32(0).F32(0.0f).F32(1.0f).F32(1.0f).U8(1).U64(object).U64(0).U32(0);
  return w.Pair(2, 0);
}

// A counted vector of 4-byte entries.
template <typename T>
ByteWriter& Counted(ByteWriter& w, const std::vector<T>& values) {
  static_assert(sizeof(T) % 4 == 0);
  w.U32(static_cast<u32>(values.size()));
  for (const T& value : values) w.Raw(&value, sizeof(T));
  return w;
}

// Loads a file image; answers the load's code and the first root.
inline Result LoadImage(const Bytes& bytes, CStream& stream, CMemoryIo& device, CBase*& root) {
  const Result r = LoadScene(bytes, stream, device);
  root = Succeeded(r) && stream.GetRootObjectCount() > 0 ? stream.GetRootObject(0) : nullptr;
  return r;
}

// Saves `roots`, loads the file again and checks that every record wrote
// its GetSaveSize, that the members survive, and that a save of the loaded
// scene gives the same bytes. Answers the file.
inline Bytes ExpectRoundTrip(const std::vector<CBase*>& roots) {
  const Bytes first = SaveRoots(roots);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(LoadScene(first, stream, device), kOk);
  // Each root record carries the 9-byte tag "_Root" ahead of its class name.
  EXPECT_EQ(first.size(), kFirstRecordOffset + 9 * (roots.size() - 1) + LoadedRecordBytes(stream));
  for (std::size_t i = 0; i < roots.size() && i < stream.GetRootObjectCount(); ++i) {
    EXPECT_EQ(Members(stream.GetRootObject(static_cast<u32>(i))), Members(roots[i]));
  }
  UseTestIds(3);
  EXPECT_EQ(RenumberIds(SaveLoaded(stream)), RenumberIds(first));
  return first;
}

}  // namespace KT::test
