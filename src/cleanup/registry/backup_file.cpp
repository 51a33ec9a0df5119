#include "cleanup/registry/backup_file.h"

#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_name.h"

#include <array>
#include <optional>

namespace cleanup::registry {

namespace {

constexpr std::u16string_view headerLine = u"Windows Registry Editor Version 5.00";
constexpr std::array<Root, 5> backedUpRoots{Root::CurrentUser, Root::LocalMachine, Root::ClassesRoot, Root::Users,
                                            Root::CurrentConfig};

bool isControl(char16_t c) { return c < 0x20 || c == 0x7F; }

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

void appendUtf16le(std::string &out, std::u16string_view text)
{
    for (const char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
}

// Root name, then key names: none empty, none longer than the registry allows.
bool validKeyPath(std::u16string_view path)
{
    if (path.size() > maxEntryLength)
        return false;
    for (const Root root : backedUpRoots) {
        const std::u16string_view name = rootKeyName(root);
        if (path.substr(0, name.size()) != name)
            continue;
        std::u16string_view rest = path.substr(name.size());
        if (rest.empty())
            return true; // values right below the root
        if (rest.front() != u'\\')
            return false;
        rest.remove_prefix(1);
        for (;;) {
            const std::size_t end = rest.find(u'\\');
            const std::u16string_view part = rest.substr(0, end);
            if (part.empty() || part.size() > maxKeyNameLength)
                return false;
            if (end == std::u16string_view::npos)
                return true;
            rest.remove_prefix(end + 1);
        }
    }
    return false;
}

// A quoted name or string from `pos` (at its opening quote) to its closing quote, with the
// four escapes formatRegValue() writes; `pos` ends past the closing quote.
bool readQuoted(std::u16string_view s, std::size_t &pos, std::u16string &out)
{
    if (pos >= s.size() || s[pos] != u'"')
        return false;
    for (++pos; pos < s.size(); ++pos) {
        const char16_t c = s[pos];
        if (c == u'"') {
            ++pos;
            return true;
        }
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++pos == s.size())
            return false;
        switch (s[pos]) {
        case u'\\': out += u'\\'; break;
        case u'"': out += u'"'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        default: return false;
        }
    }
    return false;
}

// "xx,xx,...", wrapped after a comma with "\", a line break and two blanks.
bool readHexBytes(std::u16string_view s, std::string &data)
{
    constexpr std::u16string_view wrap = u"\\\r\n  ";
    std::size_t pos = 0;
    while (pos < s.size()) {
        if (!data.empty()) {
            if (s[pos] != u',')
                return false;
            ++pos;
            if (s.substr(pos, wrap.size()) == wrap)
                pos += wrap.size();
        }
        if (s.size() - pos < 2)
            return false;
        const int high = hexValue(s[pos]);
        const int low = hexValue(s[pos + 1]);
        if (high < 0 || low < 0)
            return false;
        data += char(high * 16 + low);
        pos += 2;
    }
    return true;
}

// An entry comment's text back from its %XX escapes.
std::optional<std::u16string> unescapeEntry(std::u16string_view text)
{
    std::u16string entry;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') {
            entry += text[i];
            continue;
        }
        const auto upper = [](char16_t c) { return c >= u'A' && c <= u'F' ? c - u'A' + 10 : hexValue(c); };
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = upper(text[i + 1]);
        const int low = upper(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        entry += char16_t(high * 16 + low);
        i += 2;
    }
    return entry;
}

enum class Item { Bad, Value, Removal };

// One value or removal line, continuation lines joined with their CR LF.
Item readItem(std::u16string_view s, ExportedValue &value)
{
    std::size_t pos = 0;
    if (s.substr(0, 1) == u"@")
        pos = 1;
    else if (!readQuoted(s, pos, value.name) || value.name.empty())
        return Item::Bad;
    if (value.name.size() > maxValueNameLength || s.substr(pos, 1) != u"=")
        return Item::Bad;
    const std::u16string_view rest = s.substr(pos + 1);
    if (rest == u"-")
        return Item::Removal;
    if (rest.substr(0, 1) == u"\"") {
        std::size_t end = 0;
        std::u16string text;
        if (!readQuoted(rest, end, text) || end != rest.size())
            return Item::Bad;
        value.type = 1;
        appendUtf16le(value.data, text);
        value.data.append(2, '\0');
        return Item::Value;
    }
    constexpr std::u16string_view dword = u"dword:";
    if (rest.substr(0, dword.size()) == dword) {
        const std::u16string_view digits = rest.substr(dword.size());
        if (digits.size() != 8)
            return Item::Bad;
        for (std::size_t i = 8; i > 0; i -= 2) {
            const int high = hexValue(digits[i - 2]);
            const int low = hexValue(digits[i - 1]);
            if (high < 0 || low < 0)
                return Item::Bad;
            value.data += char(high * 16 + low);
        }
        value.type = 4;
        return Item::Value;
    }
    std::u16string_view hex;
    if (rest.substr(0, 4) == u"hex:") {
        value.type = 3;
        hex = rest.substr(4);
    } else if (rest.substr(0, 4) == u"hex(") {
        const std::size_t close = rest.find(u"):");
        if (close == std::u16string_view::npos || close < 5 || close > 12)
            return Item::Bad;
        std::uint32_t type = 0;
        for (std::size_t i = 4; i < close; ++i) {
            const int digit = hexValue(rest[i]);
            if (digit < 0)
                return Item::Bad;
            type = type << 4 | std::uint32_t(digit);
        }
        value.type = type;
        hex = rest.substr(close + 2);
    } else {
        return Item::Bad;
    }
    return readHexBytes(hex, value.data) ? Item::Value : Item::Bad;
}

BackupFileCheck refused(BackupFileError error, std::size_t line = 0)
{
    BackupFileCheck check;
    check.error = error;
    check.line = line;
    return check;
}

} // namespace

