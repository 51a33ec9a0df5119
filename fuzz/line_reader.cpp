// The line-file reader and its GB18030 decoding, fed any bytes as a file.

#include "fuzz_support.h"
#include "platform/line_file.h"

#include <cstdint>

namespace {

// The bytes of each line: CR LF or a lone CR ends a line, and bytes after the last
// terminator make one more.
QList<QByteArrayView> splitLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines.append(bytes.sliced(start, i - start));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A first byte of 1 modulo 8 puts the rest just around the end of the reader's first
    // 64 KiB chunk, behind a long first line, so terminators and characters straddle the
    // refill. Only now and then: those inputs take far longer.
    const QByteArrayView input(data, qsizetype(size));
    if (input.isEmpty())
        return 0;
    QByteArray bytes;
    if ((input[0] & 7) == 1)
        bytes.fill('x', 64 * 1024 - 64 + (uchar(input[0]) >> 1) % 96);
    bytes += input.sliced(1);
    const QString path = fuzz::scratchDir() + QStringLiteral("/lines.txt");
    fuzz::writeFile(path, bytes);

    const platform::LinesRead read = platform::readLines(path);
    FUZZ_CHECK(read.opened && read.complete && read.error.isEmpty());
    const QList<QByteArrayView> lineBytes = splitLines(bytes);
    FUZZ_CHECK(read.lines.size() == lineBytes.size());

    QString joined;
    for (qsizetype i = 0; i < read.lines.size(); ++i) {
        const QString &line = read.lines[i];
        FUZZ_CHECK(!line.contains(u'\r'));
        // Every line encodes back to the very bytes it came from, bytes that are no text
        // included; a text box shows those as U+FFFD.
        FUZZ_CHECK(platform::encodeLine(line) == lineBytes[i]);
        joined += platform::withEscapedBytesShown(line) + QLatin1String("\r\n");
    }
    // The whole file, however long the input: the limit is its size.
    const std::optional<QString> text = platform::readTextHead(path, bytes.size());
    FUZZ_CHECK(text && *text == joined);

    // Line by line gives the same lines, and a limit stops the reading short.
    platform::LineReader reader;
    FUZZ_CHECK(reader.open(path));
    QStringList oneByOne;
    while (!reader.atEnd()) {
        const std::optional<QString> line = reader.readLine();
        FUZZ_CHECK(line);
        oneByOne.append(*line);
    }
    FUZZ_CHECK(!reader.readLine());
    FUZZ_CHECK(oneByOne == read.lines);
    if (!read.lines.isEmpty()) {
        const qsizetype limit = read.lines.size() - 1;
        const platform::LinesRead partial = platform::readLines(path, limit);
        FUZZ_CHECK(!partial.complete && partial.lines == read.lines.mid(0, limit));
    }
    return 0;
}
