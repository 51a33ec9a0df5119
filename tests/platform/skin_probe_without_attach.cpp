// A library by the skin library's name that lacks SkinH_AttachEx.
#include "skins/skin_abi.h"

extern "C" BRISQUEL_SKIN_EXPORT int SkinH_Attach()
{
    return 0;
}
