#include "sysinfo/drive_source.h"

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

} // namespace sysinfo
