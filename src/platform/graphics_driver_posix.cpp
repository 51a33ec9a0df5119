#include "platform/graphics_driver.h"

#include "platform/unique_fd.h"

#include <QtGlobal>

#include <climits>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Whether another driver in the folder open as `folderFd` is the very file `driver` is (a
// hard or symbolic link): then Mesa loads that file whichever chip it finds.
bool sharesItsFile(int folderFd, const struct stat &driver)
{
    const std::unique_ptr<DIR, int (*)(DIR *)> entries(fdopendir(fcntl(folderFd, F_DUPFD_CLOEXEC, 0)), closedir);
    if (!entries)
        return false;
    while (const dirent *entry = readdir(entries.get())) {
        const std::string_view name(entry->d_name);
        struct stat other {};
        if (name.ends_with("_dri.so") && name != "swrast_dri.so" && fstatat(folderFd, entry->d_name, &other, 0) == 0
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
    const std::string folderPath = std::string(origin) + "/dri";
    const UniqueFd folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat driver {};
    if (!folder.valid() || fstatat(folder.get(), "swrast_dri.so", &driver, 0) != 0 || !sharesItsFile(folder.get(), driver))
        return false;
    // With Mesa's own flags and the usual lookup order, so that its load has nothing left to
    // do and finds the very functions it would have found. Mesa loads it by name too:
    // whatever sits there then is what it would have loaded.
    return dlopen((folderPath + "/swrast_dri.so").c_str(), RTLD_NOW | RTLD_GLOBAL) != nullptr;
}

} // namespace platform
