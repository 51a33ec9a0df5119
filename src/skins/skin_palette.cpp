#include "skins/skin_file.h"

#include <algorithm>

// How a skin's colours become a whole palette: roles the skin leaves out are derived from
// those it sets, and text it makes unreadable is mended.
namespace skins {

namespace {

// A text role and the background it is drawn on; a disabled text is a blend of the two.
constexpr std::array<std::pair<QPalette::ColorRole, QPalette::ColorRole>, 8> textOnBackground{{
    {QPalette::WindowText, QPalette::Window},
    {QPalette::Text, QPalette::Base},
    {QPalette::PlaceholderText, QPalette::Base},
    {QPalette::ButtonText, QPalette::Button},
    {QPalette::BrightText, QPalette::Button},
    {QPalette::HighlightedText, QPalette::Highlight},
    {QPalette::ToolTipText, QPalette::ToolTipBase},
    {QPalette::Link, QPalette::Base},
}};

// The shades of a button's 3D edges, derived from the button colour unless the skin sets them.
constexpr std::array<QPalette::ColorRole, 5> shades{QPalette::Light, QPalette::Midlight, QPalette::Mid,
                                                     QPalette::Dark, QPalette::Shadow};

QColor blend(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(a.redF() * share + b.redF() * (1 - share), a.greenF() * share + b.greenF() * (1 - share),
                            a.blueF() * share + b.blueF() * (1 - share));
}

// A readable text colour on `background`: the standard one when it is, else black or white.
QColor readableOn(const QColor &background, const QColor &standard)
{
    if (contrastRatio(standard, background) >= minimumContrast)
        return standard;
    return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background) ? QColor(Qt::black)
                                                                                          : QColor(Qt::white);
}

} // namespace

QPalette Skin::palette(const QPalette &base) const
{
    QPalette result = base;
    const RoleColours &active = colours[QPalette::Active];
    const auto given = [&](QPalette::ColorRole role) { return active.find(role) != active.end(); };

    // Window and button colours bring their 3D shades along, as QPalette derives them.
    if (given(QPalette::Button) || given(QPalette::Window)) {
        const QColor button = given(QPalette::Button) ? active.at(QPalette::Button) : active.at(QPalette::Window);
        const QPalette derived(button, given(QPalette::Window) ? active.at(QPalette::Window) : button);
        for (QPalette::ColorRole role : shades) {
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                result.setColor(group, role, derived.color(group, role));
        }
    }
    // The active colours hold for the inactive group, and the backgrounds for the disabled
    // one too, unless those groups say otherwise.
    for (const auto &[role, colour] : active) {
        result.setColor(QPalette::Active, role, colour);
        result.setColor(QPalette::Inactive, role, colour);
        const bool isText = std::any_of(textOnBackground.begin(), textOnBackground.end(),
                                        [r = role](const auto &pair) { return pair.first == r; });
        if (!isText)
            result.setColor(QPalette::Disabled, role, colour);
    }
    // A disabled text fades halfway into its background.
    for (const auto &[text, background] : textOnBackground) {
        if (given(text) || given(background))
            result.setColor(QPalette::Disabled, text,
                            blend(result.color(QPalette::Active, text), result.color(QPalette::Disabled, background), 0.5));
    }
    for (auto group : {QPalette::Inactive, QPalette::Disabled}) {
        for (const auto &[role, colour] : colours[group])
            result.setColor(group, role, colour);
    }
    // Text the user can't read is no look: below 3:1 the standard text colour comes back.
    // Disabled texts fade on purpose and stay, and so do placeholders; pairs the skin leaves
    // alone are the standard look's own business.
    const auto skinGives = [&](QPalette::ColorRole role) {
        return std::any_of(colours.begin(), colours.end(), [role](const RoleColours &group) { return group.contains(role); });
    };
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        for (const auto &[text, background] : textOnBackground) {
            if (text == QPalette::PlaceholderText || text == QPalette::BrightText
                || !(skinGives(text) || skinGives(background)))
                continue;
            const QColor on = result.color(group, background);
            if (contrastRatio(result.color(group, text), on) < minimumContrast)
                result.setColor(group, text, readableOn(on, base.color(group, text)));
        }
    }
    return result;
}

} // namespace skins
