// The Windows-path resolver against a small prefix: whatever the path, the answer stays on
// the drive it names.

#include "fuzz_support.h"
#include "platform/windows_path.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString &prefix = fuzz::winePrefix();
    const QString resolved = platform::resolveWindowsPath(path, prefix);

    if (!platform::isWindowsPath(path)) {
        FUZZ_CHECK(resolved == path);
        return 0;
    }
    if (path[0].toLower() != u'c') {
        FUZZ_CHECK(resolved.isEmpty());
        return 0;
    }
    const QString drive = prefix + QStringLiteral("/dosdevices/c:");
    FUZZ_CHECK(resolved.startsWith(drive));
    // Only plain names below the drive: no "." or "..", no empty component, no backslash.
    const QStringView below = QStringView(resolved).mid(drive.size());
    FUZZ_CHECK(below.isEmpty() || below.startsWith(u'/'));
    if (!below.isEmpty()) {
        for (const QStringView component : below.mid(1).tokenize(u'/')) {
            FUZZ_CHECK(!component.isEmpty() && component != u"." && component != u"..");
            FUZZ_CHECK(!component.contains(u'\\'));
        }
    }
    // Resolving the answer's Windows form again changes nothing.
    QString again = QStringLiteral("C:") + below.toString();
    FUZZ_CHECK(platform::resolveWindowsPath(again, prefix) == resolved);
    return 0;
}
