#pragma once

#include "platform/windows_path.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace sysinfo {

// The machine's drives as the page sees them: the texts of the drive list, one entry per
// drive, and the sizes of a drive. A drive is named by a letter ("C", either case), which
// on Linux maps through the Wine prefix, or on Linux by the mount point of its file
// system ("/", "/home"), since mount points are what Linux has instead of letters.
class DriveSource
{
public:
    virtual ~DriveSource() = default;

    // The drive list's texts, each beginning with its drive: "c: [SYSTEM]" on Windows,
    // "/home [sda2]" on Linux.
    virtual QStringList entries() const = 0;
    // Bytes in all, and bytes free for this user (what is left after the space kept back
    // for the administrator). std::nullopt when the drive doesn't answer: no such drive,
    // no medium, an unmapped letter.
    virtual std::optional<quint64> totalBytes(const QString &drive) const = 0;
    virtual std::optional<quint64> freeBytes(const QString &drive) const = 0;

    // The drive an entry stands for: the letter of "c: [SYSTEM]", the mount point of
    // "/media/me/USB Disk [sdb1]" (mount points may hold blanks, so the trailing
    // "[device]" is cut off rather than splitting at the first blank).
    static QString driveOfEntry(const QString &entry);
};

// The running system's drives. On Linux: the mounted file systems backed by a block
// device, each device once, listed by mount point, and always the root file system,
// which stands for the system drive. Sizes come from statvfs; a letter is looked up
// through `winePrefix`'s dosdevices folder. On Windows: the logical drives.
class SystemDriveSource final : public DriveSource
{
public:
    explicit SystemDriveSource(QString winePrefix = platform::winePrefix());

    QStringList entries() const override;
    std::optional<quint64> totalBytes(const QString &drive) const override;
    std::optional<quint64> freeBytes(const QString &drive) const override;

private:
    QString m_winePrefix;
};

} // namespace sysinfo
