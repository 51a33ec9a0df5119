#include "skins/style_sheet.h"

#include "skins/skin_file.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace skins {

namespace {

// ---- Tokens, as Qt's style sheet scanner makes them ----

enum class Kind {
    Ident,
    Function, // a name directly followed by "("
    AtKeyword,
    Hash,
    String,
    Number, // with its unit, "%" included
    Url,
    Whitespace,
    Colon,
    Semicolon,
    Comma,
    OpenBrace,
    CloseBrace,
    OpenBracket,
    CloseBracket,
    OpenParen,
    CloseParen,
    Delim,
    Invalid, // a string cut by a line end, a stray backslash
};

struct Token
{
    Kind kind;
    QString text; // a name or string decoded; a number's digits; a delimiter
    QString unit; // a number's unit, lower case
};

using Tokens = std::vector<Token>;

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int hexValue(char16_t c)
{
    return c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
}

bool isLineEnd(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == u'\f';
}

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || isLineEnd(c);
}

bool isNameStart(char16_t c)
{
    return c == u'_' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0x80;
}

bool isNameChar(char16_t c)
{
    return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-';
}

class Scanner
{
public:
    explicit Scanner(QStringView text)
        : m_text(text)
    {
    }

    Tokens tokens()
    {
        Tokens out;
        while (m_pos < m_text.size()) {
            if (std::optional<Token> token = next())
                out.push_back(std::move(*token));
        }
        return out;
    }

private:
    char16_t at(qsizetype pos) const { return pos < m_text.size() ? m_text[pos].unicode() : 0; }
    bool startsEscape(qsizetype pos) const { return at(pos) == u'\\' && pos + 1 < m_text.size() && !isLineEnd(at(pos + 1)); }
    bool startsName(qsizetype pos) const { return (pos < m_text.size() && isNameStart(at(pos))) || startsEscape(pos); }
    bool startsIdent(qsizetype pos) const { return at(pos) == u'-' ? startsName(pos + 1) : startsName(pos); }
    bool startsNumber(qsizetype pos) const
    {
        if (at(pos) == u'-' || at(pos) == u'+')
            ++pos;
        return (at(pos) >= u'0' && at(pos) <= u'9') || (at(pos) == u'.' && at(pos + 1) >= u'0' && at(pos + 1) <= u'9');
    }

