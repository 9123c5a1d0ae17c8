// Placeholders of the control-data passes: they read nothing and build
// nothing until the passes themselves are in.
#include "exporter/plugin/max_drn.h"

void CMaxDrn::ExportSkinModifier(KT::CTriMesh*, INode*, TimeValue, Modifier*) {}
void CMaxDrn::ExportPhysique(KT::CTriMesh*, INode*, TimeValue, Modifier*) {}
void CMaxDrn::ExportMorph(KT::CTriMesh*, INode*, TimeValue, Modifier*) {}
void CMaxDrn::ExportSelectionSets(KT::CTriMesh*, INode*, TimeValue, Modifier*, ModContext*) {}
void CMaxDrn::ExportUvwAnimation(KT::CTriMesh*, INode*, TimeValue, Modifier*, ModContext*) {}
