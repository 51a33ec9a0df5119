#include "cleanup/registry/reg_file.h"

#include <algorithm>

namespace cleanup::registry {

namespace {

constexpr std::uint32_t regSz = 1;
constexpr std::uint32_t regBinary = 3;
constexpr std::uint32_t regDword = 4;
// The editor breaks a hex line once it reaches this many characters.
constexpr std::size_t hexLineLimit = 77;

std::u16string escaped(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        switch (c) {
        case u'\\': out += u"\\\\"; break;
        case u'"': out += u"\\\""; break;
        case u'\n': out += u"\\n"; break;
        case u'\r': out += u"\\r"; break;
        default: out += c;
        }
    }
    return out;
}

void appendHexByte(std::u16string &out, unsigned char byte)
{
    constexpr char16_t digits[] = u"0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 0xF];
}

// The string of a REG_SZ that the quoted form carries exactly: one terminating NUL at the
// end and none before it. Anything else is written as hex, which keeps every byte.
bool quotedFormFits(const std::string &data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i + 2 < data.size(); i += 2) {
        if (data[i] == 0 && data[i + 1] == 0)
            return false;
    }
    return data[data.size() - 2] == 0 && data[data.size() - 1] == 0;
}

std::u16string utf16Of(const std::string &data, std::size_t units)
{
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        text[i] = char16_t(static_cast<unsigned char>(data[2 * i]) | static_cast<unsigned char>(data[2 * i + 1]) << 8);
    return text;
}

std::u16string valueNamePart(const std::u16string &name)
{
    return name.empty() ? std::u16string(u"@=") : u"\"" + escaped(name) + u"\"=";
}

} // namespace

bool keyPathFits(std::u16string_view keyPath)
{
    return keyPath.find_first_of(u"\r\n") == std::u16string_view::npos;
}

std::u16string_view rootKeyName(Root root)
{
    switch (root) {
    case Root::CurrentUser:
        return u"HKEY_CURRENT_USER";
    case Root::LocalMachine:
        return u"HKEY_LOCAL_MACHINE";
    case Root::ClassesRoot:
        return u"HKEY_CLASSES_ROOT";
    case Root::Users:
        return u"HKEY_USERS";
    case Root::CurrentConfig:
        break;
    }
    return u"HKEY_CURRENT_CONFIG";
}

std::u16string formatRegValue(const ExportedValue &value)
{
    std::u16string line = valueNamePart(value.name);
    const std::string &data = value.data;
    if (value.type == regSz && quotedFormFits(data))
        return line + u"\"" + escaped(utf16Of(data, data.size() / 2 - 1)) + u"\"";
    if (value.type == regDword && data.size() == 4) {
        line += u"dword:";
        for (std::size_t i = 4; i-- > 0;)
            appendHexByte(line, static_cast<unsigned char>(data[i]));
        return line;
    }
    if (value.type == regBinary) {
        line += u"hex:";
    } else {
        line += u"hex(";
        std::u16string digits;
        std::uint32_t type = value.type;
        do {
            digits.insert(digits.begin(), u"0123456789abcdef"[type & 0xF]);
            type >>= 4;
        } while (type != 0);
        line += digits + u"):";
    }
    std::size_t column = line.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        appendHexByte(line, static_cast<unsigned char>(data[i]));
        if (i + 1 == data.size())
            break;
        line += u',';
        column += 3;
        if (column >= hexLineLimit) {
            line += u"\\\r\n  ";
            column = 2;
        }
    }
    return line;
}

std::vector<std::u16string> valueNamesGone(const std::vector<ExportedValue> &before,
                                           const std::vector<ExportedValue> &after)
{
    std::vector<std::u16string> gone;
    for (const ExportedValue &old : before) {
        const auto sameName = [&old](const ExportedValue &value) { return value.name == old.name; };
        if (std::none_of(after.cbegin(), after.cend(), sameName))
            gone.push_back(old.name);
    }
    return gone;
}

std::u16string formatRegSection(std::u16string_view keyPath, const std::vector<ExportedValue> &values,
                                const std::vector<std::u16string> &removed)
{
    std::u16string section = u"[" + std::u16string(keyPath) + u"]\r\n";
    for (const std::u16string &name : removed)
        section += valueNamePart(name) + u"-\r\n";
    for (const ExportedValue &value : values)
        section += formatRegValue(value) + u"\r\n";
    return section + u"\r\n";
}

} // namespace cleanup::registry