    // A backslash and up to six hex digits (one white space after them belongs to the
    // escape), or a backslash and any other character but a line end.
    void readEscape(QString &out)
    {
        ++m_pos;
        if (!isHexDigit(at(m_pos))) {
            out += m_text[m_pos++];
            return;
        }
        char32_t value = 0;
        for (int digits = 0; digits < 6 && isHexDigit(at(m_pos)); ++digits)
            value = value * 16 + hexValue(at(m_pos++));
        if (at(m_pos) == u'\r' && at(m_pos + 1) == u'\n')
            m_pos += 2;
        else if (isSpace(at(m_pos)))
            ++m_pos;
        if (value == 0 || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
            value = 0xfffd;
        out += QString::fromUcs4(&value, 1);
    }

    QString readName()
    {
        QString name;
        while (m_pos < m_text.size()) {
            if (isNameChar(at(m_pos)))
                name += m_text[m_pos++];
            else if (startsEscape(m_pos))
                readEscape(name);
            else
                break;
        }
        return name;
    }

    Token readString()
    {
        const char16_t quote = at(m_pos++);
        QString text;
        while (true) {
            if (m_pos >= m_text.size() || isLineEnd(at(m_pos)))
                return {Kind::Invalid, text, {}};
            const char16_t c = at(m_pos);
            if (c == quote) {
                ++m_pos;
                return {Kind::String, text, {}};
            }
            if (c != u'\\') {
                text += m_text[m_pos++];
            } else if (at(m_pos + 1) == u'\r' && at(m_pos + 2) == u'\n') {
                m_pos += 3; // an escaped line end continues the string
            } else if (isLineEnd(at(m_pos + 1))) {
                m_pos += 2;
            } else if (m_pos + 1 >= m_text.size()) {
                ++m_pos;
            } else {
                readEscape(text);
            }
        }
    }

    // After "url(": a quoted or a bare address, then ")". Nothing when it isn't one, and
    // the name is then an ordinary function.
    std::optional<Token> readUrl()
    {
        const qsizetype start = m_pos;
        ++m_pos; // "("
        while (isSpace(at(m_pos)))
            ++m_pos;
        QString address;
        if (at(m_pos) == u'"' || at(m_pos) == u'\'') {
            const Token string = readString();
            if (string.kind != Kind::String) {
                m_pos = start;
                return std::nullopt;
            }
            address = string.text;
        } else {
            while (m_pos < m_text.size()) {
                const char16_t c = at(m_pos);
                if (c == u'!' || (c >= u'#' && c <= u'&') || (c >= u'*' && c <= u'~' && c != u'\\') || c >= 0x80)
                    address += m_text[m_pos++];
                else if (startsEscape(m_pos))
                    readEscape(address);
                else
                    break;
            }
        }
        while (isSpace(at(m_pos)))
            ++m_pos;
        if (at(m_pos) != u')') {
            m_pos = start;
            return std::nullopt;
        }
        ++m_pos;
        return Token{Kind::Url, address, {}};
    }

    std::optional<Token> next()
    {
        const char16_t c = at(m_pos);
        if (isSpace(c)) {
            while (m_pos < m_text.size() && isSpace(at(m_pos)))
                ++m_pos;
            return Token{Kind::Whitespace, QStringLiteral(" "), {}};
        }
        if (c == u'/' && at(m_pos + 1) == u'*') {
            const qsizetype end = m_text.indexOf(u"*/", m_pos + 2);
            m_pos = end < 0 ? m_text.size() : end + 2;
            return std::nullopt;
        }
        if (c == u'"' || c == u'\'')
            return readString();
        if (startsNumber(m_pos)) {
            QString digits;
            if (c == u'-')
                digits += u'-';
            if (c == u'-' || c == u'+')
                ++m_pos;
            while ((at(m_pos) >= u'0' && at(m_pos) <= u'9') || (at(m_pos) == u'.' && !digits.contains(u'.')
                                                                  && at(m_pos + 1) >= u'0' && at(m_pos + 1) <= u'9'))
                digits += m_text[m_pos++];
            QString unit;
            if (at(m_pos) == u'%') {
                unit = QStringLiteral("%");
                ++m_pos;
            } else if (startsIdent(m_pos)) {
                unit = readName().toLower();
            }
            return Token{Kind::Number, digits, unit};
        }
        if (startsIdent(m_pos)) {
            const bool plain = c != u'\\' && at(m_pos + 1) != u'\\';
            const qsizetype start = m_pos;
            QString name = c == u'-' ? (++m_pos, QStringLiteral("-")) : QString();
            name += readName();
            if (at(m_pos) != u'(')
                return Token{Kind::Ident, name, {}};
            // Qt's scanner knows url( only as written, without escapes.
            if (plain && m_pos - start == 3 && name.compare(u"url", Qt::CaseInsensitive) == 0) {
                if (std::optional<Token> url = readUrl())
                    return url;
            }
            ++m_pos;
            return Token{Kind::Function, name, {}};
        }
        if (c == u'@' && startsIdent(m_pos + 1)) {
            ++m_pos;
            return Token{Kind::AtKeyword, readName(), {}};
        }
        if (c == u'#' && (isNameChar(at(m_pos + 1)) || startsEscape(m_pos + 1))) {
            ++m_pos;
            return Token{Kind::Hash, readName(), {}};
        }
        ++m_pos;
        switch (c) {
        case u':': return Token{Kind::Colon, QStringLiteral(":"), {}};
        case u';': return Token{Kind::Semicolon, QStringLiteral(";"), {}};
        case u',': return Token{Kind::Comma, QStringLiteral(","), {}};
        case u'{': return Token{Kind::OpenBrace, QStringLiteral("{"), {}};
        case u'}': return Token{Kind::CloseBrace, QStringLiteral("}"), {}};
        case u'[': return Token{Kind::OpenBracket, QStringLiteral("["), {}};
        case u']': return Token{Kind::CloseBracket, QStringLiteral("]"), {}};
        case u'(': return Token{Kind::OpenParen, QStringLiteral("("), {}};
        case u')': return Token{Kind::CloseParen, QStringLiteral(")"), {}};
        case u'\\': return Token{Kind::Invalid, QStringLiteral("\\"), {}};
        default: return Token{Kind::Delim, QString(QChar(c)), {}};
        }
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

// ---- What is kept ----

// Bounds in pixels: enough for a skin's look, too little to hide a caption.
constexpr double maxBorderWidth = 2;
constexpr double maxVerticalBox = 2;   // padding and margin above and below
constexpr double maxHorizontalBox = 8; // padding left and right
constexpr double maxMargin = 2;
constexpr double maxRadius = 12;
constexpr double maxPartSize = 32; // scroll bars and sub-controls
// Below these a list's rows or a scroll bar vanish, and with them what a run will delete.
constexpr double minItemSize = 16;
constexpr double minScrollBarSize = 10;
constexpr double minHandleSize = 8;
// Disabled controls may fade, as their palette colours do.
constexpr double minimumDisabledContrast = 1.5;

enum class Property {
    Colour,
    BorderColours,
    Background,
    Border,
    BorderWidths,
    BorderWidth,
    BorderStyles,
    BorderStyle,
    Radius,
    Padding,
    PaddingVertical,
    PaddingHorizontal,
    Margin,
    MarginVertical,
    MarginHorizontal,
    Size,
    TextAlign,
};

std::optional<Property> propertyKind(const QString &name)
{
    static const std::vector<std::pair<QLatin1StringView, Property>> known{
        {QLatin1StringView("color"), Property::Colour},
        {QLatin1StringView("selection-color"), Property::Colour},
        {QLatin1StringView("selection-background-color"), Property::Colour},
        {QLatin1StringView("alternate-background-color"), Property::Colour},
        {QLatin1StringView("gridline-color"), Property::Colour},
        {QLatin1StringView("border-top-color"), Property::Colour},
        {QLatin1StringView("border-right-color"), Property::Colour},
        {QLatin1StringView("border-bottom-color"), Property::Colour},
        {QLatin1StringView("border-left-color"), Property::Colour},
        {QLatin1StringView("border-color"), Property::BorderColours},
        {QLatin1StringView("background"), Property::Background},
        {QLatin1StringView("background-color"), Property::Background},
        {QLatin1StringView("border"), Property::Border},
        {QLatin1StringView("border-top"), Property::Border},
        {QLatin1StringView("border-right"), Property::Border},
        {QLatin1StringView("border-bottom"), Property::Border},
        {QLatin1StringView("border-left"), Property::Border},
        {QLatin1StringView("border-width"), Property::BorderWidths},
        {QLatin1StringView("border-top-width"), Property::BorderWidth},
        {QLatin1StringView("border-right-width"), Property::BorderWidth},
        {QLatin1StringView("border-bottom-width"), Property::BorderWidth},
        {QLatin1StringView("border-left-width"), Property::BorderWidth},
        {QLatin1StringView("border-style"), Property::BorderStyles},
        {QLatin1StringView("border-top-style"), Property::BorderStyle},
        {QLatin1StringView("border-right-style"), Property::BorderStyle},
        {QLatin1StringView("border-bottom-style"), Property::BorderStyle},
        {QLatin1StringView("border-left-style"), Property::BorderStyle},
        {QLatin1StringView("border-radius"), Property::Radius},
        {QLatin1StringView("border-top-left-radius"), Property::Radius},
        {QLatin1StringView("border-top-right-radius"), Property::Radius},
        {QLatin1StringView("border-bottom-left-radius"), Property::Radius},
        {QLatin1StringView("border-bottom-right-radius"), Property::Radius},
        {QLatin1StringView("padding"), Property::Padding},
        {QLatin1StringView("padding-top"), Property::PaddingVertical},
        {QLatin1StringView("padding-bottom"), Property::PaddingVertical},
        {QLatin1StringView("padding-left"), Property::PaddingHorizontal},
        {QLatin1StringView("padding-right"), Property::PaddingHorizontal},
        {QLatin1StringView("margin"), Property::Margin},
        {QLatin1StringView("margin-top"), Property::MarginVertical},
        {QLatin1StringView("margin-bottom"), Property::MarginVertical},
        {QLatin1StringView("margin-left"), Property::MarginHorizontal},
        {QLatin1StringView("margin-right"), Property::MarginHorizontal},
        {QLatin1StringView("width"), Property::Size},
        {QLatin1StringView("height"), Property::Size},
        {QLatin1StringView("min-width"), Property::Size},
        {QLatin1StringView("min-height"), Property::Size},
        {QLatin1StringView("max-width"), Property::Size},
        {QLatin1StringView("max-height"), Property::Size},
        {QLatin1StringView("text-align"), Property::TextAlign},
    };
    for (const auto &[text, kind] : known) {
        if (name == text)
            return kind;
    }
    return std::nullopt;
}

bool oneOf(const QString &word, std::initializer_list<const char *> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char *w) { return word == QLatin1StringView(w); });
}

bool isBorderStyle(const QString &word)
{
    return oneOf(word, {"none", "solid", "dashed", "dotted", "dot-dash", "dot-dot-dash", "double", "groove", "ridge",
                        "inset", "outset"});
}

// A name Qt reads back as the same identifier without escapes.
bool isPlainName(const QString &name)
{
    if (name.isEmpty() || name.front().isDigit() || name == QLatin1StringView("-"))
        return false;
    if (name.front() == u'-' && (name.at(1).isDigit() || name.at(1) == u'-'))
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return c == u'_' || c == u'-' || (c.unicode() < 0x80 ? c.isLetterOrNumber() : c.isLetterOrNumber() && !c.isSurrogate());
    });
}

