#include "treeruntime/projected_shadow.h"

namespace trt {
namespace {
constexpr std::int32_t kBegin = 18000;
constexpr std::int32_t kEnd = 18001;
}  // namespace

void SProjectedShadow::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "shadow projection info");
  for (std::int32_t token = file.ParseToken(); token != kEnd; token = file.ParseToken()) {
    switch (token) {
      case 18002: m_vAxisA = file.ParseVector3(); break;
      case 18003: m_vAxisB = file.ParseVector3(); break;
      case 18004: m_vVector3 = file.ParseVector3(); break;
      case 18005: m_strTexture = StripDirectories(file.ParseString()); break;
      default: throw TreeFileError("malformed shadow projection info (token %d)", token);
    }
  }
}

void SProjectedShadow::Save(CTreeFileAccess& file) const {
  file.SaveToken(kBegin);
  file.SaveToken(18002);
  file.SaveVector3(m_vAxisA);
  file.SaveToken(18003);
  file.SaveVector3(m_vAxisB);
  file.SaveToken(18004);
  file.SaveVector3(m_vVector3);
  file.SaveToken(18005);
  file.SaveString(StripDirectories(m_strTexture));
  file.SaveToken(kEnd);
}

}  // namespace trt
