#include "exporter/validation/rig_names.h"

const RigNameTable<84> RequiredBodyBones = {{
    u"KT_Head", u"KT_NeckTwist01", u"KT_Neck", u"KT_Spine02", u"KT_Spine01", u"KT_Waist", u"KT_Hips", u"KT_Pelvis",
    u"KT_L_Thigh", u"KT_L_Calf", u"KT_L_Foot", u"KT_L_Toe", u"KT_R_Thigh", u"KT_R_Calf", u"KT_R_Foot", u"KT_R_Toe",
    u"KT_L_Clavicle", u"KT_L_UpperArm", u"KT_L_Forearm", u"KT_L_Hand", u"KT_R_Clavicle", u"KT_R_UpperArm",
    u"KT_R_Forearm", u"KT_R_Hand", u"KT_L_ThighTwist01", u"KT_L_ThighTwist02", u"KT_L_Knee", u"KT_L_CalfTwist01",
    u"KT_L_CalfTwist02", u"KT_R_ThighTwist01", u"KT_R_ThighTwist02", u"KT_R_Knee", u"KT_R_CalfTwist01",
    u"KT_R_CalfTwist02", u"KT_L_UpperArmTwist01", u"KT_L_UpperArmTwist02", u"KT_L_Elbow", u"KT_L_ForearmTwist01",
    u"KT_L_ForearmTwist02", u"KT_R_UpperArmTwist01", u"KT_R_UpperArmTwist02", u"KT_R_Elbow", u"KT_R_ForearmTwist01",
    u"KT_R_ForearmTwist02", u"KT_L_Finger00", u"KT_L_Finger01", u"KT_L_Finger02", u"KT_L_Finger10", u"KT_L_Finger11",
    u"KT_L_Finger12", u"KT_L_Finger20", u"KT_L_Finger21", u"KT_L_Finger22", u"KT_L_Finger30", u"KT_L_Finger31",
    u"KT_L_Finger32", u"KT_L_Finger40", u"KT_L_Finger41", u"KT_L_Finger42", u"KT_R_Finger00", u"KT_R_Finger01",
    u"KT_R_Finger02", u"KT_R_Finger10", u"KT_R_Finger11", u"KT_R_Finger12", u"KT_R_Finger20", u"KT_R_Finger21",
    u"KT_R_Finger22", u"KT_R_Finger30", u"KT_R_Finger31", u"KT_R_Finger32", u"KT_R_Finger40", u"KT_R_Finger41",
    u"KT_R_Finger42", u"KT_L_Hip0", u"KT_L_Abdominal", u"KT_L_Ribs", u"KT_L_RibsTwist", u"KT_L_Breast", u"KT_R_Hip0",
    u"KT_R_Abdominal", u"KT_R_Ribs", u"KT_R_RibsTwist", u"KT_R_Breast",
}};

const RigNameTable<94> RigBodyBones = {{
    u"KT_Head", u"KT_Neck", u"KT_NeckTwist01", u"KT_Spine02", u"KT_Spine01", u"KT_Waist", u"KT_Hips", u"KT_Pelvis",
    u"KT_L_Pelvis", u"KT_L_Thigh", u"KT_L_Calf", u"KT_L_Foot", u"KT_L_Toe", u"KT_R_Pelvis", u"KT_R_Thigh",
    u"KT_R_Calf", u"KT_R_Foot", u"KT_R_Toe", u"KT_L_Clavicle", u"KT_L_UpperArm", u"KT_L_Forearm", u"KT_L_Hand",
    u"KT_L_HandTwist", u"KT_R_Clavicle", u"KT_R_UpperArm", u"KT_R_Forearm", u"KT_R_Hand", u"KT_R_HandTwist",
    u"KT_L_ThighTwist01", u"KT_L_ThighTwist02", u"KT_L_Knee", u"KT_L_CalfTwist01", u"KT_L_CalfTwist02",
    u"KT_L_CalfTwist03", u"KT_R_ThighTwist01", u"KT_R_ThighTwist02", u"KT_R_Knee", u"KT_R_CalfTwist01",
    u"KT_R_CalfTwist02", u"KT_R_CalfTwist03", u"KT_L_UpperArmTwist01", u"KT_L_UpperArmTwist02", u"KT_L_Elbow",
    u"KT_L_ForearmTwist01", u"KT_L_ForearmTwist02", u"KT_L_ForearmTwist03", u"KT_R_UpperArmTwist01",
    u"KT_R_UpperArmTwist02", u"KT_R_Elbow", u"KT_R_ForearmTwist01", u"KT_R_ForearmTwist02", u"KT_R_ForearmTwist03",
    u"KT_L_Finger00", u"KT_L_Finger01", u"KT_L_Finger02", u"KT_L_Finger10", u"KT_L_Finger11", u"KT_L_Finger12",
    u"KT_L_Finger20", u"KT_L_Finger21", u"KT_L_Finger22", u"KT_L_Finger30", u"KT_L_Finger31", u"KT_L_Finger32",
    u"KT_L_Finger40", u"KT_L_Finger41", u"KT_L_Finger42", u"KT_R_Finger00", u"KT_R_Finger01", u"KT_R_Finger02",
    u"KT_R_Finger10", u"KT_R_Finger11", u"KT_R_Finger12", u"KT_R_Finger20", u"KT_R_Finger21", u"KT_R_Finger22",
    u"KT_R_Finger30", u"KT_R_Finger31", u"KT_R_Finger32", u"KT_R_Finger40", u"KT_R_Finger41", u"KT_R_Finger42",
    u"KT_L_Hip0", u"KT_L_Abdominal", u"KT_L_Ribs", u"KT_L_RibsTwist", u"KT_L_Breast", u"KT_L_Breast01", u"KT_R_Hip0",
    u"KT_R_Abdominal", u"KT_R_Ribs", u"KT_R_RibsTwist", u"KT_R_Breast", u"KT_R_Breast01",
}};

