#include "platform/line_file.h"

#include "platform/error_text.h"

#include <QStringEncoder>

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

// `bytes` ends with the line's CR. Decoded together with the line, it makes the decoder
// turn a truncated last character into U+FFFD instead of dropping it silently, and is
// itself always decoded as one CR, which is then cut off.
QString decodeWithTerminator(QStringDecoder &decoder, QByteArrayView bytes)
{
    QString text = decoder(bytes);
    if (text.endsWith(u'\r'))
        text.chop(1);
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
                QString line = decodeWithTerminator(m_decoder, QByteArrayView(begin, length + 1));
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
                QByteArray last(begin, available);
                last.append('\r');
                m_pos = m_buffer.size();
                return decodeWithTerminator(m_decoder, last);
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

std::optional<QString> readTextWithLineEnds(const QString &path)
{
    const LinesRead read = readLines(path);
    if (!read.opened)
        return std::nullopt;
    // A read that fails part-way keeps what came before, as the text box would have.
    QString text;
    for (const QString &line : read.lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

QByteArray encodeLine(QStringView text)
{
    QStringEncoder encoder = makeEncoder();
    return encoder(text);
}

bool writeLines(const QString &path, const QStringList &lines, QString *error)
{
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
        data.append(encoder(line));
        data.append("\r\n", 2);
    }
    int systemError = 0;
    if (!detail::replaceFile(path, data, &systemError))
        return failed(describeError(systemError));
    return true;
}

std::optional<QString> readTextHead(const QString &path, qint64 limitBytes)
{
    QStringDecoder decoder = makeDecoder();
    detail::ReadOnlyFile file;
    int systemError = 0;
    if (!decoder.isValid() || !file.open(path, &systemError))
        return std::nullopt;
    // One byte past the limit tells whether there is more.
    QByteArray bytes(qMax<qint64>(limitBytes, 0) + 1, Qt::Uninitialized);
    qsizetype size = 0;
    bool failed = false;
    while (size < bytes.size()) {
        const qint64 got = file.read(bytes.data() + size, bytes.size() - size, &systemError);
        failed = got < 0;
        if (got <= 0)
            break;
        size += got;
    }
    const bool cut = size > limitBytes;
    bytes.truncate(cut ? limitBytes : size);
    // After a failure only whole lines count, as when reading line by line.
    if (failed)
        bytes.truncate(bytes.lastIndexOf('\r') + 1);

    QString text;
    for (qsizetype from = 0; from < bytes.size();) {
        const qsizetype cr = bytes.indexOf('\r', from);
        if (cr < 0 && cut) {
            // The line the limit cuts short; a character cut in two is dropped.
            text += decoder(QByteArrayView(bytes).sliced(from));
        } else {
            QByteArray line = bytes.mid(from, cr < 0 ? -1 : cr - from);
            line.append('\r');
            text += decodeWithTerminator(decoder, line);
        }
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
