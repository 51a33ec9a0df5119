#include "platform/graphics_driver.h"

#include <QByteArray>
#include <QtGlobal>

#include <climits>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

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
    const QByteArray driver = QByteArray(origin) + "/dri/swrast_dri.so";
    struct stat info {};
    if (stat(driver.constData(), &info) != 0 || info.st_nlink < 2)
        return false;
    // With Mesa's own flags, so that its load has nothing left to do.
    return dlopen(driver.constData(), RTLD_NOW | RTLD_GLOBAL) != nullptr;
}

} // namespace platform
