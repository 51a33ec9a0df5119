// The OEM text as the system page reads it: OEMINFO.INI in the prefix holds the input.

#include "fuzz_support.h"
#include "platform/line_file.h"
#include "sysinfo/oem.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString &prefix = fuzz::winePrefix();
    const QString path = prefix + QStringLiteral("/drive_c/windows/system32/OEMINFO.INI");
    fuzz::writeFile(path, QByteArrayView(data, qsizetype(size)));

    const std::optional<QString> text = sysinfo::readOemText(prefix);
    FUZZ_CHECK(text);
    // Every line of the file as a text box shows it, each followed by CR LF, and nothing
    // else (the inputs stay far below the 1 MiB a box shows whole).
    const platform::LinesRead read = platform::readLines(path);
    FUZZ_CHECK(read.complete);
    QString expected;
    for (const QString &line : read.lines)
        expected += platform::withEscapedBytesShown(line) + QLatin1String("\r\n");
    FUZZ_CHECK(*text == expected);
    return 0;
}
