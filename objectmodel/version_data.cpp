#include "objectmodel/version_data.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CVersionData::SetApp(const WString& name, u32 version) {
  appName_ = name;
  appVersion_ = version;
  SetModified();
  return kOk;
}

Result CVersionData::SetDescription(const WString& description) {
  description_ = description;
  SetModified();
  return kOk;
}

Result CVersionData::SetDataVersion(u32 version) {
  dataVersion_ = version;
  SetModified();
  return kOk;
}

Result CVersionData::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CVersionData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CCustomData::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CVersionData* other = static_cast<CVersionData*>(target);
  other->appName_ = appName_;
  other->description_ = description_;
  other->appVersion_ = appVersion_;
  other->dataVersion_ = dataVersion_;
  return kOk;
}

Result CVersionData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CCustomData::Load(stream, record, flags);
  if (Failed(r)) return r;
  // The pair is read in files of every version, and 2.01 means 2.00.
  u32 pair[2] = {0, 0};
  r = stream.Read(pair, sizeof(pair), sizeof(pair));
  if (Failed(r)) return r;
  u64 version = static_cast<u64>(pair[0]) * 100 + pair[1];
  if (version == kVersionAlias) version = StaticClassRecord().Version();
  if (version > StaticClassRecord().Version()) return kErrNewerVersion;
  stream.SetStoredVersion(StaticClassRecord(), static_cast<i32>(version));
  r = ReadWString(stream, appName_);
  if (Succeeded(r)) r = ReadWString(stream, description_);
  if (Succeeded(r)) r = ReadU32(stream, appVersion_);
  if (Succeeded(r)) r = ReadU32(stream, dataVersion_);
  return r;
}

Result CVersionData::Save(CStream& stream, u32 flags) {
  Result r = CCustomData::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteWString(stream, appName_);
  if (Succeeded(r)) r = WriteWString(stream, description_);
  if (Succeeded(r)) r = WriteU32(stream, appVersion_);
  if (Succeeded(r)) r = WriteU32(stream, dataVersion_);
  return r;
}

void CVersionData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CVersionData Member");
  visitor.OpenGroup();
  visitor.WideString(u"AppName", &appName_);
  visitor.WideString(u"Description", &description_);
  visitor.UInt(u"AppVersion", &appVersion_);
  visitor.UInt(u"DataVersion", &dataVersion_);
  visitor.EndGroup();
  CCustomData::DescribeMembers(visitor);
}

u32 CVersionData::GetMemorySize() const {
  return sizeof(CVersionData) + 2 * static_cast<u32>(appName_.size() + description_.size());
}

u32 CVersionData::GetSaveSize() const {
  return CCustomData::GetSaveSize() + 8 + WStringSaveSize(appName_) + WStringSaveSize(description_) + 8;
}

}  // namespace KT
