#include "platform/line_file.h"

#include "platform/error_text.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

// Big enough to read a file in few calls, small enough that a huge file never sits in
// memory beyond the line being read.
constexpr qsizetype chunkSize = 64 * 1024;

// No list or text file of the program comes near this; a bigger one is refused rather than
// read into memory without end.
constexpr qint64 maxFileBytes = 128 * 1024 * 1024;

QString missingCodecText()
{
    return QStringLiteral("系统缺少 GB18030 文字编码的支持，无法读写文本文件。");
}

} // namespace

bool LineReader::open(const QString &path)
{
    close();
    m_error.clear();
    m_decoder = gb18030Decoder();
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


bool writeLines(const QString &path, const QStringList &lines, QString *error, bool *oldKept)
{
    if (oldKept)
        *oldKept = true;
    const auto failed = [&](const QString &description) {
        if (error)
            *error = description;
        return false;
    };
    QStringEncoder encoder = gb18030Encoder();
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
    QStringDecoder decoder = gb18030Decoder();
    int systemError = 0;
    // One byte past the limit tells whether there is more.
    std::optional<QByteArray> head = decoder.isValid() ? readHead(path, qMax<qint64>(limitBytes, 0) + 1, &systemError)
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