const RigNameTable<21> NubBones = {{
    u"KT_HeadNub", u"KT_L_RibsNub", u"KT_L_Hip0Nub", u"KT_L_AbdominalNub", u"KT_L_BreastNub", u"KT_L_Toe0Nub",
    u"KT_R_RibsNub", u"KT_R_Hip0Nub", u"KT_R_AbdominalNub", u"KT_R_BreastNub", u"KT_R_Toe0Nub", u"KT_L_Finger0Nub",
    u"KT_L_Finger1Nub", u"KT_L_Finger2Nub", u"KT_L_Finger3Nub", u"KT_L_Finger4Nub", u"KT_R_Finger0Nub",
    u"KT_R_Finger1Nub", u"KT_R_Finger2Nub", u"KT_R_Finger3Nub", u"KT_R_Finger4Nub",
}};

const RigNameTable<12> FootFloorBones = {{
    u"KT_L_Foot01_Floor01", u"KT_L_Foot01_Floor02", u"KT_L_Foot01_Floor03", u"KT_L_Foot01_Floor04",
    u"KT_L_Foot01_Floor05", u"KT_L_Foot01_Floor06", u"KT_R_Foot01_Floor01", u"KT_R_Foot01_Floor02",
    u"KT_R_Foot01_Floor03", u"KT_R_Foot01_Floor04", u"KT_R_Foot01_Floor05", u"KT_R_Foot01_Floor06",
}};

const RigNameTable<12> HandFloorBones = {{
    u"KT_L_Hand01_Floor01", u"KT_L_Hand01_Floor02", u"KT_L_Hand01_Floor03", u"KT_L_Hand01_Floor04",
    u"KT_L_Hand01_Floor05", u"KT_L_Hand01_Floor06", u"KT_R_Hand01_Floor01", u"KT_R_Hand01_Floor02",
    u"KT_R_Hand01_Floor03", u"KT_R_Hand01_Floor04", u"KT_R_Hand01_Floor05", u"KT_R_Hand01_Floor06",
}};

const RigNameTable<2> HandPivotBones = {{
    u"KT_L_Hand_Acc_Pivot", u"KT_R_Hand_Acc_Pivot",
}};

const RigNameTable<69> FaceControlPoints = {{
    u"CP_01", u"CP_02", u"CP_03", u"CP_04", u"CP_05", u"CP_06", u"CP_07", u"CP_08", u"CP_09", u"CP_10", u"CP_11",
    u"CP_12", u"CP_13", u"CP_14", u"CP_15", u"CP_16", u"CP_17", u"CP_18", u"CP_19", u"CP_20", u"CP_21", u"CP_22",
    u"CP_23", u"CP_24", u"CP_25", u"CP_26", u"CP_27", u"CP_28", u"CP_29", u"CP_30", u"CP_31", u"CP_32", u"CP_33",
    u"CP_34", u"CP_35", u"CP_36", u"CP_37", u"CP_38", u"CP_39", u"CP_40", u"CP_41", u"CP_42", u"CP_43", u"CP_44",
    u"CP_45", u"CP_46", u"CP_47", u"CP_48", u"CP_49", u"CP_50", u"CP_51", u"CP_52", u"CP_53", u"CP_54", u"CP_55",
    u"CP_56", u"CP_57", u"CP_58", u"CP_59", u"CP_60", u"CP_61", u"CP_62", u"CP_63", u"CP_64", u"CP_65", u"CP_66",
    u"CP_67", u"CP_68", u"CP_69",
}};