BackupFileCheck readBackupFile(std::string_view bytes)
{
    if (bytes.size() > maxBackupFileBytes)
        return refused(BackupFileError::TooLarge);
    if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.substr(0, 2) != "\xFF\xFE")
        return refused(BackupFileError::NotUtf16);

    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = char16_t(static_cast<unsigned char>(bytes[2 + 2 * i])
                           | static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);

    // Lines end in CR LF; a CR or LF anywhere else is none of ours.
    std::vector<std::u16string_view> lines;
    const std::u16string_view all(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const char16_t c = all[i];
        if (c == 0)
            return refused(BackupFileError::NulCharacter, lines.size() + 1);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == all.size() || all[i + 1] < 0xDC00 || all[i + 1] > 0xDFFF)
                return refused(BackupFileError::NotUtf16, lines.size() + 1);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return refused(BackupFileError::NotUtf16, lines.size() + 1);
        } else if (c == u'\r') {
            if (i + 1 == all.size())
                return refused(BackupFileError::Truncated, lines.size() + 1);
            if (all[i + 1] != u'\n')
                return refused(BackupFileError::BadLineBreak, lines.size() + 1);
            lines.push_back(all.substr(start, i - start));
            start = ++i + 1;
        } else if (c == u'\n') {
            return refused(BackupFileError::BadLineBreak, lines.size() + 1);
        }
    }
    if (start != all.size())
        return refused(BackupFileError::Truncated, lines.size() + 1);

    if (lines.size() < 2 || lines[0] != headerLine || !lines[1].empty())
        return refused(BackupFileError::NoHeader, 1);
    BackupFileCheck check;
    if (lines.size() < 4 || lines[2].substr(0, backupPrefixComment.size()) != backupPrefixComment
        || lines[2].size() == backupPrefixComment.size() || !lines[3].empty())
        return refused(BackupFileError::NoPrefixComment, 3);
    check.file.prefix = lines[2].substr(backupPrefixComment.size());
    for (const char16_t c : check.file.prefix) {
        if (isControl(c))
            return refused(BackupFileError::NoPrefixComment, 3);
    }

    std::size_t i = 4;
    while (i < lines.size()) {
        BackupSection section;
        // The checksum is the last line; nothing follows it.
        if (lines[i].substr(0, backupChecksumComment.size()) == backupChecksumComment && i + 1 == lines.size()) {
            const std::u16string_view digits = lines[i].substr(backupChecksumComment.size());
            if (digits.size() != 64 || check.file.sections.empty())
                return refused(BackupFileError::BadSection, i + 1);
            for (const char16_t c : digits) {
                if (hexValue(c) < 0)
                    return refused(BackupFileError::BadSection, i + 1);
            }
            check.file.checksum = digits;
            break;
        }
        if (lines[i].substr(0, backupEntryComment.size()) == backupEntryComment) {
            const std::optional<std::u16string> entry = unescapeEntry(lines[i].substr(backupEntryComment.size()));
            if (!entry || !entryFitsComment(*entry) || ++i == lines.size())
                return refused(BackupFileError::BadSection, i);
            section.entry = *entry;
        }
        const std::u16string_view head = lines[i];
        if (head.size() < 2 || head.front() != u'[' || head.back() != u']' || !validKeyPath(head.substr(1, head.size() - 2)))
            return refused(BackupFileError::BadSection, i + 1);
        section.keyPath = head.substr(1, head.size() - 2);
        for (++i; i < lines.size() && !lines[i].empty(); ++i) {
            const std::size_t first = i;
            std::u16string item(lines[i]);
            // Only hex data ends a line in a backslash; quoted text ends in its quote.
            while (item.back() == u'\\' && i + 1 < lines.size()) {
                item += u"\r\n";
                item += lines[++i];
            }
            ExportedValue value;
            switch (readItem(item, value)) {
            case Item::Bad:
                return refused(BackupFileError::BadValue, first + 1);
            case Item::Removal:
                if (!section.values.empty())
                    return refused(BackupFileError::BadValue, first + 1);
                section.removed.push_back(std::move(value.name));
                break;
            case Item::Value:
                section.values.push_back(std::move(value));
                break;
            }
        }
        if (i == lines.size())
            return refused(BackupFileError::Truncated, i);
        ++i; // the section's blank line
        check.file.sections.push_back(std::move(section));
    }
    if (check.file.sections.empty())
        return refused(BackupFileError::Truncated, lines.size());
    // Every form above has exactly one spelling that we write (hex digits' case, where a
    // hex line wraps, which strings are quoted): anything else is someone else's file.
    if (writeBackupFile(check.file) != bytes)
        return refused(BackupFileError::NotAsWritten);
    return check;
}

