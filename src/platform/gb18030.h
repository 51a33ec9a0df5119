#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

// The text files' codec: GB18030 (a superset of GBK) through Qt's converters, each line on
// its own, with no byte lost either way.

// Converters that keep no state between calls and treat a byte-order mark as text. Invalid
// where the system has no GB18030.
QStringDecoder gb18030Decoder();
QStringEncoder gb18030Encoder();

// Builds the table of two-byte characters the decoder checks against now, on the calling
// thread, rather than at the first line read (some milliseconds). Safe from any thread.
void prepareGb18030Decoding();

// One line's bytes, without its terminator, as text; every byte that starts no GB18030
// character is escaped (below).
QString decodeLine(QStringDecoder &decoder, QByteArrayView bytes);

// Escaped bytes: a byte 0x80..0xFF that is no text where it stands (a stray byte, a lead
// byte without its trail, a character cut off at the end of the line) is read as the lone
// low surrogate U+DC00 + byte, which no real character decodes to, and written back as
// that byte. Bytes below 0x80 are always text: after a bad lead byte, reading goes on at
// the next byte.
// The byte the code unit at `i` stands for, or -1 when it is text (a low surrogate after a
// high one is half of a character).
int escapedByteAt(QStringView text, qsizetype i);
bool hasEscapedBytes(QStringView text);
// `text` as a screen shows it: each escaped byte as U+FFFD.
QString withEscapedBytesShown(QStringView text);

// Encodes one line's text, escaped bytes as themselves; characters GB18030 can't hold don't
// exist (it covers Unicode).
QByteArray encodeLine(QStringView text);
// Encodes `text` with `encoder`, each escaped byte as that very byte.
QByteArray encodeKeepingEscapedBytes(QStringView text, QStringEncoder &encoder);

} // namespace platform
