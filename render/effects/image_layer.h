// KT::CImageLayer: a spatial object that shows a flat picture as a layer,
// either projected into the scene at the layer's place or laid over the
// screen, with a pivot, a depth, tiling in rows and columns, optional
// depth-of-field blur and fitting to the screen. It owns the object it
// shows (its content). Each update derives the projected position and size
// from the layer's world matrix.
//
// Record, after the KT::CSpatial level (little-endian; 79 bytes): version
// pair 2.04; ZValue (f32); ProjPos (2 x f32); ProjWidth, ProjHeight (f32);
// ScreenPos (2 x f32); ScreenWidth, ScreenHeight, Row, Column (u32);
// PosType, WidthType, HeightType (u32); Tiled, BlurByDOF, IsFitScreen (one
// byte each); PivotType (u32); the content's id (8 bytes). Older forms:
//   file version below 2.01  no version pair (the file version stands in
//                            for the class version) and no IsFitScreen;
//   class version below 2.03  a 4-byte content id;
//   class version below 2.04  after the id a u32 count and that many
//                            discarded entries (4 bytes each up to 2.02,
//                            8 bytes at 2.03).
#pragma once

#include "objectmodel/vector.h"
#include "scene/spatial.h"

namespace KT {

class CImageLayer : public CSpatial {
  KT_DECLARE_CLASS(CImageLayer)

 public:
  enum CoordinateType : u32 { CT_Project = 0, CT_Screen = 1 };
  enum PivotTypeValue : u32 { PT_Center = 0, PT_LeftButtom = 1, PT_RightButtom = 2, PT_LeftTop = 3, PT_RightTop = 4 };
  static const char16_t* const kCoordinateNames[2];
  static const char16_t* const kPivotNames[5];

  // Version gates.
  static constexpr i32 kFileVersionClassBlock = 201;  // file version from which the pair and IsFitScreen exist
  static constexpr u32 kVersionWideId = 203;          // 8-byte content id
  static constexpr u32 kVersionNoDiscardedList = 204; // no discarded list after the id
  static constexpr u32 kVersionWideDiscarded = 203;   // discarded entries of 8 bytes

  CImageLayer() = default;
  // The spatial part and every field; the content starts empty.
  CImageLayer(const CImageLayer& other);
  ~CImageLayer() override;

  CDorun* GetContent() const { return content_.Get(); }
  // Owns `content` (null clears). The layer itself or an object that holds
  // it: kErrInvalidArg, nothing changed. Marks the layer modified; kOk.
  Result SetContent(CDorun* content);

  // --- spatial protocol ------------------------------------------------------------
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // As the lights: the bound's centre becomes the world translation.
  Result UpdateWorldBound() override;
  // The scene object's update (its failure returned, nothing else
  // changed); then, with W the world matrix: ProjPos = the x and y of the
  // origin transformed by W, ProjWidth = 2 x the length of the x axis
  // turned by W's 3 x 3 part, ProjHeight = 2 x that of the y axis. kOk.
  Result Update(i32 time) override;

  // --- overrides: the spatial's part, then the content's ----------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; the content's first (its failure
  // returned), then the spatial's.
  Result ResolveReferences(CBase* root) override;
  // The spatial's, the layer itself (once), then the content's.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The spatial's clone (kDone or a failure returned as is), then the
  // content cloned through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not a layer: kErrNotFound, nothing
  // changed. Else the spatial part (its failure returned), then every
  // field and the content (shared; the target's former content goes to
  // `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The content from the stored id: an object that is not scene content
  // links to nothing, one that holds the layer is refused (kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CImageLayer Member" with the sixteen fields; then the spatial's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The content (owned), then the spatial's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  f32 ZValue = 1.0f;
  CVector2 ProjPos;
  f32 ProjWidth = 0.0f;
  f32 ProjHeight = 0.0f;
  CVector2 ScreenPos;
  u32 ScreenWidth = 0;
  u32 ScreenHeight = 0;
  u32 Row = 0;
  u32 Column = 0;
  u32 PosType = CT_Project;
  u32 WidthType = CT_Project;
  u32 HeightType = CT_Project;
  bool Tiled = false;
  bool BlurByDOF = false;
  bool IsFitScreen = false;
  u32 PivotType = PT_Center;

 private:
  void CopyFields(CImageLayer& target) const;

  CPointer<CDorun> content_;
};

}  // namespace KT