// One item of a value: a length, a colour (a gradient brings all its stops), a keyword.
struct Item
{
    enum { Length, Colour, Keyword } kind;
    QString text;
    double pixels = 0;
    std::vector<QColor> colours;
};

std::optional<double> numberOf(const Token &token)
{
    bool ok = false;
    const double value = token.text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString numberText(const Token &token)
{
    return token.text + token.unit;
}

// Splits function arguments or a value at the top level.
std::vector<Tokens> splitTop(const Tokens &tokens, Kind separator)
{
    std::vector<Tokens> parts(1);
    int depth = 0;
    for (const Token &token : tokens) {
        if (token.kind == Kind::Function || token.kind == Kind::OpenParen)
            ++depth;
        else if (token.kind == Kind::CloseParen)
            --depth;
        if (depth == 0 && token.kind == separator)
            parts.emplace_back();
        else
            parts.back().push_back(token);
    }
    return parts;
}

Tokens trimmed(Tokens tokens)
{
    while (!tokens.empty() && tokens.back().kind == Kind::Whitespace)
        tokens.pop_back();
    const auto first = std::find_if(tokens.begin(), tokens.end(), [](const Token &t) { return t.kind != Kind::Whitespace; });
    tokens.erase(tokens.begin(), first);
    return tokens;
}

class ValueReader
{
public:
    explicit ValueReader(const QPalette &palette)
        : m_palette(palette)
    {
    }

    // The items of a value, or nothing when any part of it isn't ours to keep. A gradient's
    // stops are plain colours, so reading never nests deeper than one gradient.
    std::optional<std::vector<Item>> items(const Tokens &value, bool gradients = true) const
    {
        std::vector<Item> result;
        for (qsizetype i = 0; i < qsizetype(value.size()); ++i) {
            const Token &token = value[i];
            if (token.kind == Kind::Whitespace)
                continue;
            if (token.kind == Kind::Function) {
                // The arguments run to the matching ")".
                int depth = 1;
                Tokens arguments;
                for (++i; i < qsizetype(value.size()); ++i) {
                    if (value[i].kind == Kind::Function || value[i].kind == Kind::OpenParen)
                        ++depth;
                    else if (value[i].kind == Kind::CloseParen && --depth == 0)
                        break;
                    arguments.push_back(value[i]);
                }
                if (depth != 0)
                    return std::nullopt;
                std::optional<Item> item = function(token.text.toLower(), arguments, gradients);
                if (!item)
                    return std::nullopt;
                result.push_back(std::move(*item));
                continue;
            }
            std::optional<Item> item = single(token);
            if (!item)
                return std::nullopt;
            result.push_back(std::move(*item));
        }
        return result;
    }

private:
    std::optional<Item> single(const Token &token) const
    {
        if (token.kind == Kind::Number) {
            const std::optional<double> value = numberOf(token);
            // Pixels only: em and pt would follow the font, and a bare number is pixels.
            if (!value || *value < 0 || !(token.unit == QLatin1StringView("px") || token.unit.isEmpty()))
                return std::nullopt;
            return Item{Item::Length, token.text + QStringLiteral("px"), *value, {}};
        }
        if (token.kind == Kind::Hash) {
            const QColor colour = QColor::fromString(u'#' + token.text);
            if (!colour.isValid() || !std::all_of(token.text.begin(), token.text.end(),
                                                  [](QChar c) { return c.unicode() < 0x80 && isHexDigit(c.unicode()); }))
                return std::nullopt;
            return Item{Item::Colour, u'#' + token.text.toLower(), 0, {colour}};
        }
        if (token.kind == Kind::Ident) {
            const QString word = token.text.toLower();
            const bool letters = std::all_of(word.begin(), word.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
            if (letters && QColor::isValidColorName(word))
                return Item{Item::Colour, word, 0, {QColor::fromString(word)}};
            if (isBorderStyle(word) || oneOf(word, {"left", "right", "center", "top", "bottom"}))
                return Item{Item::Keyword, word, 0, {}};
        }
        return std::nullopt;
    }

    std::optional<Item> function(const QString &name, const Tokens &arguments, bool gradients) const
    {
        if (oneOf(name, {"rgb", "rgba", "hsv", "hsva", "hsl", "hsla"}))
            return colourFunction(name, arguments);
        if (name == QLatin1StringView("palette")) {
            const Tokens role = trimmed(arguments);
            if (role.size() != 1 || role[0].kind != Kind::Ident)
                return std::nullopt;
            const QString roleText = role[0].text.toLower();
            const QPalette::ColorRole colourRole = roleFromName(QString(roleText).remove(u'-'));
            if (colourRole == QPalette::NColorRoles || !isPlainName(roleText))
                return std::nullopt;
            return Item{Item::Colour, QStringLiteral("palette(%1)").arg(roleText), 0, {m_palette.color(colourRole)}};
        }
        if (gradients && oneOf(name, {"qlineargradient", "qradialgradient", "qconicalgradient"}))
            return gradient(name, arguments);
        return std::nullopt;
    }

    // rgb(r, g, b), rgba(r, g, b, a) and the hsv and hsl forms, in numbers or percentages.
    std::optional<Item> colourFunction(const QString &name, const Tokens &arguments) const
    {
        const std::vector<Tokens> parts = splitTop(arguments, Kind::Comma);
        if (parts.size() != 3 && parts.size() != 4)
            return std::nullopt;
        double values[4] = {0, 0, 0, 255};
        QStringList texts;
        for (size_t i = 0; i < parts.size(); ++i) {
            const Tokens part = trimmed(parts[i]);
            if (part.size() != 1 || part[0].kind != Kind::Number
                || !(part[0].unit.isEmpty() || part[0].unit == QLatin1StringView("%")))
                return std::nullopt;
            const std::optional<double> value = numberOf(part[0]);
            if (!value || *value < 0)
                return std::nullopt;
            const bool percent = part[0].unit == QLatin1StringView("%");
            if (i == 3) {
                // Read as 0-255 and as 0-1 alike, the more transparent one counts.
                values[i] = percent ? *value * 2.55 : std::min(*value, *value <= 1 ? *value * 255 : *value);
            } else if (i == 0 && name.startsWith(u'h')) {
                values[i] = std::fmod(*value, 360);
            } else {
                values[i] = percent ? *value * 2.55 : *value;
            }
            texts.append(numberText(part[0]));
        }
        const auto channel = [&](int i) { return int(std::clamp(values[i], 0.0, 255.0)); };
        QColor colour = name.startsWith(QLatin1StringView("rgb")) ? QColor(channel(0), channel(1), channel(2))
            : name.startsWith(QLatin1StringView("hsv"))           ? QColor::fromHsv(int(values[0]), channel(1), channel(2))
                                                                  : QColor::fromHsl(int(values[0]), channel(1), channel(2));
        colour.setAlpha(channel(3));
        return Item{Item::Colour, QStringLiteral("%1(%2)").arg(name, texts.join(QStringLiteral(", "))), 0, {colour}};
    }

    // qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #fff, stop: 1 rgb(1, 2, 3)).
    std::optional<Item> gradient(const QString &name, const Tokens &arguments) const
    {
        QStringList texts;
        std::vector<QColor> colours;
        for (const Tokens &rawPart : splitTop(arguments, Kind::Comma)) {
            const Tokens part = trimmed(rawPart);
            if (part.size() < 3 || part[0].kind != Kind::Ident)
                return std::nullopt;
            const QString key = part[0].text.toLower();
            qsizetype i = 1;
            while (i < qsizetype(part.size()) && part[i].kind == Kind::Whitespace)
                ++i;
            if (i >= qsizetype(part.size()) || part[i].kind != Kind::Colon)
                return std::nullopt;
            const Tokens rest = trimmed(Tokens(part.begin() + i + 1, part.end()));
            if (rest.empty())
                return std::nullopt;
            if (key == QLatin1StringView("spread")) {
                if (rest.size() != 1 || rest[0].kind != Kind::Ident
                    || !oneOf(rest[0].text.toLower(), {"pad", "repeat", "reflect"}))
                    return std::nullopt;
                texts.append(key + QStringLiteral(": ") + rest[0].text.toLower());
            } else if (key == QLatin1StringView("stop")) {
                if (rest[0].kind != Kind::Number || !rest[0].unit.isEmpty() || !numberOf(rest[0]))
                    return std::nullopt;
                const std::optional<std::vector<Item>> stop = items(Tokens(rest.begin() + 1, rest.end()), false);
                if (!stop || stop->size() != 1 || stop->front().kind != Item::Colour)
                    return std::nullopt;
                colours.insert(colours.end(), stop->front().colours.begin(), stop->front().colours.end());
                texts.append(QStringLiteral("stop: %1 %2").arg(rest[0].text, stop->front().text));
            } else if (oneOf(key, {"x1", "y1", "x2", "y2", "cx", "cy", "fx", "fy", "radius", "angle"})) {
                if (rest.size() != 1 || rest[0].kind != Kind::Number || !rest[0].unit.isEmpty() || !numberOf(rest[0]))
                    return std::nullopt;
                texts.append(key + QStringLiteral(": ") + rest[0].text);
            } else {
                return std::nullopt;
            }
        }
        if (colours.empty())
            return std::nullopt;
        return Item{Item::Colour, QStringLiteral("%1(%2)").arg(name, texts.join(QStringLiteral(", "))), 0, colours};
    }

    const QPalette &m_palette;
};

bool allLengths(const std::vector<Item> &items, size_t most, double bound, double floor = 0)
{
    return !items.empty() && items.size() <= most && std::all_of(items.begin(), items.end(), [&](const Item &item) {
        return item.kind == Item::Length && item.pixels <= bound && item.pixels >= floor;
    });
}

// What a rule's selector lets its sizes and boxes be.
struct Bounds
{
    bool sizesAllowed = true; // only scroll bars and sub-controls take sizes
    double sizeFloor = 0;     // the least size the parts it names keep their use with
    bool labels = false;      // it may reach a label, whose height is fixed to its caption
};

// Top, right, bottom, left as the one to four values give them.
bool boxWithin(const std::vector<Item> &items, double vertical, double horizontal)
{
    if (!allLengths(items, 4, std::max(vertical, horizontal)))
        return false;
    for (size_t i = 0; i < items.size(); ++i) {
        const bool isVertical = items.size() == 1 || i % 2 == 0;
        if (items[i].pixels > (isVertical ? vertical : horizontal))
            return false;
    }
    return true;
}

bool valueFits(Property property, const std::vector<Item> &items, const Bounds &bounds)
{
    // A label's height fits its caption: any room taken above or below cuts the text.
    const double vertical = bounds.labels ? 0 : maxVerticalBox;
    const double verticalMargin = bounds.labels ? 0 : maxMargin;
    const auto all = [&](auto test) { return std::all_of(items.begin(), items.end(), test); };
    const auto count = [&](auto kind) {
        return std::count_if(items.begin(), items.end(), [kind](const Item &item) { return item.kind == kind; });
    };
    switch (property) {
    case Property::Colour:
        return items.size() == 1 && items[0].kind == Item::Colour;
    case Property::BorderColours:
        return !items.empty() && items.size() <= 4 && all([](const Item &i) { return i.kind == Item::Colour; });
    case Property::Background:
        return items.size() == 1 && (items[0].kind == Item::Colour || items[0].text == QLatin1StringView("none"));
    case Property::Border:
        return !items.empty() && count(Item::Length) <= 1 && count(Item::Colour) <= 1 && count(Item::Keyword) <= 1
            && all([](const Item &i) {
                   return (i.kind == Item::Length && i.pixels <= maxBorderWidth) || i.kind == Item::Colour
                       || (i.kind == Item::Keyword && isBorderStyle(i.text));
               });
    case Property::BorderWidths:
        return allLengths(items, 4, maxBorderWidth);
    case Property::BorderWidth:
        return allLengths(items, 1, maxBorderWidth);
    case Property::BorderStyles:
    case Property::BorderStyle:
        return !items.empty() && items.size() <= (property == Property::BorderStyles ? 4u : 1u)
            && all([](const Item &i) { return i.kind == Item::Keyword && isBorderStyle(i.text); });
    case Property::Radius:
        return allLengths(items, 2, maxRadius);
    case Property::Padding:
        return boxWithin(items, vertical, maxHorizontalBox);
    case Property::PaddingVertical:
        return allLengths(items, 1, vertical);
    case Property::PaddingHorizontal:
        return allLengths(items, 1, maxHorizontalBox);
    case Property::Margin:
        return boxWithin(items, verticalMargin, maxMargin);
    case Property::MarginVertical:
        return allLengths(items, 1, verticalMargin);
    case Property::MarginHorizontal:
        return allLengths(items, 1, maxMargin);
    case Property::Size:
        return bounds.sizesAllowed && allLengths(items, 1, maxPartSize, bounds.sizeFloor);
    case Property::TextAlign:
        return !items.empty() && items.size() <= 2 && all([](const Item &i) {
                   return i.kind == Item::Keyword && oneOf(i.text, {"left", "right", "center", "top", "bottom"});
               });
    }
    return false;
}

// ---- Selectors ----

struct Selector
{
    QString text;
    Bounds bounds;
    bool disabledOnly = true; // every selector is for disabled controls
    bool textless = true;     // every selector names a part that shows no text
    QStringList parts;        // the sub-controls it names ("item"), whose colours no palette shows
};

// Parts drawn without text: their backgrounds need no contrast.
bool isTextless(const QString &type, const QString &subControl)
{
    return type == QLatin1StringView("QScrollBar")
        || oneOf(subControl, {"chunk", "handle", "groove", "add-line", "sub-line", "add-page", "sub-page", "up-arrow",
                              "down-arrow", "left-arrow", "right-arrow", "up-button", "down-button", "drop-down",
                              "indicator", "branch", "corner", "menu-indicator", "menu-arrow"});
}

// A value in an attribute selector, kept when Qt can't read it as anything but that text.
bool isPlainAttributeValue(const QString &value)
{
    return std::all_of(value.begin(), value.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x7f && !c.isSurrogate()
            && !QStringView(u"\"'\\{};,[]").contains(c);
    });
}

std::optional<Selector> selectorOf(const Tokens &prelude)
{
    Selector selector;
    const std::vector<Tokens> parts = splitTop(prelude, Kind::Comma);
    QStringList texts;
    for (const Tokens &rawPart : parts) {
        const Tokens part = trimmed(rawPart);
        if (part.empty())
            return std::nullopt;
        QString text;
        // Of the last compound selector: its type and whether it names a sub-control.
        QString type;
        QString subControlName;
        bool subControl = false;
        bool disabled = false;
        bool compoundStart = true;
        for (size_t i = 0; i < part.size(); ++i) {
            const Token &token = part[i];
            switch (token.kind) {
            case Kind::Ident:
                if (!isPlainName(token.text))
                    return std::nullopt;
                if (compoundStart)
                    type = token.text;
                if (!text.isEmpty() && text.back() == u':' && token.text == QLatin1StringView("disabled"))
                    disabled = true;
                if (text.endsWith(QLatin1StringView("::")))
                    subControlName = token.text;
                text += token.text;
                break;
            case Kind::Hash:
                if (!isPlainName(token.text))
                    return std::nullopt;
                text += u'#' + token.text;
                break;
            case Kind::Colon:
                if (i + 1 < part.size() && part[i + 1].kind == Kind::Colon)
                    subControl = true;
                text += u':';
                break;
            case Kind::Whitespace:
                // Comments between spaces leave two in a row.
                if (!text.endsWith(u' '))
                    text += u' ';
                compoundStart = true;
                type.clear();
                subControl = disabled = false;
                subControlName.clear();
                continue;
            case Kind::Delim:
                if (token.text == QLatin1StringView(">")) {
                    text += u'>';
                    compoundStart = true;
                    type.clear();
                    subControl = disabled = false;
                    subControlName.clear();
                    continue;
                }
                if (!oneOf(token.text, {"*", ".", "!"}))
                    return std::nullopt;
                text += token.text;
                break;
            case Kind::OpenBracket: {
                // [name], [name="value"], [name~="value"]
                size_t end = i + 1;
                while (end < part.size() && part[end].kind != Kind::CloseBracket)
                    ++end;
                if (end >= part.size())
                    return std::nullopt;
                const Tokens inside = trimmed(Tokens(part.begin() + i + 1, part.begin() + end));
                if (inside.empty() || inside[0].kind != Kind::Ident || !isPlainName(inside[0].text))
                    return std::nullopt;
                QString attribute = u'[' + inside[0].text;
                size_t j = 1;
                while (j < inside.size() && inside[j].kind == Kind::Whitespace)
                    ++j;
                if (j < inside.size()) {
                    QString op;
                    if (inside[j].kind == Kind::Delim && inside[j].text == QLatin1StringView("~"))
                        op += inside[j++].text;
                    if (j >= inside.size() || inside[j].kind != Kind::Delim || inside[j].text != QLatin1StringView("="))
                        return std::nullopt;
                    op += u'=';
                    const Tokens value = trimmed(Tokens(inside.begin() + j + 1, inside.end()));
                    if (value.size() != 1 || (value[0].kind != Kind::String && value[0].kind != Kind::Ident)
                        || !isPlainAttributeValue(value[0].text))
                        return std::nullopt;
                    attribute += op + u'"' + value[0].text + u'"';
                }
                text += attribute + u']';
                i = end;
                break;
            }
            default:
                return std::nullopt;
            }
            compoundStart = false;
        }
        if (!text.isEmpty() && text.back() == u' ')
            text.chop(1);
        const bool scrollBar = type == QLatin1StringView("QScrollBar");
        Bounds &bounds = selector.bounds;
        bounds.sizesAllowed = bounds.sizesAllowed && (subControl || scrollBar);
        if (subControlName == QLatin1StringView("item"))
            bounds.sizeFloor = std::max(bounds.sizeFloor, minItemSize);
        else if (subControlName == QLatin1StringView("handle"))
            bounds.sizeFloor = std::max(bounds.sizeFloor, minHandleSize);
        else if (scrollBar && !subControl)
            bounds.sizeFloor = std::max(bounds.sizeFloor, minScrollBarSize);
        // No type, "*", a base class of QLabel or a class of our own may be a label.
        bounds.labels = bounds.labels
            || (!subControl
                && (type.isEmpty() || !type.startsWith(u'Q') || oneOf(type, {"QLabel", "QFrame", "QWidget", "QObject"})));
        selector.disabledOnly = selector.disabledOnly && disabled;
        selector.textless = selector.textless && isTextless(type, subControlName);
        if (subControl && !subControlName.isEmpty())
            selector.parts.append(subControlName);
        texts.append(text);
    }
    selector.text = texts.join(QStringLiteral(", "));
    return selector;
}

// ---- Rules ----

struct Declaration
{
    QString name;
    QString text;
    std::vector<QColor> colours;
};

std::optional<Declaration> declarationOf(const Tokens &rawTokens, const Selector &selector, const ValueReader &reader)
{
    const Tokens tokens = trimmed(rawTokens);
    if (tokens.size() < 3 || tokens[0].kind != Kind::Ident)
        return std::nullopt;
    size_t i = 1;
    while (i < tokens.size() && tokens[i].kind == Kind::Whitespace)
        ++i;
    if (i >= tokens.size() || tokens[i].kind != Kind::Colon)
        return std::nullopt;
    const QString name = tokens[0].text.toLower();
    const std::optional<Property> property = propertyKind(name);
    if (!property)
        return std::nullopt;
    const std::optional<std::vector<Item>> items = reader.items(Tokens(tokens.begin() + i + 1, tokens.end()));
    if (!items || !valueFits(*property, *items, selector.bounds))
        return std::nullopt;
    Declaration declaration{name, name + QStringLiteral(": "), {}};
    QStringList texts;
    for (const Item &item : *items) {
        texts.append(item.text);
        declaration.colours.insert(declaration.colours.end(), item.colours.begin(), item.colours.end());
    }
    declaration.text += texts.join(u' ') + u';';
    return declaration;
}

QColor opaqueOver(const QColor &colour, const QColor &under)
{
    const double a = colour.alphaF();
    return QColor::fromRgbF(colour.redF() * a + under.redF() * (1 - a), colour.greenF() * a + under.greenF() * (1 - a),
                            colour.blueF() * a + under.blueF() * (1 - a));
}

// Drops the text and background colours of a rule whose text would be hard to read. Where
// the rule sets only one side, the other is any the palette could pair it with.
void keepReadable(std::vector<Declaration> &declarations, const Selector &selector, const QPalette &palette,
                  const std::vector<QString> &textNames, const std::vector<QString> &backgroundNames,
                  const std::vector<QPalette::ColorRole> &textRoles,
                  const std::vector<QPalette::ColorRole> &backgroundRoles)
{
    if (selector.textless)
        return;
    std::vector<QColor> texts;
    std::vector<QColor> backgrounds;
    const auto named = [](const std::vector<QString> &names, const Declaration &d) {
        return std::find(names.begin(), names.end(), d.name) != names.end();
    };
    for (const Declaration &declaration : declarations) {
        if (named(textNames, declaration))
            texts.insert(texts.end(), declaration.colours.begin(), declaration.colours.end());
        else if (named(backgroundNames, declaration)) {
            for (const QColor &colour : declaration.colours) {
                // A clear background shows what is behind it, as if none were set.
                if (colour.alpha() > 0)
                    backgrounds.push_back(opaqueOver(colour, palette.color(QPalette::Window)));
            }
        }
    }
    if (texts.empty() && backgrounds.empty())
        return;
    if (texts.empty()) {
        for (QPalette::ColorRole role : textRoles)
            texts.push_back(palette.color(role));
    }
    if (backgrounds.empty()) {
        for (QPalette::ColorRole role : backgroundRoles)
            backgrounds.push_back(palette.color(role));
    }
    const double least = selector.disabledOnly ? minimumDisabledContrast : minimumContrast;
    for (const QColor &text : texts) {
        for (const QColor &background : backgrounds) {
            if (contrastRatio(text, background) < least) {
                std::erase_if(declarations, [&](const Declaration &d) {
                    return named(textNames, d) || named(backgroundNames, d);
                });
                return;
            }
        }
    }
}

struct Rule
{
    Selector selector;
    std::vector<Declaration> declarations;
};

// A sub-control's colours reach no palette, so the window's own check never sees them: the
// style paints each part with what every matching rule gives it, and what none gives it
// with its widget's. A rule that sets one side only (text or background) meets the other
// side of any other rule for the same part or for a whole widget, so it must be readable
// against those too, or its colours go. Sheets with more colours than any look needs are
// not compared at all: their one-sided part colours go, and a large sheet stays quick.
void keepPartsReadable(std::vector<Rule> &rules, const QPalette &palette)
{
    constexpr std::size_t mostColours = 64;
    const auto isText = [](const Declaration &d) { return d.name == QLatin1StringView("color"); };
    const auto isBackground = [](const Declaration &d) {
        return d.name == QLatin1StringView("background") || d.name == QLatin1StringView("background-color");
    };
    const auto colours = [&](const Rule &rule, bool background) {
        std::vector<QColor> found;
        for (const Declaration &d : rule.declarations) {
            if (background ? !isBackground(d) : !isText(d))
                continue;
            for (const QColor &colour : d.colours) {
                if (!background)
                    found.push_back(colour);
                else if (colour.alpha() > 0)
                    found.push_back(opaqueOver(colour, palette.color(QPalette::Window)));
            }
        }
        return found;
    };
    // Each side's colours by the part they are for; "" for whole widgets.
    std::map<QString, std::vector<QColor>> texts, backgrounds;
    std::set<QRgb> distinct;
    const auto add = [&](std::vector<QColor> &to, const std::vector<QColor> &from) {
        for (const QColor &colour : from) {
            const QRgb rgba = colour.rgba();
            if (std::none_of(to.begin(), to.end(), [&](const QColor &c) { return c.rgba() == rgba; })
                && distinct.size() <= mostColours) {
                to.push_back(colour);
                distinct.insert(rgba);
            }
        }
    };
    for (const Rule &rule : rules) {
        if (rule.selector.textless)
            continue;
        const std::vector<QColor> ruleTexts = colours(rule, false), ruleBackgrounds = colours(rule, true);
        const QStringList keys = rule.selector.parts.isEmpty() ? QStringList{QString()} : rule.selector.parts;
        for (const QString &key : keys) {
            add(texts[key], ruleTexts);
            add(backgrounds[key], ruleBackgrounds);
        }
    }
    const bool tooMany = distinct.size() > mostColours;
    for (Rule &rule : rules) {
        if (rule.selector.textless || rule.selector.parts.isEmpty())
            continue;
        const std::vector<QColor> ruleTexts = colours(rule, false), ruleBackgrounds = colours(rule, true);
        if (ruleTexts.empty() == ruleBackgrounds.empty())
            continue; // both sides or neither: the rule's own check stands
        const bool textOnly = !ruleTexts.empty();
        const double least = rule.selector.disabledOnly ? minimumDisabledContrast : minimumContrast;
        bool illegible = tooMany;
        for (const QString &key : rule.selector.parts + QStringList{QString()}) {
            const std::vector<QColor> &others = textOnly ? backgrounds[key] : texts[key];
            for (const QColor &mine : textOnly ? ruleTexts : ruleBackgrounds) {
                for (const QColor &other : others) {
                    if (!illegible && contrastRatio(textOnly ? mine : other, textOnly ? other : mine) < least)
                        illegible = true;
                }
            }
        }
        if (illegible)
            std::erase_if(rule.declarations, [&](const Declaration &d) { return isText(d) || isBackground(d); });
    }
}

} // namespace

