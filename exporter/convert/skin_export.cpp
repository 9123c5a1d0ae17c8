// The skin passes of the mesh export: a Skin or a Physique modifier becomes
// one KT::CBoneSkinControl on the exported mesh.

#include "controllers/core/bone_skin_control.h"
#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/conversion_helpers.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/inode.h"
#include "platform/host/modifier.h"
#include "platform/host/physique_interface.h"
#include "platform/host/skin_interface.h"
#include "scene/tri_mesh.h"

namespace {

// Gathers the bones and weights of one mesh into one weight list. A bone is
// listed with its bind matrix the first time it is met (AddBone keeps the
// first matrix of a bone met again); a host bone without a converted node
// adds nothing, and the weights are kept exactly as the host gives them.
class SkinBuilder {
 public:
  SkinBuilder(const CMaxDrn& context, INode* meshNode, TimeValue t)
      : context_(context), t_(t), objectTM_(WidenMatrix(meshNode->GetObjectTM(t))) {
    control_ = new (std::nothrow) KT::CBoneSkinControl();
    if (control_ && KT::Failed(control_->SetSkinWeightListCount(1))) control_ = nullptr;
  }

  void Add(int vertex, INode* hostBone, float weight) {
    if (!control_ || vertex < 0 || hostBone == nullptr || hostBone->GetName() == nullptr) return;
    KT::CNode* bone = FindConvertedNode(context_.root.Get(), hostBone);
    if (bone == nullptr) return;
    control_->AddBone(bone, BindMatrix(hostBone, bone->GetName()));
    control_->AddSkinWeight(0, static_cast<KT::u32>(vertex), bone, weight);
  }

  // Attaches the control to the mesh when it holds a bone; otherwise it is
  // dropped with this builder.
  void Finish(KT::CTriMesh* mesh) {
    if (control_ && !control_->GetReferenceBone().empty()) mesh->AddControl(control_.Get());
    control_ = nullptr;
  }

 private:
  // ObjectTM of the mesh node x Inverse(the bone's NodeTM corrected by the
  // profile): mesh object space into the bone's space.
  KT::CMatrix4 BindMatrix(INode* hostBone, const KT::WString& name) const {
    KT::CMatrix4 boneTM = WidenMatrix(hostBone->GetNodeTM(t_));
    context_.ApplyProfileMatrix(boneTM, name);
    KT::CMatrix4 inverse;
    KT::MatrixInverse(inverse, nullptr, boneTM);
    KT::CMatrix4 bind;
    KT::MatrixMultiply(bind, objectTM_, inverse);
    return bind;
  }

  const CMaxDrn& context_;
  TimeValue t_;
  KT::CMatrix4 objectTM_;
  KT::CPointer<KT::CBoneSkinControl> control_;
};

}  // namespace

void CMaxDrn::ExportSkinModifier(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod) {
  if (mesh == nullptr || node == nullptr || mod == nullptr || !root) return;
  auto* skin = static_cast<ISkin*>(mod->GetInterface(I_SKIN_INTERFACE));
  if (skin == nullptr) return;
  ISkinContextData* data = skin->GetContextInterface(node);
  if (data == nullptr) return;

  SkinBuilder builder(*this, node, t);
  const int points = data->GetNumPoints();
  for (int i = 0; i < points; ++i) {
    const int assigned = data->GetNumAssignedBones(i);
    if (assigned < 1) {
      // A vertex without bones follows the mesh's own node.
      builder.Add(i, node, 1.0f);
      continue;
    }
    for (int j = 0; j < assigned; ++j)
      builder.Add(i, skin->GetBone(data->GetAssignedBone(i, j)), data->GetBoneWeight(i, j));
  }
  builder.Finish(mesh);
}

void CMaxDrn::ExportPhysique(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod) {
  if (mesh == nullptr || node == nullptr || mod == nullptr || !root) return;
  auto* physique = static_cast<IPhysiqueExport*>(mod->GetInterface(I_PHYSIQUE_EXPORT));
  if (physique == nullptr) return;
  IPhyContextExport* context = physique->GetContextInterface(node);
  if (context == nullptr) {
    mod->ReleaseInterface(I_PHYSIQUE_EXPORT, physique);
    return;
  }
  context->ConvertToRigid(TRUE);
  context->AllowBlending(TRUE);

  SkinBuilder builder(*this, node, t);
  const int vertices = context->GetNumberVertices();
  for (int i = 0; i < vertices; ++i) {
    IPhyVertexExport* vertex = context->GetVertexInterface(i);
    if (vertex == nullptr) continue;
    // The vertex type tells which interface the vertex is; a vertex whose
    // interface does not match its type contributes nothing.
    const int type = vertex->GetVertexType();
    if (type == RIGID_TYPE) {
      if (auto* rigid = dynamic_cast<IPhyRigidVertex*>(vertex)) builder.Add(i, rigid->GetNode(), 1.0f);
    } else if (type == RIGID_BLENDED_TYPE) {
      if (auto* blended = dynamic_cast<IPhyBlendedRigidVertex*>(vertex)) {
        const int count = blended->GetNumberNodes();
        for (int j = 0; j < count; ++j) builder.Add(i, blended->GetNode(j), blended->GetWeight(j));
      }
    }
    context->ReleaseVertexInterface(vertex);
  }
  builder.Finish(mesh);
  physique->ReleaseContextInterface(context);
  mod->ReleaseInterface(I_PHYSIQUE_EXPORT, physique);
}
