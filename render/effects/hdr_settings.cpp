#include "render/effects/hdr_settings.h"

namespace KT {

const char16_t* const kGlareTypeNames[kGlareTypeCount] = {
    u"GT_Disable",
    u"GT_Camera",
    u"GT_CheapLens",
    u"GT_CrossScreen",
    u"GT_CrossScreen_Spectral",
    u"GT_SnowCross",
    u"GT_SnowCross_Spectral",
    u"GT_SunnyCross",
    u"GT_SunnyCross_Spectral",
    u"GT_CineCam_VerticalSlits",
    u"GT_CineCam_HorizontalSlits",
};

}  // namespace KT