std::u16string formatBackupFileStart(std::u16string_view prefix)
{
    std::u16string start(regFileHeader);
    if (prefix.empty())
        return start;
    start += backupPrefixComment;
    // A line break in the folder's name would end the comment and start a section.
    for (const char16_t c : prefix)
        start += isControl(c) ? char16_t(0xFFFD) : c;
    return start + u"\r\n\r\n";
}

std::u16string formatBackupPart(const BackupSection &section)
{
    std::u16string part;
    if (!section.entry.empty()) {
        part = backupEntryComment;
        // One line whatever the entry holds: control characters and '%' as %XX.
        for (const char16_t c : section.entry) {
            if (isControl(c) || c == u'%') {
                constexpr std::u16string_view digits = u"0123456789ABCDEF";
                part += u'%';
                part += digits[c >> 4];
                part += digits[c & 0xF];
            } else {
                part += c;
            }
        }
        part += u"\r\n";
    }
    return part + formatRegSection(section.keyPath, section.values, section.removed);
}

std::u16string formatBackupChecksum(std::u16string_view checksum)
{
    return std::u16string(backupChecksumComment) + std::u16string(checksum) + u"\r\n";
}

std::vector<std::string> backupFileParts(const BackupFile &file)
{
    std::vector<std::string> parts(1, std::string("\xFF\xFE"));
    appendUtf16le(parts.front(), formatBackupFileStart(file.prefix));
    for (const BackupSection &section : file.sections)
        appendUtf16le(parts.emplace_back(), formatBackupPart(section));
    return parts;
}

std::string writeBackupFile(const BackupFile &file)
{
    std::string bytes;
    for (const std::string &part : backupFileParts(file))
        bytes += part;
    if (!file.checksum.empty())
        appendUtf16le(bytes, formatBackupChecksum(file.checksum));
    return bytes;
}

bool entryFitsComment(std::u16string_view entry)
{
    return !entry.empty() && entry.size() <= maxEntryLength;
}

} // namespace cleanup::registry