const RigNameTable<32> FacialBones = {{
    u"Bone_Connect", u"Bone_Facial", u"Bone_Jaw01", u"Bone_Tongue01", u"Bone_Nose-F", u"Bone_Calvaria", u"Bone_Ear-L",
    u"Bone_Ear-R", u"Bone_facial-R02", u"Bone_facial-L02", u"Bone_Eye-R", u"Bone_Eye-L", u"Bone_Supramaxilla",
    u"Bone_facial-R01", u"Bone_facial-L01", u"Bone_Jaw02", u"Bone_Lip-Down", u"Bone_Tongue02", u"Bone_Tongue03",
    u"Bone_Tongue04", u"Bone_Nose-M", u"Bone_Eyelid-R-Up", u"Bone_Eyelid-R-Down", u"Bone_Eyebrows-R",
    u"Bone_Eyebrows-R01", u"Bone_Eyebrows-R02", u"Bone_Eyelid-L-Up", u"Bone_Eyelid-L-Down", u"Bone_Eyebrows-L",
    u"Bone_Eyebrows-L01", u"Bone_Eyebrows-L02", u"Bone_Lip-Up",
}};

const RigNameTable<6> FaceMeshNames = {{
    u"KT_R_Eye", u"KT_L_Eye", u"KT_UpperTeeth", u"KT_DownTeeth", u"KT_Tongue", u"KT_Hair",
}};

const RigNameTable<12> BodyPartMeshes = {{
    u"KT_Lower", u"KT_Upper", u"KT_Face", u"KT_Shoes", u"KT_Hands", u"KT_Eyewinker", u"KT_HairMesh", u"KT_R_Eye",
    u"KT_L_Eye", u"KT_UpperTeeth", u"KT_DownTeeth", u"KT_Tongue",
}};

const RigNameTable<55> MotionSkeletonBones = {{
    u"KT_Head", u"KT_Neck", u"KT_Spine02", u"KT_Spine01", u"KT_Waist", u"KT_Hips", u"KT_Pelvis", u"KT_L_Thigh",
    u"KT_L_Calf", u"KT_L_Foot", u"KT_L_Toe", u"KT_R_Thigh", u"KT_R_Calf", u"KT_R_Foot", u"KT_R_Toe", u"KT_L_Clavicle",
    u"KT_L_UpperArm", u"KT_L_Forearm", u"KT_L_Hand", u"KT_R_Clavicle", u"KT_R_UpperArm", u"KT_R_Forearm",
    u"KT_R_Hand", u"KT_L_Finger00", u"KT_L_Finger01", u"KT_L_Finger02", u"KT_L_Finger10", u"KT_L_Finger11",
    u"KT_L_Finger12", u"KT_L_Finger20", u"KT_L_Finger21", u"KT_L_Finger22", u"KT_L_Finger30", u"KT_L_Finger31",
    u"KT_L_Finger32", u"KT_L_Finger40", u"KT_L_Finger41", u"KT_L_Finger42", u"KT_R_Finger00", u"KT_R_Finger01",
    u"KT_R_Finger02", u"KT_R_Finger10", u"KT_R_Finger11", u"KT_R_Finger12", u"KT_R_Finger20", u"KT_R_Finger21",
    u"KT_R_Finger22", u"KT_R_Finger30", u"KT_R_Finger31", u"KT_R_Finger32", u"KT_R_Finger40", u"KT_R_Finger41",
    u"KT_R_Finger42", u"KT_L_Ribs", u"KT_R_Ribs",
}};

const std::array<FixedSelectionSet, 7> FixedSelectionSets = {{
    {u"connect01", 24},
    {u"connect02", 24},
    {u"connect03", 14},
    {u"connect04", 14},
    {u"connect05", 12},
    {u"connect06", 12},
    {u"connect20", 28},
}};
