#include "skins/skin_file.h"

#include "platform/files.h"

#include <QStringDecoder>
#include <QStringList>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace skins {

namespace {

constexpr std::array<std::pair<QPalette::ColorRole, const char *>, 20> roleNames{{
    {QPalette::Window, "Window"},
    {QPalette::WindowText, "WindowText"},
    {QPalette::Base, "Base"},
    {QPalette::AlternateBase, "AlternateBase"},
    {QPalette::Text, "Text"},
    {QPalette::PlaceholderText, "PlaceholderText"},
    {QPalette::Button, "Button"},
    {QPalette::ButtonText, "ButtonText"},
    {QPalette::BrightText, "BrightText"},
    {QPalette::Highlight, "Highlight"},
    {QPalette::HighlightedText, "HighlightedText"},
    {QPalette::ToolTipBase, "ToolTipBase"},
    {QPalette::ToolTipText, "ToolTipText"},
    {QPalette::Link, "Link"},
    {QPalette::LinkVisited, "LinkVisited"},
    {QPalette::Light, "Light"},
    {QPalette::Midlight, "Midlight"},
    {QPalette::Mid, "Mid"},
    {QPalette::Dark, "Dark"},
    {QPalette::Shadow, "Shadow"},
}};

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

// UTF-8 (a byte-order mark is dropped) unless the bytes aren't valid UTF-8: then GB18030,
// as a Chinese Windows editor saves text.
QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    return gb.isValid() ? gb(bytes) : text;
}

enum class Section { None, Skin, Colours, Active, Inactive, Disabled, Unknown };

Section sectionFromName(QStringView name)
{
    const auto is = [&](const char *candidate) {
        return name.compare(QLatin1StringView(candidate), Qt::CaseInsensitive) == 0;
    };
    if (is("Skin"))
        return Section::Skin;
    if (is("Colors") || is("Colours"))
        return Section::Colours;
    if (is("Active"))
        return Section::Active;
    if (is("Inactive"))
        return Section::Inactive;
    if (is("Disabled"))
        return Section::Disabled;
    return Section::Unknown;
}

// What the skin's style sheet is judged against: a light standard look, the same with or
// without a running application.
QPalette standardLook()
{
    return QPalette(QColor(0xef, 0xef, 0xef), QColor(0xef, 0xef, 0xef));
}

// A readable text colour on `background`: the standard one when it is, else black or white.
QColor readableOn(const QColor &background, const QColor &standard)
{
    if (contrastRatio(standard, background) >= minimumContrast)
        return standard;
    return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background) ? QColor(Qt::black)
                                                                                          : QColor(Qt::white);
}

// A file's text written into the skin file must stay one value on one line.
QString oneLine(QString value)
{
    value.replace(u'\r', u' ').replace(u'\n', u' ');
    return value.trimmed();
}

} // namespace

QPalette::ColorRole roleFromName(QStringView name)
{
    for (const auto &[role, text] : roleNames) {
        if (name.compare(QLatin1StringView(text), Qt::CaseInsensitive) == 0)
            return role;
    }
    return QPalette::NColorRoles;
}

QString roleName(QPalette::ColorRole role)
{
    for (const auto &[candidate, text] : roleNames) {
        if (candidate == role)
            return QString::fromLatin1(text);
    }
    return {};
}

QColor colourFromText(QStringView text)
{
    text = text.trimmed();
    if (text.contains(u',')) {
        const QList<QStringView> parts = text.split(u',');
        if (parts.size() != 3 && parts.size() != 4)
            return {};
        int values[4] = {0, 0, 0, 255};
        for (qsizetype i = 0; i < parts.size(); ++i) {
            bool ok = false;
            values[i] = parts[i].trimmed().toInt(&ok);
            if (!ok || values[i] < 0 || values[i] > 255)
                return {};
        }
        return QColor(values[0], values[1], values[2], values[3]);
    }
    // Only names and #-forms: QColor would take other spellings we don't promise.
    if (text.isEmpty() || !(text.front() == u'#' || text.front().isLetter()))
        return {};
    return QColor::fromString(text);
}

bool Skin::isEmpty() const
{
    return styleSheet.trimmed().isEmpty()
        && std::all_of(colours.begin(), colours.end(), [](const RoleColours &group) { return group.empty(); });
}

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

