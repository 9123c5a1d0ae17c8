// KT::CVersionData: which application wrote a file, and the data version.
#pragma once

#include "objectmodel/custom_data.h"

namespace KT {

class CVersionData : public CCustomData {
  KT_DECLARE_CLASS(CVersionData)

 public:
  // Files of one older writer carry the pair 2.01 for this same layout.
  static constexpr u32 kVersionAlias = 201;

  CVersionData() = default;
  CVersionData(const CVersionData& other) = default;

  const WString& GetAppName() const { return appName_; }
  const WString& GetDescription() const { return description_; }
  u32 GetAppVersion() const { return appVersion_; }
  u32 GetDataVersion() const { return dataVersion_; }
  // Set AppName and AppVersion; mark modified; kOk.
  Result SetApp(const WString& name, u32 version);
  Result SetDescription(const WString& description);
  Result SetDataVersion(u32 version);

  // A copy of this record (its chain is not copied).
  Result CreateInstance(CPointer<CBase>& out) const override;
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  WString appName_;
  WString description_;
  u32 appVersion_ = 0;
  u32 dataVersion_ = 0;
};

}  // namespace KT
