// A stand-in for the skin library: records the bytes of both arguments, each with its
// terminating zero, in the file named by BRISQUEL_SKIN_PROBE_OUT.
#include "skins/skin_abi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int BRISQUEL_SKIN_CALL SkinH_AttachEx(const char *skinFile, const char *password)
{
    const char *out = std::getenv("BRISQUEL_SKIN_PROBE_OUT");
    if (!out || !*out)
        return -1;
    std::FILE *file = std::fopen(out, "wb");
    if (!file)
        return -1;
    std::fwrite(skinFile, 1, std::strlen(skinFile) + 1, file);
    std::fwrite(password, 1, std::strlen(password) + 1, file);
    std::fclose(file);
    return 0;
}
