#include "render/materials/material_data_control.h"

#include "controllers/core/control_level.h"
#include "objectmodel/member_visitor.h"

namespace KT {

const char16_t* const CMaterialDataControl::kWeightNames[CStandardMaterial::kChannelCount] = {
    u"Ambient Weight",      u"Diffuse Weight", u"Specular Weight",   u"Shininess Weight",
    u"Glow Weight",         u"Displacement Weight", u"Opacity Weight", u"DiffuseBlend Weight",
    u"Bump Weight",         u"Reflection Weight",   u"Refraction Weight", u"Cube Weight",
};

Result CMaterialDataControl::CreateInstance(CPointer<CBase>&) const { return kErrInvalidArg; }

Result CMaterialDataControl::Apply() {
  CStandardMaterial* material = nullptr;
  const Result r = BoundObjectOf(*this, material);
  if (Failed(r)) return r;
  // Animation is not an edit: the material's Modified flag stays as it was.
  CModifiedGuard guard(material);
  material->Ambient = ambient_;
  material->Diffuse = diffuse_;
  material->Specular = specular_;
  material->Shininess = shininess_;
  material->ShineStrength = shineStrength_;
  material->SelfIllum = selfIllum_;
  material->Opacity = opacity_;
  material->Opfall = opfall_;
  material->SoftThresh = softThresh_;
  for (u32 i = 0; i < CStandardMaterial::kChannelCount; ++i) material->TextureWeightRef(i) = weights_[i];
  material->Invalidate();
  return kOk;
}

void CMaterialDataControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CMaterialDataControl Member");
  visitor.OpenGroup();
  visitor.Vector3(u"AMBIENT", &ambient_);
  visitor.Vector3(u"DIFFUSE", &diffuse_);
  visitor.Vector3(u"SPECULAR", &specular_);
  visitor.Float(u"SHININESS", &shininess_);
  visitor.Float(u"SHINESTRENGTH", &shineStrength_);
  visitor.Float(u"SELFILLUM", &selfIllum_);
  visitor.Float(u"OPACITY", &opacity_);
  visitor.Float(u"OPFALL", &opfall_);
  visitor.Float(u"SOFTTHRESH", &softThresh_);
  for (u32 i = 0; i < CStandardMaterial::kChannelCount; ++i) visitor.Float(kWeightNames[i], &weights_[i]);
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CMaterialDataControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 112; }

}  // namespace KT
