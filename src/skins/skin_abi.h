#pragma once

// The skin library's entry point, as start-up calls it and as the library defines it. No Qt
// and no other header: the library, the platform's loader and stand-in libraries share it.
// BRISQUEL_SKIN_EXPORT and BRISQUEL_SKIN_CALL come from the brisquel_skin_abi target, picked
// per operating system there: __stdcall on 32-bit Windows, the C convention elsewhere.

namespace skins {

// What loading or attaching a skin came to; the numbers are the library's results.
enum class SkinStatus : int {
    Ok = 0,
    BadArguments = -1,      // no file name, or one that can't be decoded
    NoApplication = -2,     // the process has no widget application to skin
    Unreadable = -3,        // missing, no permission, or a read error
    NotRegularFile = -4,    // a folder, device, pipe ...
    TooLarge = -5,          // over 1 MiB
    UnsupportedFormat = -6, // no [Skin] Format line, or a version this program doesn't know
    NoValidContent = -7,    // neither a valid colour nor a style sheet
    Pending = -8,           // the read hasn't answered yet; the skin follows when it does
    IllegibleText = -9,     // some text of an open window would be unreadable: the plain look stays
};

} // namespace skins

// Dresses the application in the skin file `skinFile` (a name in GB18030, relative to the
// working folder) and keeps it current. `password` is reserved and ignored. The result is a
// skins::SkinStatus.
extern "C" BRISQUEL_SKIN_EXPORT int BRISQUEL_SKIN_CALL SkinH_AttachEx(const char *skinFile, const char *password);

namespace skins {

// The entry point as a loader resolves it by name.
using AttachEx = decltype(&SkinH_AttachEx);
inline constexpr char attachExName[] = "SkinH_AttachEx";

} // namespace skins
