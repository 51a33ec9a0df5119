#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace sysinfo {

class DriveSource;

// The lower block of the system information page, as the texts that follow each heading.
struct BasicFacts
{
    QString os;
    QString computerName;
    QString userName;
    QString systemDriveTip;                 // "系统盘为：C盘"
    std::optional<QString> systemDriveFree; // "5120MB"; nothing when the drive doesn't answer
    QString drivesTotal;                    // "30721MB"
};

// The operating system, computer name and user from the environment, the system drive's
// free space and the total size of the drives named by `driveEntries` (the drive list's
// texts), both in megabytes. A drive without a size adds nothing to the total.
BasicFacts basicFacts(const QStringList &driveEntries, const DriveSource &drives);

} // namespace sysinfo
