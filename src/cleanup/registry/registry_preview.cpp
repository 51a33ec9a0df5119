#include "cleanup/registry/registry_preview.h"

#include "cleanup/registry/reg_file.h"

#include <array>

namespace cleanup::registry {

namespace {

QString fromUtf16(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// The data's UTF-16 units, a trailing odd byte left out.
std::u16string unitsOf(const std::string &data)
{
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(static_cast<unsigned char>(data[2 * i]) | static_cast<unsigned char>(data[2 * i + 1]) << 8);
    return units;
}

// Text fit for one line of a terminal: control characters escaped, lone surrogates replaced.
QString shown(std::u16string_view text)
{
    QString out;
    out.reserve(qsizetype(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            out += QStringLiteral("\\x%1").arg(unsigned(c), 2, 16, QLatin1Char('0'));
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += QChar(c);
            out += QChar(text[++i]);
        } else if (c >= 0xD800 && c <= 0xDFFF)
            out += QChar(QChar::ReplacementCharacter);
        else
            out += QChar(c);
    }
    return out;
}

} // namespace

void fillPreview(PreviewedEntry &entry, const RegistryName &name, quint32 error, const std::vector<ExportLine> &lines)
{
    entry.isKey = name.isKey;
    entry.error = error;
    entry.keyName.clear();
    entry.keyPath.clear();
    entry.values.clear();
    if (error != 0)
        return;
    std::u16string keyName;
    for (const ExportLine &line : lines) {
        if (line.isKey)
            keyName = line.keyName;
        else
            entry.values.push_back(line.value);
    }
    std::u16string path(rootKeyName(name.root));
    if (!name.parentPath.empty())
        path += u'\\' + name.parentPath;
    if (name.isKey) {
        entry.keyName = fromUtf16(keyName.empty() ? name.name : keyName);
        path += u'\\' + (keyName.empty() ? name.name : keyName);
    }
    entry.keyPath = fromUtf16(path);
}

QString describeValueData(const ExportedValue &value, int maxLength)
{
    QString text;
    switch (value.type) {
    case 1:   // REG_SZ
    case 2: { // REG_EXPAND_SZ
        const std::u16string units = unitsOf(value.data);
        text = shown(std::u16string_view(units).substr(0, units.find(u'\0')));
        break;
    }
    case 7: { // REG_MULTI_SZ: strings ended by NULs, the list by an empty one
        const std::u16string units = unitsOf(value.data);
        std::u16string_view rest = units;
        QStringList strings;
        while (!rest.empty()) {
            const std::size_t end = rest.find(u'\0');
            const std::u16string_view one = rest.substr(0, end);
            if (one.empty())
                break;
            strings.append(shown(one));
            if (end == std::u16string_view::npos)
                break;
            rest.remove_prefix(end + 1);
        }
        text = strings.join(QStringLiteral(", "));
        break;
    }
    case 4: // REG_DWORD
        if (value.data.size() == 4) {
            quint32 number = 0;
            for (int i = 3; i >= 0; --i)
                number = number << 8 | static_cast<unsigned char>(value.data[size_t(i)]);
            text = QStringLiteral("0x%1 (%2)").arg(number, 8, 16, QLatin1Char('0')).arg(number);
            break;
        }
        [[fallthrough]];
    default: {
        // Only as many bytes as can be shown are turned into text, and one more, so that the
        // cut below marks the rest.
        const std::size_t shownBytes = maxLength > 0 ? std::min(value.data.size(), std::size_t(maxLength) / 3 + 2)
                                                     : value.data.size();
        QStringList bytes;
        for (std::size_t i = 0; i < shownBytes; ++i)
            bytes.append(QStringLiteral("%1").arg(static_cast<unsigned char>(value.data[i]), 2, 16, QLatin1Char('0')));
        text = bytes.join(u' ');
    }
    }
    if (maxLength > 0 && text.size() > maxLength)
        text = text.left(maxLength - 1) + QStringLiteral("…");
    return text;
}

QString valueTypeName(quint32 type)
{
    static constexpr std::array<const char *, 12> names{
        "REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_LINK",
        "REG_MULTI_SZ", "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
        "REG_QWORD"};
    if (type < names.size())
        return QString::fromLatin1(names[type]);
    return QStringLiteral("REG_0x%1").arg(type, 4, 16, QLatin1Char('0'));
}

} // namespace cleanup::registry
