#include "skins/skin_file.h"

#include "platform/files.h"
#include "skins/ini_reader.h"

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

// The skin file's sections, keys and roles are named in any letter case.
bool is(QStringView name, const char *candidate)
{
    return name.compare(QLatin1StringView(candidate), Qt::CaseInsensitive) == 0;
}

enum class Section { None, Skin, Colours, Active, Inactive, Disabled, Unknown };

Section sectionFromName(QStringView name)
{
    if (is(name, "Skin"))
        return Section::Skin;
    if (is(name, "Colors") || is(name, "Colours"))
        return Section::Colours;
    if (is(name, "Active"))
        return Section::Active;
    if (is(name, "Inactive"))
        return Section::Inactive;
    if (is(name, "Disabled"))
        return Section::Disabled;
    return Section::Unknown;
}

// What the skin's style sheet is judged against: a light standard look, the same with or
// without a running application.
QPalette standardLook()
{
    return QPalette(QColor(0xef, 0xef, 0xef), QColor(0xef, 0xef, 0xef));
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
        if (is(name, text))
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

namespace {

SkinLoad parse(const QByteArray &bytes, bool readSheet)
{
    SkinLoad load;
    bool sheetGiven = false;
    const QString text = decodeIni(bytes, IniEncoding::Utf8OrGb18030);
    Section section = Section::None;
    bool formatKnown = false;
    Skin &skin = load.skin;
    IniReader reader(text);
    while (const std::optional<IniLine> line = reader.next()) {
        if (line->kind == IniLine::Kind::Section) {
            if (is(line->name, "StyleSheet")) {
                // The style sheet is the rest of the file, as it stands: what follows the
                // heading's line end.
                const QStringView sheet = line->next < text.size() ? QStringView(text).sliced(line->next) : QStringView();
                if (readSheet)
                    skin.styleSheet = safeStyleSheet(sheet.toString(), skin.palette(standardLook()));
                else
                    sheetGiven = !sheet.trimmed().isEmpty();
                break;
            }
            section = sectionFromName(line->name);
            continue;
        }
        const QStringView key = line->name;
        const QStringView value = line->value;
        switch (section) {
        case Section::Skin:
            if (is(key, "Format")) {
                bool ok = false;
                formatKnown = value.toInt(&ok) == formatVersion && ok;
            } else if (is(key, "Name")) {
                skin.name = value.toString();
            } else if (is(key, "Author")) {
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
    else if (skin.isEmpty() && !sheetGiven)
        load.status = SkinStatus::NoValidContent;
    else
        load.status = SkinStatus::Ok;
    return load;
}

} // namespace

SkinLoad parseSkin(const QByteArray &bytes)
{
    return parse(bytes, true);
}

SkinLoad parseSkinHead(const QByteArray &bytes)
{
    return parse(bytes, false);
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
