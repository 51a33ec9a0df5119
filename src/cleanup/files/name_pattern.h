#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace cleanup::files {

// How the last component of a junk-file entry is matched against the names in its folder.
// Only `*` (any run of characters) and `?` (exactly one character) are wildcards; every
// other character, brackets and backslashes included, stands for itself.
class NamePattern
{
public:
    enum class Style {
        // As the shell globs: case matters and a wildcard never matches a leading dot.
        Native,
        // As Windows does: case is ignored, `*` matches a leading dot too, and a trailing
        // ".*" may also match nothing at all, so "*.*" matches every name.
        Windows,
    };

    NamePattern(const QString &pattern, Style style);

    Style style() const { return m_style; }
    const QString &text() const { return m_text; }
    bool hasWildcards() const { return m_hasWildcards; }

    // `name` is a file name as the file system stores it (UTF-8 bytes, not necessarily
    // valid); used while reading a folder, so it avoids building a QString where it can.
    bool matches(std::string_view name) const;
    bool matches(QStringView name) const;

    // The pattern as file-system bytes (toNativeBytes: a byte the list held that was no text
    // is that byte), for a name without wildcards. Native names are matched on these bytes.
    const std::string &bytes() const { return m_bytes; }

private:
    bool matchesFolded(const std::u32string &name) const;

    QString m_text;
    Style m_style;
    bool m_hasWildcards = false;
    bool m_asciiPattern = true;
    bool m_optionalDotStar = false; // Windows: "x.*" also matches "x"
    std::string m_bytes;            // as written
    std::string m_lowered;          // Windows: ASCII letters lowered
    std::u32string m_folded;        // Windows: case-folded code points
};

} // namespace cleanup::files
