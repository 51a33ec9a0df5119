#include "platform/skin.h"

#include "platform/line_file.h"
#include "skins/skin_abi.h"

#include <QFileInfo>
#include <QLibrary>

namespace platform {

namespace {

QString libraryName()
{
    return QStringLiteral("SkinH_VB6");
}

// The platform's file name for the library: libSkinH_VB6.so, SkinH_VB6.dll, ...
QString libraryFileName()
{
#if defined(_WIN32)
    return libraryName() + QStringLiteral(".dll");
#elif defined(__APPLE__)
    return QStringLiteral("lib") + libraryName() + QStringLiteral(".dylib");
#else
    return QStringLiteral("lib") + libraryName() + QStringLiteral(".so");
#endif
}

} // namespace

bool attachSkin(const QString &programDir, const QString &skinFile)
{
    // The library hooks the drawing of every window for as long as the program runs, so
    // it is never unloaded: a QLibrary leaves the library loaded when it goes away.
    QLibrary library;
    const QString besideProgram = programDir + u'/' + libraryFileName();
    bool loaded = false;
    if (!programDir.isEmpty() && QFileInfo::exists(besideProgram)) {
        library.setFileName(besideProgram);
        loaded = library.load();
    }
    if (!loaded) {
        library.setFileName(libraryName());
        loaded = library.load();
    }
    if (!loaded)
        return false;

    const auto attach = reinterpret_cast<skins::AttachEx>(library.resolve(skins::attachExName));
    if (!attach)
        return false;
    const QByteArray name = encodeLine(skinFile);
    attach(name.constData(), "");
    return true;
}

} // namespace platform
