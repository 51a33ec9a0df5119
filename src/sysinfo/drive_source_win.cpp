#include "sysinfo/drive_source.h"

#include "sysinfo/drive_space.h"

#include <windows.h>

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
    const QString letter = detail::driveLetter(drive);
    if (letter.isEmpty())
        return {};
    return (letter + QStringLiteral(":\\")).toStdWString();
}

} // namespace

std::optional<detail::Space> detail::spaceOfDrive(const QString &drive, const QString &)
{
    const std::wstring root = rootOf(drive);
    if (root.empty())
        return std::nullopt;
    const QuietDriveErrors quiet;
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &totalFree))
        return std::nullopt;
    return detail::Space{total.QuadPart, available.QuadPart};
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

} // namespace sysinfo
