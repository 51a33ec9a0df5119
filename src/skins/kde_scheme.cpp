#include "skins/kde_scheme.h"

#include "skins/ini_reader.h"

#include <map>

namespace skins {

namespace {

struct Mapping
{
    const char *set;
    const char *key;
    QPalette::ColorRole role;
};

// Which colour of which KDE colour set stands for each palette role.
constexpr Mapping mappings[] = {
    {"Colors:Window", "BackgroundNormal", QPalette::Window},
    {"Colors:Window", "ForegroundNormal", QPalette::WindowText},
    {"Colors:View", "BackgroundNormal", QPalette::Base},
    {"Colors:View", "BackgroundAlternate", QPalette::AlternateBase},
    {"Colors:View", "ForegroundNormal", QPalette::Text},
    {"Colors:View", "ForegroundInactive", QPalette::PlaceholderText},
    {"Colors:View", "ForegroundLink", QPalette::Link},
    {"Colors:View", "ForegroundVisited", QPalette::LinkVisited},
    {"Colors:Button", "BackgroundNormal", QPalette::Button},
    {"Colors:Button", "ForegroundNormal", QPalette::ButtonText},
    {"Colors:Selection", "BackgroundNormal", QPalette::Highlight},
    {"Colors:Selection", "ForegroundNormal", QPalette::HighlightedText},
    {"Colors:Tooltip", "BackgroundNormal", QPalette::ToolTipBase},
    {"Colors:Tooltip", "ForegroundNormal", QPalette::ToolTipText},
};

using Sections = std::map<QString, std::map<QString, QString>>;

// Names as written: KDE reads its keys in their exact case. A later key wins.
Sections readIni(const QString &text)
{
    Sections sections;
    QString section;
    IniReader reader(text);
    while (const std::optional<IniLine> line = reader.next()) {
        if (line->kind == IniLine::Kind::Section)
            section = line->name.toString();
        else
            sections[section][line->name.toString()] = line->value.toString();
    }
    return sections;
}

QString lookup(const Sections &sections, const QString &section, const QString &key)
{
    const auto found = sections.find(section);
    if (found == sections.end())
        return {};
    const auto value = found->second.find(key);
    return value == found->second.end() ? QString() : value->second;
}

} // namespace

std::optional<Skin> skinFromKdeScheme(const QByteArray &bytes, const QString &fallbackName)
{
    const Sections sections = readIni(decodeIni(bytes, IniEncoding::Utf8));
    Skin skin;
    for (const Mapping &mapping : mappings) {
        const QColor colour = colourFromText(
            lookup(sections, QLatin1StringView(mapping.set), QLatin1StringView(mapping.key)));
        if (colour.isValid())
            skin.colours[QPalette::Active][mapping.role] = colour;
    }
    if (skin.colours[QPalette::Active].empty())
        return std::nullopt;
    // KDE shows disabled text in the view's inactive colour.
    const QColor inactive = colourFromText(lookup(sections, QStringLiteral("Colors:View"), QStringLiteral("ForegroundInactive")));
    if (inactive.isValid()) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            skin.colours[QPalette::Disabled][role] = inactive;
    }
    const QString general = QStringLiteral("General");
    for (const QString &key : {QStringLiteral("Name[zh_CN]"), QStringLiteral("Name")}) {
        skin.name = lookup(sections, general, key);
        if (!skin.name.isEmpty())
            break;
    }
    if (skin.name.isEmpty())
        skin.name = fallbackName;
    skin.author = QStringLiteral("KDE 配色方案");
    return skin;
}

} // namespace skins
