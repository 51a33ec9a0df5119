#include "sysinfo/drive_source.h"

#include "sysinfo/drive_space.h"

#include <utility>

namespace sysinfo {

QString DriveSource::driveOfEntry(const QString &entry)
{
    // "c:" or "c: [label]": the letter.
    if (entry.size() >= 2 && entry.at(1) == QLatin1Char(':') && entry.at(0).isLetter())
        return entry.left(1);
    if (entry.endsWith(QLatin1Char(']'))) {
        const qsizetype open = entry.lastIndexOf(QLatin1String(" ["));
        if (open > 0)
            return entry.left(open);
    }
    return entry;
}

namespace detail {

QString driveLetter(const QString &drive)
{
    const bool letter = (drive.size() == 1 || (drive.size() == 2 && drive.at(1) == QLatin1Char(':')))
                        && drive.at(0).isLetter() && drive.at(0).unicode() < 128;
    return letter ? drive.left(1) : QString();
}

} // namespace detail

SystemDriveSource::SystemDriveSource(QString winePrefix)
    : m_winePrefix(std::move(winePrefix))
{
}

std::optional<quint64> SystemDriveSource::totalBytes(const QString &drive) const
{
    const std::optional<detail::Space> space = detail::spaceOfDrive(drive, m_winePrefix);
    return space ? std::optional<quint64>(space->total) : std::nullopt;
}

std::optional<quint64> SystemDriveSource::freeBytes(const QString &drive) const
{
    const std::optional<detail::Space> space = detail::spaceOfDrive(drive, m_winePrefix);
    return space ? std::optional<quint64>(space->free) : std::nullopt;
}

} // namespace sysinfo
