#pragma once

#include <QString>

namespace platform {

// Loads the skin library SkinH_VB6 by its bare name at the moment of the call (the
// program's folder first, then the system's library search, as Windows does), and calls
// SkinH_AttachEx(skinFile, "") with GB18030 bytes. Returns false when the library or
// the function is missing; the function's own result is not read.
bool attachSkin(const QString &programDir, const QString &skinFile);

} // namespace platform
