#include "platform/line_file.h"

#include "platform/error_text.h"

#include <algorithm>
#include <bitset>
#include <cstring>

namespace platform {

namespace {

// Big enough to read a file in few calls, small enough that a huge file never sits in
// memory beyond the line being read.
constexpr qsizetype chunkSize = 64 * 1024;

// No list or text file of the program comes near this; a bigger one is refused rather than
// read into memory without end.
constexpr qint64 maxFileBytes = 128 * 1024 * 1024;

// Stateless: every line stands alone, so a damaged character can't spill into the next.
// ConvertInitialBom: a byte-order mark is text like any other, never dropped or added.
constexpr QStringConverter::Flags converterFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

QStringDecoder makeDecoder()
{
    return QStringDecoder("GB18030", converterFlags);
}

QStringEncoder makeEncoder()
{
    return QStringEncoder("GB18030", converterFlags);
}

QString missingCodecText()
{
    return QStringLiteral("系统缺少 GB18030 文字编码的支持，无法读写文本文件。");
}

// GB18030's shapes: a byte below 0x80; a lead byte 81..FE and a trail 40..7E or 80..FE; or
// a lead byte, 30..39, 81..FE, 30..39. The four-byte codes up to 84 31 A4 39 hold the rest of
// the Basic Multilingual Plane, and 90 30 81 30 to E3 32 9A 35 the planes above it, in order.
constexpr int twoByteCodes = 126 * 190;
constexpr int fourByteBmpCodes = 39420;
constexpr int firstSupplementaryCode = 189000; // the index of 90 30 81 30, U+10000
constexpr int lastSupplementaryCode = firstSupplementaryCode + 0xFFFFF;
constexpr char16_t escapeBase = 0xDC00;

int twoByteIndex(uchar lead, uchar trail)
{
    return (lead - 0x81) * 190 + (trail < 0x7F ? trail - 0x40 : trail - 0x41);
}

int fourByteIndex(const uchar *s)
{
    return (((s[0] - 0x81) * 10 + (s[1] - 0x30)) * 126 + (s[2] - 0x81)) * 10 + (s[3] - 0x30);
}

// Which codes of a range the converter reads as one character that it writes back as the
// same bytes. Asked of the converter itself once, so that only such codes are ever decoded
// and a save always gives back the bytes that were read.
//
// Asked a batch of neighbouring codes at a time: when a batch reads as one UTF-16 unit per
// code without error and writes back as the same bytes, every code in it does on its own
// (no code of these ranges is ASCII or a prefix of another, so each unit written back lines
// up with its own code). A batch that doesn't is asked code by code.
template <std::size_t N, qsizetype Width, typename WriteCode>
std::bitset<N> roundTripping(WriteCode writeCode)
{
    constexpr std::size_t batchSize = 190;
    std::bitset<N> valid;
    QStringDecoder decoder = makeDecoder();
    QStringEncoder encoder = makeEncoder();
    if (!decoder.isValid() || !encoder.isValid())
        return valid;
    const auto oneByOne = [&](std::size_t first, std::size_t last) {
        QByteArray bytes(Width, Qt::Uninitialized);
        for (std::size_t i = first; i < last; ++i) {
            writeCode(int(i), bytes.data());
            const QString text = decoder.decode(bytes);
            const bool decoded = !decoder.hasError() && !text.isEmpty() && text.size() <= 2;
            decoder.resetState();
            valid[i] = decoded && encoder.encode(text) == bytes && !encoder.hasError();
            encoder.resetState();
        }
    };
    QByteArray batch;
    for (std::size_t first = 0; first < N; first += batchSize) {
        const std::size_t last = std::min(first + batchSize, N);
        batch.resize(qsizetype(last - first) * Width);
        for (std::size_t i = first; i < last; ++i)
            writeCode(int(i), batch.data() + qsizetype(i - first) * Width);
        const QString text = decoder.decode(batch);
        const bool oneUnitEach = !decoder.hasError() && std::size_t(text.size()) == last - first
            && std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
        decoder.resetState();
        const bool writtenBack = oneUnitEach && encoder.encode(text) == batch && !encoder.hasError();
        encoder.resetState();
        if (writtenBack) {
            for (std::size_t i = first; i < last; ++i)
                valid[i] = true;
        } else {
            oneByOne(first, last);
        }
    }
    return valid;
}

const std::bitset<twoByteCodes> &twoByteTable()
{
    static const auto table = roundTripping<twoByteCodes, 2>([](int i, char *bytes) {
        const int trail = 0x40 + i % 190;
        bytes[0] = char(0x81 + i / 190);
        bytes[1] = char(trail < 0x7F ? trail : trail + 1);
    });
    return table;
}

const std::bitset<fourByteBmpCodes> &fourByteTable()
{
    static const auto table = roundTripping<fourByteBmpCodes, 4>([](int i, char *bytes) {
        bytes[0] = char(0x81 + i / 12600);
        bytes[1] = char(0x30 + i / 1260 % 10);
        bytes[2] = char(0x81 + i / 10 % 126);
        bytes[3] = char(0x30 + i % 10);
    });
    return table;
}

bool in(uchar byte, uchar low, uchar high)
{
    return byte >= low && byte <= high;
}

// The length of the character at `s`, or 0 when `s` holds a byte that starts none.
qsizetype characterLength(const uchar *s, const uchar *end)
{
    if (*s < 0x80)
        return 1;
    if (!in(*s, 0x81, 0xFE) || end - s < 2)
        return 0;
    if (in(s[1], 0x40, 0x7E) || in(s[1], 0x80, 0xFE))
        return twoByteTable()[std::size_t(twoByteIndex(s[0], s[1]))] ? 2 : 0;
    if (!in(s[1], 0x30, 0x39) || end - s < 4 || !in(s[2], 0x81, 0xFE) || !in(s[3], 0x30, 0x39))
        return 0;
    const int index = fourByteIndex(s);
    if (index < fourByteBmpCodes)
        return fourByteTable()[std::size_t(index)] ? 4 : 0;
    return index >= firstSupplementaryCode && index <= lastSupplementaryCode ? 4 : 0;
}

// One line's bytes, without its terminator: the runs of characters through the converter,
// every byte between them escaped.
QString decodeLine(QStringDecoder &decoder, QByteArrayView bytes)
{
    const auto *begin = reinterpret_cast<const uchar *>(bytes.data());
    const auto *end = begin + bytes.size();
    const uchar *run = begin;
    const uchar *s = begin;
    QString text;
    while (s < end) {
        const qsizetype length = characterLength(s, end);
        if (length > 0) {
            s += length;
            continue;
        }
        text += decoder.decode(QByteArrayView(run, s - run));
        text += QChar(char16_t(escapeBase + *s));
        run = ++s;
    }
    if (run == begin)
        return decoder.decode(bytes); // the usual case: no bad byte at all
    text += decoder.decode(QByteArrayView(run, end - run));
    return text;
}

} // namespace

bool LineReader::open(const QString &path)
{
    close();
    m_error.clear();
    m_decoder = makeDecoder();
    if (!m_decoder.isValid()) {
        m_error = missingCodecText();
        return false;
    }
    int systemError = 0;
    if (!m_file.open(path, &systemError)) {
        m_error = describeError(systemError);
        return false;
    }
    return true;
}

void LineReader::fail(int systemError)
{
    m_failed = true;
    m_error = describeError(systemError);
}

bool LineReader::fill()
{
    if (m_eof || m_failed)
        return false;
    if (m_pos > 0) {
        // After a huge line, give its memory back rather than keep it for small ones.
        if (m_buffer.capacity() > 16 * chunkSize && m_buffer.size() - m_pos < chunkSize)
            m_buffer = m_buffer.mid(m_pos);
        else
            m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype kept = m_buffer.size();
    m_buffer.resize(kept + chunkSize);
    int systemError = 0;
    const qint64 got = m_file.read(m_buffer.data() + kept, chunkSize, &systemError);
    m_buffer.resize(kept + std::max<qint64>(got, 0));
    if (got < 0) {
        fail(systemError);
        return false;
    }
    if (got == 0)
        m_eof = true;
    m_total += got;
    if (m_total > maxFileBytes) {
        m_failed = true;
        m_error = QStringLiteral("文件太大，无法读取。");
        return false;
    }
    return got > 0;
}

bool LineReader::atEnd()
{
    if (!m_file.isOpen())
        return true;
    while (!m_failed && m_pos >= m_buffer.size() && !m_eof)
        fill();
    return !m_failed && m_pos >= m_buffer.size() && m_eof;
}

std::optional<QString> LineReader::readLine()
{
    if (m_failed)
        return std::nullopt;
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("文件没有打开。");
        return std::nullopt;
    }
    // Bytes after m_pos already searched for a CR, so a long line is scanned once.
    qsizetype scanned = 0;
    for (;;) {
        const char *begin = m_buffer.constData() + m_pos;
        const qsizetype available = m_buffer.size() - m_pos;
        const auto *cr = static_cast<const char *>(
            std::memchr(begin + scanned, '\r', size_t(available - scanned)));
        if (cr) {
            const qsizetype length = cr - begin;
            // Whether an LF follows decides how much terminator to skip: read on first.
            if (length + 1 < available || m_eof) {
                QString line = decodeLine(m_decoder, QByteArrayView(begin, length));
                m_pos += length + 1;
                if (m_pos < m_buffer.size() && m_buffer.at(m_pos) == '\n')
                    ++m_pos;
                return line;
            }
            scanned = length;
        } else {
            scanned = available;
            if (m_eof) {
                if (available == 0) {
                    m_error = QStringLiteral("已经读到文件末尾。");
                    return std::nullopt;
                }
                m_pos = m_buffer.size();
                return decodeLine(m_decoder, QByteArrayView(begin, available));
            }
        }
        fill();
        if (m_failed)
            return std::nullopt;
    }
}

void LineReader::close()
{
    m_file.close();
    m_buffer = QByteArray();
    m_pos = 0;
    m_total = 0;
    m_eof = false;
    m_failed = false;
}

LinesRead readLines(const QString &path, qsizetype limit)
{
    LinesRead read;
    LineReader reader;
    read.opened = reader.open(path);
    if (!read.opened) {
        read.error = reader.error();
        return read;
    }
    while (!reader.atEnd()) {
        if (read.lines.size() >= limit)
            return read;
        std::optional<QString> line = reader.readLine();
        if (!line) {
            read.error = reader.error();
            return read;
        }
        read.lines.append(std::move(*line));
    }
    read.complete = true;
    return read;
}

int escapedByteAt(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (c < escapeBase + 0x80 || c > escapeBase + 0xFF || (i > 0 && text[i - 1].isHighSurrogate()))
        return -1;
    return c - escapeBase;
}

bool hasEscapedBytes(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (escapedByteAt(text, i) >= 0)
            return true;
    }
    return false;
}

