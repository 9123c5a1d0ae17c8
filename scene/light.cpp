#include "scene/light.h"

namespace KT {

Result CLight::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

void CLight::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CLight Member");
  visitor.OpenGroup();
  visitor.Color(u"Rgb", &rgb_);
  visitor.Float(u"Multiplier", &multiplier_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

}  // namespace KT
