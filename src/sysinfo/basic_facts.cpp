#include "sysinfo/basic_facts.h"

#include "sysinfo/drive_source.h"
#include "sysinfo/environment.h"
#include "sysinfo/number_form.h"

namespace sysinfo {

namespace {

// The first character of the variable; a character beyond the BMP stays whole.
QString firstCharacter(const QString &text)
{
    if (text.size() >= 2 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate())
        return text.left(2);
    return text.left(1);
}

double megabytes(double bytes)
{
    return bytes / 1024 / 1024;
}

} // namespace

BasicFacts basicFacts(const QStringList &driveEntries, const DriveSource &drives)
{
    BasicFacts facts;
    const QString systemDrive = firstCharacter(environmentValue(u"systemdrive"));
    facts.systemDriveTip = QStringLiteral("系统盘为：") + systemDrive + QStringLiteral("盘");

    facts.computerName = environmentValue(u"computername");
    facts.userName = environmentValue(u"username");
    facts.os = environmentValue(u"os");

    const std::optional<quint64> free =
        systemDrive.isEmpty() ? std::nullopt : drives.freeBytes(systemDrive);
    if (free)
        facts.systemDriveFree = generalNumber(megabytes(double(*free))) + QStringLiteral("MB");

    double sum = 0;
    for (const QString &entry : driveEntries) {
        const QString drive = DriveSource::driveOfEntry(entry);
        if (drive.isEmpty())
            continue;
        if (const std::optional<quint64> total = drives.totalBytes(drive))
            sum += throughTextForm(double(*total));
    }
    facts.drivesTotal = generalNumber(megabytes(sum)) + QStringLiteral("MB");
    return facts;
}

} // namespace sysinfo
