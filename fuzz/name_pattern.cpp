// The wildcard matcher. Input: a style byte, the pattern (UTF-8), NUL, then a file name as
// raw file-system bytes.

#include "fuzz_support.h"
#include "cleanup/files/name_pattern.h"

#include <cstdint>
#include <string>

using cleanup::files::NamePattern;

namespace {

std::string toggledAsciiCase(std::string_view name)
{
    std::string out(name);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto style = (data[0] & 1) ? NamePattern::Style::Windows : NamePattern::Style::Native;
    const std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::size_t split = rest.find('\0');
    const std::string_view patternBytes = rest.substr(0, split);
    const std::string_view name =
            split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

    const NamePattern pattern(QString::fromUtf8(patternBytes.data(), qsizetype(patternBytes.size())), style);
    const bool matched = pattern.matches(name);

    // A name that is valid UTF-8 matches the same as bytes and as text.
    const QByteArray nameBytes(name.data(), qsizetype(name.size()));
    const QString nameText = QString::fromUtf8(nameBytes);
    if (nameText.toUtf8() == nameBytes)
        FUZZ_CHECK(pattern.matches(QStringView(nameText)) == matched);

    if (style == NamePattern::Style::Windows) {
        FUZZ_CHECK(pattern.matches(toggledAsciiCase(name)) == matched);
        FUZZ_CHECK(NamePattern(QStringLiteral("*.*"), style).matches(name));
    } else if (!name.empty()) {
        FUZZ_CHECK(NamePattern(QStringLiteral("*"), style).matches(name) == (name.front() != '.'));
    }
    // Without wildcards a pattern matches its own name.
    if (!pattern.hasWildcards())
        FUZZ_CHECK(pattern.matches(QStringView(pattern.text())));
    return 0;
}
