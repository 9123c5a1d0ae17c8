#include "treeruntime/tree_wind_info.h"

namespace trt {

void STreeWindInfo::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "general wind information");
  std::int32_t token = file.ParseToken();
  do {
    switch (token) {
      case 5000:
      case 5001:
      case 5003: file.ParseVector3(); break;
      case 5002: m_vVectorB = file.ParseVector3(); break;
      case 5004: m_vVectorA = file.ParseVector3(); break;
      case 5005: m_fValue = file.ParseFloat(); break;
      case 5006: file.ParseByte(); break;
      default: throw TreeFileError("malformed general wind information");
    }
    token = file.ParseToken();
  } while (token != 1012);
}

void STreeWindInfo::Save(CTreeFileAccess& file) const {
  const stVec3 zero;
  file.SaveToken(1011);
  file.SaveToken(5000);
  file.SaveVector3(zero);
  file.SaveToken(5001);
  file.SaveVector3(zero);
  file.SaveToken(5002);
  file.SaveVector3(m_vVectorB);
  file.SaveToken(5003);
  file.SaveVector3(zero);
  file.SaveToken(5004);
  file.SaveVector3(m_vVectorA);
  file.SaveToken(5005);
  file.SaveFloat(m_fValue);
  file.SaveToken(5006);
  file.SaveByte(0);
  file.SaveToken(1012);
}

}  // namespace trt
