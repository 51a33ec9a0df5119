#include "platform/gb18030.h"

#include <bitset>

namespace platform {

namespace {

// Stateless: every line stands alone, so a damaged character can't spill into the next.
// ConvertInitialBom: a byte-order mark is text like any other, never dropped or added.
constexpr QStringConverter::Flags converterFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

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
    QStringDecoder decoder = gb18030Decoder();
    QStringEncoder encoder = gb18030Encoder();
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

} // namespace

void prepareGb18030Decoding()
{
    twoByteTable();
}

QStringDecoder gb18030Decoder()
{
    return QStringDecoder("GB18030", converterFlags);
}

QStringEncoder gb18030Encoder()
{
    return QStringEncoder("GB18030", converterFlags);
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
    QStringEncoder encoder = gb18030Encoder();
    return encodeKeepingEscapedBytes(text, encoder);
}

} // namespace platform
