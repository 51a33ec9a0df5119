#include "cleanup/files/name_pattern.h"

#include "cleanup/files/entry_path.h"

#include <QFile>

#include <algorithm>

namespace cleanup::files {

namespace {

// Length of the UTF-8 character at `s`; a byte that doesn't start a well-formed sequence
// counts as one character of its own, so names in other encodings still match sensibly.
std::size_t charLength(const unsigned char *s, const unsigned char *end)
{
    const unsigned char lead = *s;
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 1 || static_cast<std::size_t>(end - s) < length)
        return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

// Classic wildcard matching with a single backtrack point: on a mismatch the most recent
// `*` takes one more character. Linear for the patterns people write, never recursive.
template <typename C, typename Equal, typename Step>
bool wildcardMatch(const C *p, const C *pEnd, const C *s, const C *sEnd, Equal equal, Step step)
{
    const C *starP = nullptr;
    const C *starS = nullptr;
    while (s != sEnd) {
        if (p != pEnd && *p == C('*')) {
            starP = ++p;
            starS = s;
        } else if (p != pEnd && *p == C('?')) {
            ++p;
            s += step(s, sEnd);
        } else if (p != pEnd && equal(*p, *s)) {
            ++p;
            ++s;
        } else if (starP) {
            starS += step(starS, sEnd);
            p = starP;
            s = starS;
        } else {
            return false;
        }
    }
    while (p != pEnd && *p == C('*'))
        ++p;
    return p == pEnd;
}

bool matchBytes(std::string_view pattern, std::string_view name, bool foldAscii)
{
    const auto *p = reinterpret_cast<const unsigned char *>(pattern.data());
    const auto *s = reinterpret_cast<const unsigned char *>(name.data());
    if (foldAscii) {
        return wildcardMatch(
            p, p + pattern.size(), s, s + name.size(),
            [](unsigned char a, unsigned char b) {
                return a == ((b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b);
            },
            charLength);
    }
    return wildcardMatch(
        p, p + pattern.size(), s, s + name.size(),
        [](unsigned char a, unsigned char b) { return a == b; }, charLength);
}

bool matchCodePoints(std::u32string_view pattern, std::u32string_view name)
{
    return wildcardMatch(
        pattern.data(), pattern.data() + pattern.size(), name.data(), name.data() + name.size(),
        [](char32_t a, char32_t b) { return a == b; },
        [](const char32_t *, const char32_t *) { return std::size_t(1); });
}

std::u32string foldedCodePoints(QStringView text)
{
    const QList<uint> ucs4 = text.toString().toCaseFolded().toUcs4();
    return std::u32string(ucs4.cbegin(), ucs4.cend());
}

// "a**b" means "a*b"; folding runs of stars keeps a huge pattern from costing its whole
// length for every name tried.
template <typename String>
void foldStars(String &pattern)
{
    using C = typename String::value_type;
    const auto end = std::unique(pattern.begin(), pattern.end(),
                                 [](C a, C b) { return a == C('*') && b == C('*'); });
    pattern.erase(end, pattern.end());
}

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

NamePattern::NamePattern(const QString &pattern, Style style)
    : m_text(pattern)
    , m_style(style)
    , m_hasWildcards(pattern.contains(u'*') || pattern.contains(u'?'))
{
    const QByteArray encoded = toNativeBytes(pattern);
    m_bytes.assign(encoded.constData(), encoded.size());
    foldStars(m_bytes);
    if (m_style == Style::Windows) {
        m_asciiPattern = isAscii(m_bytes);
        m_lowered = m_bytes;
        std::transform(m_lowered.begin(), m_lowered.end(), m_lowered.begin(), [](char c) {
            return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
        });
        m_folded = foldedCodePoints(pattern);
        foldStars(m_folded);
        m_optionalDotStar = pattern.endsWith(QStringLiteral(".*"));
    }
}

bool NamePattern::matches(std::string_view name) const
{
    if (m_style == Style::Native) {
        // As with fnmatch's FNM_PERIOD: only a literal dot matches a leading dot.
        if (!name.empty() && name.front() == '.' && (m_bytes.empty() || m_bytes.front() != '.'))
            return false;
        return matchBytes(m_bytes, name, false);
    }

    if (m_asciiPattern && isAscii(name)) {
        const std::string_view pattern(m_lowered);
        return matchBytes(pattern, name, true)
               || (m_optionalDotStar
                   && matchBytes(pattern.substr(0, pattern.size() - 2), name, true));
    }
    return matchesFolded(
        foldedCodePoints(QFile::decodeName(QByteArray(name.data(), qsizetype(name.size())))));
}

bool NamePattern::matches(QStringView name) const
{
    if (m_style == Style::Native) {
        const QByteArray encoded = toNativeBytes(name);
        return matches(std::string_view(encoded.constData(), std::size_t(encoded.size())));
    }
    return matchesFolded(foldedCodePoints(name));
}

bool NamePattern::matchesFolded(const std::u32string &name) const
{
    const std::u32string_view pattern(m_folded);
    return matchCodePoints(pattern, name)
           || (m_optionalDotStar && matchCodePoints(pattern.substr(0, pattern.size() - 2), name));
}

} // namespace cleanup::files