double contrastRatio(const QColor &text, const QColor &background)
{
    const auto luminance = [](const QColor &c) {
        const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const QColor under = background.toRgb();
    const double lt = luminance(opaqueOver(text.toRgb(), under));
    const double lb = luminance(under);
    return (std::max(lt, lb) + 0.05) / (std::min(lt, lb) + 0.05);
}

QString safeStyleSheet(const QString &sheet, const QPalette &palette)
{
    const Tokens tokens = Scanner(sheet).tokens();
    const ValueReader reader(palette);
    QString out;
    std::vector<Rule> rules;
    const size_t n = tokens.size();
    size_t i = 0;
    // Skips a block from its "{" to the matching "}", or to the end.
    const auto skipBlock = [&] {
        int depth = 0;
        for (; i < n; ++i) {
            if (tokens[i].kind == Kind::OpenBrace)
                ++depth;
            else if (tokens[i].kind == Kind::CloseBrace && --depth <= 0) {
                ++i;
                return;
            }
        }
    };
    while (i < n) {
        const Kind kind = tokens[i].kind;
        if (kind == Kind::Whitespace || kind == Kind::Semicolon || kind == Kind::CloseBrace) {
            ++i;
            continue;
        }
        if (kind == Kind::AtKeyword) {
            // Not ours: up to its ";" or through its block.
            while (i < n && tokens[i].kind != Kind::Semicolon && tokens[i].kind != Kind::OpenBrace)
                ++i;
            if (i < n && tokens[i].kind == Kind::OpenBrace)
                skipBlock();
            continue;
        }
        Tokens prelude;
        while (i < n && tokens[i].kind != Kind::OpenBrace)
            prelude.push_back(tokens[i++]);
        if (i >= n)
            break;
        // The block, split into declarations; a nested block spoils the one it is in.
        std::vector<Tokens> parts(1);
        std::vector<bool> spoiled(1, false);
        int depth = 0;
        for (++i; i < n; ++i) {
            const Kind k = tokens[i].kind;
            if (k == Kind::CloseBrace && depth == 0) {
                ++i;
                break;
            }
            if (k == Kind::OpenBrace || k == Kind::OpenBracket || k == Kind::OpenParen || k == Kind::Function) {
                ++depth;
                spoiled.back() = spoiled.back() || k == Kind::OpenBrace;
            } else if ((k == Kind::CloseBrace || k == Kind::CloseBracket || k == Kind::CloseParen) && depth > 0) {
                --depth;
            }
            if (k == Kind::Semicolon && depth == 0) {
                parts.emplace_back();
                spoiled.push_back(false);
            } else {
                parts.back().push_back(tokens[i]);
            }
        }
        const std::optional<Selector> selector = selectorOf(prelude);
        if (!selector)
            continue;
        std::vector<Declaration> declarations;
        for (size_t p = 0; p < parts.size(); ++p) {
            if (spoiled[p])
                continue;
            if (std::optional<Declaration> declaration = declarationOf(parts[p], *selector, reader))
                declarations.push_back(std::move(*declaration));
        }
        keepReadable(declarations, *selector, palette, {QStringLiteral("color")},
                     {QStringLiteral("background"), QStringLiteral("background-color")},
                     {QPalette::WindowText, QPalette::Text, QPalette::ButtonText},
                     {QPalette::Window, QPalette::Base, QPalette::Button});
        keepReadable(declarations, *selector, palette, {QStringLiteral("selection-color")},
                     {QStringLiteral("selection-background-color")}, {QPalette::HighlightedText}, {QPalette::Highlight});
        rules.push_back({*selector, std::move(declarations)});
    }
    keepPartsReadable(rules, palette);
    for (const Rule &rule : rules) {
        if (rule.declarations.empty())
            continue;
        out += rule.selector.text + QStringLiteral(" {");
        for (const Declaration &declaration : rule.declarations)
            out += u' ' + declaration.text;
        out += QStringLiteral(" }\n");
    }
    return out.trimmed();
}

} // namespace skins
