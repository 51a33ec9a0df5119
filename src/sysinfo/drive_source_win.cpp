#include "sysinfo/drive_source.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace sysinfo {

namespace {

// Keeps Windows from asking the user to insert a disk while an empty drive is queried.
class QuietDriveErrors
{
public:
    QuietDriveErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_previous); }
    ~QuietDriveErrors() { SetThreadErrorMode(m_previous, nullptr); }
    QuietDriveErrors(const QuietDriveErrors &) = delete;
    QuietDriveErrors &operator=(const QuietDriveErrors &) = delete;

private:
    DWORD m_previous = 0;
};

std::wstring rootOf(const QString &drive)
{
    const bool letter = (drive.size() == 1 || (drive.size() == 2 && drive.at(1) == QLatin1Char(':')))
                        && drive.at(0).isLetter() && drive.at(0).unicode() < 128;
    if (!letter)
        return {};
    return (drive.left(1) + QStringLiteral(":\\")).toStdWString();
}

struct Space
{
    quint64 total;
    quint64 free;
};

std::optional<Space> spaceOf(const QString &drive)
{
    const std::wstring root = rootOf(drive);
    if (root.empty())
        return std::nullopt;
    const QuietDriveErrors quiet;
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &totalFree))
        return std::nullopt;
    return Space{total.QuadPart, available.QuadPart};
}

} // namespace

SystemDriveSource::SystemDriveSource(QString winePrefix)
    : m_winePrefix(std::move(winePrefix))
{
}

QStringList SystemDriveSource::entries() const
{
    QStringList texts;
    std::vector<wchar_t> buffer(4 * 26 + 1);
    const DWORD length = GetLogicalDriveStringsW(DWORD(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size())
        return texts;
    const QuietDriveErrors quiet;
    for (const wchar_t *root = buffer.data(); *root; root += wcslen(root) + 1) {
        QString text = QString::fromWCharArray(root, 2).toLower();
        // The label only of drives that are always there: asking a floppy or an optical
        // drive spins it up, or waits for a medium.
        const UINT type = GetDriveTypeW(root);
        if (type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_RAMDISK) {
            wchar_t label[MAX_PATH + 1] = {};
            if (GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) && *label)
                text += QStringLiteral(" [") + QString::fromWCharArray(label) + QLatin1Char(']');
        }
        texts.append(text);
    }
    return texts;
}

std::optional<quint64> SystemDriveSource::totalBytes(const QString &drive) const
{
    const std::optional<Space> space = spaceOf(drive);
    return space ? std::optional<quint64>(space->total) : std::nullopt;
}

std::optional<quint64> SystemDriveSource::freeBytes(const QString &drive) const
{
    const std::optional<Space> space = spaceOf(drive);
    return space ? std::optional<quint64>(space->free) : std::nullopt;
}

} // namespace sysinfo
