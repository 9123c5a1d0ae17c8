// The two preparations of a converted character skeleton, run by the
// export after the conversion and before the rig checks: the motion
// skeleton of an animation-only export and the neck, hair and child order
// of a full character. Both do nothing without a converted root.
#pragma once

class CMaxDrn;

// Renames the root "KT_MotionRoot", detaches (with its subtree) every
// KT::CNode under it that is neither the root nor a motion skeleton bone,
// last collected first, then orders the children by the basic body
// template.
void FixupMotionSkeleton(CMaxDrn& context);

// Rebuilds the neck chain, turns the hair mesh and orders the children:
// 1. KT_NeckTwist01 (T1) takes its parent's Basis and a copy of the
//    parent's keyframe RTS keys, and moves under KT_Spine02;
// 2. the scene is evaluated at time 0;
// 3.-4. KT_Head moves under KT_NeckTwist02 (T2) keeping its world matrix:
//    that matrix in T2's space (under the head's Inherited flags),
//    decomposed, becomes the head's Basis and the value of its first key;
// 5. KT_Neck is detached; 6. T1 is renamed "KT_Neck", T2 "KT_NeckTwist01";
// 7. the triangle mesh "KT_HairMesh", when it has level-0 data and a bone
//    skin control, is turned by -pi/2 about X: every level-0 position p
//    becomes p R, every bind matrix's 3x3 part is multiplied by R;
// 8. the children are ordered by the full body and head link templates.
// Steps 1 to 6 need KT_NeckTwist01, KT_NeckTwist02, KT_Head, KT_Neck and
// KT_Spine02 (exactly class KT::CNode); without any of them they are
// skipped (the rig checks report the missing bones). A rig whose bones do
// not stand where a move can keep them (T1 without a parent node or above
// KT_Spine02, KT_Head at or above T2, KT_Neck above KT_Spine02) stops the
// rebuild before that move, so no bone is lost. Step 8 runs whether or not
// step 7 found a hair mesh.
void FixupRigSkeleton(CMaxDrn& context);
