#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// The INI-style text that skin files and KDE colour schemes are written in. One grammar for
// both: lines end at LF (a CR before it is trimmed away), blank lines and lines starting with
// ';' or '#' are comments, "[name]" opens a section, "key=value" splits at the first '=',
// and names and values are trimmed. Anything else on a line is passed over. Letter case is
// left to the caller: the skin file matches names in any case, a KDE scheme exactly.
namespace skins {

// How a file's bytes become text; a byte-order mark is dropped either way.
enum class IniEncoding {
    Utf8,          // bytes that aren't UTF-8 become replacement characters
    Utf8OrGb18030, // GB18030 when the bytes aren't valid UTF-8, as a Chinese Windows editor saves text
};

QString decodeIni(const QByteArray &bytes, IniEncoding encoding);

struct IniLine
{
    enum class Kind { Section, Entry };
    Kind kind = Kind::Entry;
    QStringView name;  // the section's name, or the entry's key: never empty for an entry
    QStringView value; // the entry's value
    qsizetype next = 0; // where the text after this line starts (past its end when it is the last)
};

class IniReader
{
public:
    explicit IniReader(QStringView text)
        : m_text(text)
    {
    }

    // The next section heading or entry; nothing at the end of the text.
    std::optional<IniLine> next();

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace skins