QString withEscapedBytesShown(QStringView text)
{
    QString shown = text.toString();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (escapedByteAt(text, i) >= 0)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

QByteArray encodeKeepingEscapedBytes(QStringView text, QStringEncoder &encoder)
{
    QByteArray bytes;
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = escapedByteAt(text, i);
        if (byte < 0)
            continue;
        bytes += encoder.encode(text.sliced(run, i - run));
        bytes += char(byte);
        run = i + 1;
    }
    if (run == 0)
        return encoder.encode(text); // the usual case: no escaped byte at all
    bytes += encoder.encode(text.sliced(run));
    return bytes;
}

QByteArray encodeLine(QStringView text)
{
    QStringEncoder encoder = makeEncoder();
    return encodeKeepingEscapedBytes(text, encoder);
}

bool writeLines(const QString &path, const QStringList &lines, QString *error, bool *oldKept)
{
    if (oldKept)
        *oldKept = true;
    const auto failed = [&](const QString &description) {
        if (error)
            *error = description;
        return false;
    };
    QStringEncoder encoder = makeEncoder();
    if (!encoder.isValid())
        return failed(missingCodecText());
    QByteArray data;
    for (const QString &line : lines) {
        data += encodeKeepingEscapedBytes(line, encoder);
        data.append("\r\n", 2);
    }
    return writeFile(path, data, error, oldKept);
}

