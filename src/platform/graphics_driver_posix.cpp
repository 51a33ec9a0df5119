#include "platform/graphics_driver.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QtGlobal>

#include <climits>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Whether another driver in `folder` is the very file `driver` is (a hard or symbolic link):
// then Mesa loads that file whichever chip it finds.
bool sharesItsFile(const QString &folder, const struct stat &driver)
{
    const QDir drivers(folder);
    for (const QString &name : drivers.entryList({QStringLiteral("*_dri.so")}, QDir::Files)) {
        struct stat other {};
        if (name != QLatin1String("swrast_dri.so") && stat(QFile::encodeName(drivers.filePath(name)).constData(), &other) == 0
            && other.st_dev == driver.st_dev && other.st_ino == driver.st_ino)
            return true;
    }
    return false;
}

} // namespace

bool loadGraphicsDriverAhead()
{
    // A driver folder or a vendor the user chose, or NVIDIA's driver running the display:
    // which driver loads is then the system's to find.
    if (!qEnvironmentVariableIsEmpty("LIBGL_DRIVERS_PATH") || !qEnvironmentVariableIsEmpty("__GLX_VENDOR_LIBRARY_NAME")
        || access("/proc/driver/nvidia/version", F_OK) == 0)
        return false;
    // Mesa's GLX library, loaded as the GL dispatcher loads it; its drivers are in "dri"
    // beside it.
    void *const vendor = dlopen("libGLX_mesa.so.0", RTLD_LAZY);
    if (!vendor)
        return false;
    char origin[PATH_MAX] = {};
    if (dlinfo(vendor, RTLD_DI_ORIGIN, origin) != 0)
        return false;
    // The software driver is always installed. Only where it shares its file with the
    // chips' drivers is it the library Mesa will load, under whichever name: the dynamic
    // loader knows a loaded file under every name it has.
    const QByteArray folder = QByteArray(origin) + "/dri";
    const QByteArray driver = folder + "/swrast_dri.so";
    struct stat info {};
    if (stat(driver.constData(), &info) != 0 || !sharesItsFile(QFile::decodeName(folder), info))
        return false;
    // With Mesa's own flags, so that its load has nothing left to do.
    return dlopen(driver.constData(), RTLD_NOW | RTLD_GLOBAL) != nullptr;
}

} // namespace platform
