#pragma once

#include <QString>

#include <optional>

// What the system drive source shares between operating systems; each one's
// drive_source_*.cpp answers spaceOfDrive.
namespace sysinfo::detail {

struct Space
{
    quint64 total;
    quint64 free;
};

// The letter of "C" or "C:" (an ASCII letter, either case); empty for anything else.
QString driveLetter(const QString &drive);

// The sizes of `drive`, as the operating system reports them; std::nullopt when the
// drive doesn't answer.
std::optional<Space> spaceOfDrive(const QString &drive, const QString &winePrefix);

} // namespace sysinfo::detail