bool writeFile(const QString &path, QByteArrayView data, QString *error, bool *oldKept)
{
    int systemError = 0;
    if (detail::replaceFile(path, data, &systemError, oldKept))
        return true;
    if (error)
        *error = describeError(systemError);
    return false;
}

SaveCompletion completeInterruptedSave(const QString &path, QString *error)
{
    int systemError = 0;
    const SaveCompletion completion = detail::completeInterruptedSave(path, &systemError);
    if (completion == SaveCompletion::Failed && error)
        *error = describeError(systemError);
    return completion;
}

std::optional<QString> readTextHead(const QString &path, qint64 limitBytes)
{
    QStringDecoder decoder = makeDecoder();
    int systemError = 0;
    // One byte past the limit tells whether there is more.
    std::optional<QByteArray> head = decoder.isValid() ? detail::readHead(path, qMax<qint64>(limitBytes, 0) + 1, &systemError)
                                                       : std::nullopt;
    if (!head)
        return std::nullopt;
    QByteArray &bytes = *head;
    const bool failed = systemError != 0;
    const bool cut = bytes.size() > limitBytes;
    if (cut)
        bytes.truncate(limitBytes);
    // After a failure only whole lines count, as when reading line by line.
    if (failed)
        bytes.truncate(bytes.lastIndexOf('\r') + 1);

    QString text;
    for (qsizetype from = 0; from < bytes.size();) {
        const qsizetype cr = bytes.indexOf('\r', from);
        QString line = decodeLine(decoder, QByteArrayView(bytes).sliced(from, (cr < 0 ? bytes.size() : cr) - from));
        if (cr < 0 && cut) {
            // The line the limit cuts short: a character cut in two is dropped.
            for (int i = 0; i < 3 && !line.isEmpty() && escapedByteAt(line, line.size() - 1) >= 0; ++i)
                line.chop(1);
        }
        text += withEscapedBytesShown(line);
        text += QLatin1String("\r\n");
        from = cr < 0 ? bytes.size() : cr + 1;
        if (from < bytes.size() && bytes.at(from) == '\n')
            ++from;
    }
    if (cut)
        text += QStringLiteral("……（文件过大，其余内容未显示）\r\n");
    return text;
}

} // namespace platform
