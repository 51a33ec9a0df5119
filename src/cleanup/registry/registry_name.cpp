#include "cleanup/registry/registry_name.h"

#include <array>

namespace cleanup::registry {

namespace {

constexpr char16_t backslash = u'\\';

struct RootSpelling
{
    std::u16string_view name;
    Root root;
};

// HKEY_USERS and HKEY_CURRENT_CONFIG have no short form here, as with RegDelete.
constexpr std::array<RootSpelling, 8> rootSpellings{{
    {u"HKEY_CURRENT_USER", Root::CurrentUser},
    {u"HKCU", Root::CurrentUser},
    {u"HKEY_LOCAL_MACHINE", Root::LocalMachine},
    {u"HKLM", Root::LocalMachine},
    {u"HKEY_CLASSES_ROOT", Root::ClassesRoot},
    {u"HKCR", Root::ClassesRoot},
    {u"HKEY_USERS", Root::Users},
    {u"HKEY_CURRENT_CONFIG", Root::CurrentConfig},
}};

// ASCII-only folding: root names are ASCII, and a Unicode fold would also take, say, the
// Kelvin sign for a K.
char16_t foldAscii(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c;
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

ParseError checkCharacters(std::u16string_view entry)
{
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char16_t c = entry[i];
        if (c == 0)
            return ParseError::NulCharacter;
        if (isHighSurrogate(c)) {
            if (i + 1 == entry.size() || !isLowSurrogate(entry[i + 1]))
                return ParseError::InvalidUtf16;
            ++i;
        } else if (isLowSurrogate(c)) {
            return ParseError::InvalidUtf16;
        }
    }
    return ParseError::None;
}

ParseError checkKeyName(std::u16string_view name)
{
    if (name.empty())
        return ParseError::EmptyKeyName;
    if (name.size() > maxKeyNameLength)
        return ParseError::KeyNameTooLong;
    return ParseError::None;
}

ParseError checkKeyPath(std::u16string_view path)
{
    for (;;) {
        const std::size_t sep = path.find(backslash);
        if (const ParseError error = checkKeyName(path.substr(0, sep)); error != ParseError::None)
            return error;
        if (sep == std::u16string_view::npos)
            return ParseError::None;
        path.remove_prefix(sep + 1);
    }
}

ParseResult failure(ParseError error)
{
    ParseResult result;
    result.error = error;
    return result;
}

} // namespace

ParseResult parseRegistryName(std::u16string_view entry)
{
    if (entry.empty())
        return failure(ParseError::Empty);
    if (entry.size() > maxEntryLength)
        return failure(ParseError::EntryTooLong);
    if (const ParseError error = checkCharacters(entry); error != ParseError::None)
        return failure(error);

    const std::size_t rootEnd = entry.find(backslash);
    if (rootEnd == std::u16string_view::npos)
        return failure(ParseError::NoBackslash);

    ParseResult result;
    const std::u16string_view rootText = entry.substr(0, rootEnd);
    bool knownRoot = false;
    for (const RootSpelling &spelling : rootSpellings) {
        if (equalsIgnoringAsciiCase(rootText, spelling.name)) {
            result.name.root = spelling.root;
            knownRoot = true;
            break;
        }
    }
    if (!knownRoot)
        return failure(ParseError::UnknownRoot);

    std::u16string_view rest = entry.substr(rootEnd + 1);
    if (rest.empty())
        return failure(ParseError::RootOnly);

    result.name.isKey = rest.back() == backslash;
    if (result.name.isKey)
        rest.remove_suffix(1);

    // No backslash left: the target sits directly below the root key.
    const std::size_t lastSep = rest.rfind(backslash);
    const std::u16string_view parent =
            lastSep == std::u16string_view::npos ? std::u16string_view() : rest.substr(0, lastSep);
    const std::u16string_view name =
            lastSep == std::u16string_view::npos ? rest : rest.substr(lastSep + 1);

    if (lastSep != std::u16string_view::npos) {
        if (const ParseError error = checkKeyPath(parent); error != ParseError::None)
            return failure(error);
    }
    if (result.name.isKey) {
        if (const ParseError error = checkKeyName(name); error != ParseError::None)
            return failure(error);
    } else if (name.size() > maxValueNameLength) {
        return failure(ParseError::ValueNameTooLong);
    }

    result.name.parentPath = std::u16string(parent);
    result.name.name = std::u16string(name);
    return result;
}

std::uint32_t parseErrorCode(ParseError error)
{
    constexpr std::uint32_t errorSuccess = 0;
    constexpr std::uint32_t errorInvalidParameter = 87;
    constexpr std::uint32_t errorFilenameExcedRange = 206;
    constexpr std::uint32_t errorNoUnicodeTranslation = 1113;

    switch (error) {
    case ParseError::None:
        return errorSuccess;
    case ParseError::KeyNameTooLong:
    case ParseError::ValueNameTooLong:
    case ParseError::EntryTooLong:
        return errorFilenameExcedRange;
    case ParseError::InvalidUtf16:
        return errorNoUnicodeTranslation;
    case ParseError::Empty:
    case ParseError::NoBackslash:
    case ParseError::UnknownRoot:
    case ParseError::RootOnly:
    case ParseError::EmptyKeyName:
    case ParseError::NulCharacter:
        break;
    }
    return errorInvalidParameter;
}

} // namespace cleanup::registry
