#include "skins/ini_reader.h"

#include <QStringDecoder>

namespace skins {

QString decodeIni(const QByteArray &bytes, IniEncoding encoding)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8(bytes);
    if (encoding == IniEncoding::Utf8 || !utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    return gb.isValid() ? gb(bytes) : text;
}

std::optional<IniLine> IniReader::next()
{
    while (m_pos <= m_text.size()) {
        const qsizetype end = m_text.indexOf(u'\n', m_pos);
        const qsizetype lineEnd = end < 0 ? m_text.size() : end;
        const QStringView line = m_text.sliced(m_pos, lineEnd - m_pos).trimmed();
        m_pos = lineEnd + 1;
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']'))
            return IniLine{IniLine::Kind::Section, line.sliced(1, line.size() - 2).trimmed(), {}, m_pos};
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        return IniLine{IniLine::Kind::Entry, line.left(equals).trimmed(), line.sliced(equals + 1).trimmed(), m_pos};
    }
    return std::nullopt;
}

} // namespace skins
