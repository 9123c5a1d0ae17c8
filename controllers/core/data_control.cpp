#include "controllers/core/data_control.h"

#include "objectmodel/color.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/light.h"

namespace KT {

Result CDataControl::UpdateTransform(i32) { return kDone; }

Result CDataControl::ApplyTransform() { return kDone; }

Result CDataControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControl::Load(stream, record, flags);
  return Failed(r) ? r : stream.ReadVersionBlock(StaticClassRecord());
}

Result CDataControl::Save(CStream& stream, u32 flags) {
  const Result r = CControl::Save(stream, flags);
  return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
}

u32 CDataControl::GetSaveSize() const { return CControl::GetSaveSize() + 8; }

Result CLightDataControl::Apply() {
  if (GetObject() == nullptr) return kErrInvalidArg;
  CLight* light = DynamicCast<CLight>(GetObject());
  if (light == nullptr) return kErrNotFound;
  light->SetRgb(CColor{rgbData_[0], rgbData_[1], rgbData_[2], 1.0f});
  light->SetMultiplier(rgbData_[3]);
  light->SetModified(false);
  return kOk;
}

void CLightDataControl::DescribeMembers(CMemberVisitor& visitor) {
  CColor rgb{rgbData_[0], rgbData_[1], rgbData_[2], rgbData_[3]};
  visitor.BeginGroup(u"CLightDataControl Member");
  visitor.OpenGroup();
  visitor.Color(u"RgbData", &rgb);
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CLightDataControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 16; }

void CreateUvwMapDataControl(Result& result, CPointer<CBase>&) { result = kErrInvalidArg; }

}  // namespace KT