SkinLoad parseSkin(const QByteArray &bytes)
{
    SkinLoad load;
    const QString text = decodeText(bytes);
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    Section section = Section::None;
    bool formatKnown = false;
    Skin &skin = load.skin;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QStringView name = line.sliced(1, line.size() - 2).trimmed();
            if (name.compare(QLatin1StringView("StyleSheet"), Qt::CaseInsensitive) == 0) {
                // The style sheet is the rest of the file, as it stands: what follows the
                // heading's line end.
                const qsizetype rest = lines[i].data() + lines[i].size() + 1 - text.constData();
                skin.styleSheet = safeStyleSheet(rest < text.size() ? text.sliced(rest) : QString(),
                                                 skin.palette(standardLook()));
                break;
            }
            section = sectionFromName(name);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QStringView key = line.left(equals).trimmed();
        const QStringView value = line.sliced(equals + 1).trimmed();
        switch (section) {
        case Section::Skin:
            if (key.compare(QLatin1StringView("Format"), Qt::CaseInsensitive) == 0) {
                bool ok = false;
                formatKnown = value.toInt(&ok) == formatVersion && ok;
            } else if (key.compare(QLatin1StringView("Name"), Qt::CaseInsensitive) == 0) {
                skin.name = value.toString();
            } else if (key.compare(QLatin1StringView("Author"), Qt::CaseInsensitive) == 0) {
                skin.author = value.toString();
            }
            break;
        case Section::Colours:
        case Section::Active:
        case Section::Inactive:
        case Section::Disabled: {
            const QPalette::ColorRole role = roleFromName(key);
            const QColor colour = colourFromText(value);
            if (role == QPalette::NColorRoles || !colour.isValid())
                break; // an unknown role or a bad colour is passed over alone
            const QPalette::ColorGroup group = section == Section::Inactive ? QPalette::Inactive
                : section == Section::Disabled                           ? QPalette::Disabled
                                                                         : QPalette::Active;
            skin.colours[group][role] = colour;
            break;
        }
        case Section::None:
        case Section::Unknown:
            break;
        }
    }
    if (!formatKnown)
        load.status = SkinStatus::UnsupportedFormat;
    else if (skin.isEmpty())
        load.status = SkinStatus::NoValidContent;
    else
        load.status = SkinStatus::Ok;
    return load;
}

SkinStatus readSkinFile(const QString &path, QByteArray *bytes)
{
    // Opened without waiting and checked on the descriptor: a pipe swapped in after any
    // look at the name can't hold the reader.
    bytes->clear();
    int error = 0;
    std::optional<QByteArray> read = platform::readHead(path, maxSkinBytes + 1, &error);
    if (!read)
        return error == EISDIR || error == EINVAL ? SkinStatus::NotRegularFile : SkinStatus::Unreadable;
    if (error)
        return SkinStatus::Unreadable;
    if (read->size() > maxSkinBytes)
        return SkinStatus::TooLarge;
    *bytes = std::move(*read);
    return SkinStatus::Ok;
}

SkinStatus readSkinFileWithin(const QString &path, std::chrono::milliseconds wait, QByteArray *bytes)
{
    struct State
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        SkinStatus status = SkinStatus::Pending;
        QByteArray bytes;
    };
    const auto state = std::make_shared<State>();
    std::thread([path, state] {
        QByteArray read;
        const SkinStatus status = readSkinFile(path, &read);
        const std::lock_guard lock(state->mutex);
        state->status = status;
        state->bytes = std::move(read);
        state->done = true;
        state->finished.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    if (!state->finished.wait_for(lock, wait, [&] { return state->done; }))
        return SkinStatus::Pending;
    *bytes = std::move(state->bytes);
    return state->status;
}

SkinLoad loadSkin(const QString &path, QByteArray *bytes)
{
    QByteArray read;
    const SkinStatus status = readSkinFile(path, &read);
    if (bytes)
        *bytes = read;
    if (status != SkinStatus::Ok)
        return {status, {}};
    return parseSkin(read);
}

QByteArray skinText(const Skin &skin)
{
    QString text = QStringLiteral("; Brisquel skin\n[Skin]\nFormat=%1\nName=%2\nAuthor=%3\n")
                       .arg(formatVersion)
                       .arg(oneLine(skin.name), oneLine(skin.author));
    static constexpr std::array<std::pair<QPalette::ColorGroup, const char *>, 3> groups{
        {{QPalette::Active, "Active"}, {QPalette::Inactive, "Inactive"}, {QPalette::Disabled, "Disabled"}}};
    for (const auto &[group, title] : groups) {
        if (skin.colours[group].empty())
            continue;
        text += QStringLiteral("\n[%1]\n").arg(QLatin1StringView(title));
        for (const auto &[role, colour] : skin.colours[group])
            text += roleName(role) + u'=' + colour.name(colour.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb)
                + u'\n';
    }
    if (!skin.styleSheet.isEmpty())
        text += QStringLiteral("\n[StyleSheet]\n") + skin.styleSheet + u'\n';
    return text.toUtf8();
}

} // namespace skins
