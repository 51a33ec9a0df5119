#include "sysinfo/drive_source.h"

#include "sysinfo/drive_space.h"
#include "sysinfo/mount_table.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace sysinfo {

namespace {

std::optional<quint64> blockDeviceNumber(const QString &source)
{
    struct stat info{};
    if (::stat(QFile::encodeName(source).constData(), &info) != 0 || !S_ISBLK(info.st_mode))
        return std::nullopt;
    return quint64(info.st_rdev);
}

std::optional<detail::Space> spaceAt(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    struct statvfs info{};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    const quint64 unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    // f_bavail, not f_bfree: the blocks kept back for root are no space the user can fill,
    // just as Windows reports the space available to the caller.
    return detail::Space{quint64(info.f_blocks) * unit, quint64(info.f_bavail) * unit};
}

} // namespace

QStringList SystemDriveSource::entries() const
{
    QStringList texts;
    const QList<MountedDrive> drives = pickDrives(readMountTable(), blockDeviceNumber);
    for (const MountedDrive &drive : drives)
        texts.append(drive.mountPoint + QStringLiteral(" [") + drive.device + QLatin1Char(']'));
    return texts;
}

namespace {

// A mount point names itself; a letter ("C", "C:") is the Wine prefix's drive of that
// letter. Anything else is no drive.
QString pathOfDrive(const QString &drive, const QString &winePrefix)
{
    if (drive.startsWith(QLatin1Char('/')))
        return drive;
    const QString letter = detail::driveLetter(drive);
    if (letter.isEmpty())
        return {};
    return platform::resolveWindowsPath(letter + QStringLiteral(":\\"), winePrefix);
}

} // namespace

std::optional<detail::Space> detail::spaceOfDrive(const QString &drive, const QString &winePrefix)
{
    return spaceAt(pathOfDrive(drive, winePrefix));
}

} // namespace sysinfo
