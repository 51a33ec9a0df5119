// The line-file writer and reader together: any lines (the input as UTF-16, NUL between
// lines) are written and read back.

#include "fuzz_support.h"
#include "platform/line_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data, size / 2 * 2);
    const QStringList lines = text.isEmpty() ? QStringList() : text.split(QChar(0));

    const QString path = fuzz::scratchDir() + QStringLiteral("/written.txt");
    QString error;
    FUZZ_CHECK(platform::writeLines(path, lines, &error));
    FUZZ_CHECK(error.isEmpty());
    const platform::LinesRead read = platform::readLines(path);
    FUZZ_CHECK(read.opened && read.complete);

    // A CR inside a line ends it when read back, and GB18030 can't hold a lone surrogate;
    // every other line comes back as written.
    const bool clean = std::all_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return !line.contains(u'\r') && QStringView(line).isValidUtf16();
    });
    if (clean)
        FUZZ_CHECK(read.lines == lines);
    return 0;
}
