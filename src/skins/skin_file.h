#pragma once

#include <QByteArray>
#include <QColor>
#include <QPalette>
#include <QString>

#include "skins/skin_abi.h"
#include "skins/style_sheet.h"

#include <array>
#include <chrono>
#include <map>

// The skin file (Pifu.she): a small INI-style text with a format version, palette colours
// per role and colour group, an optional style sheet, a display name and an author.
// Widget-free: the skin library and the skin changer both build on it.
namespace skins {

constexpr int formatVersion = 1;
constexpr qint64 maxSkinBytes = 1024 * 1024;

// Colours as the file gives them, per group; roles the file leaves out are derived when
// the palette is made.
using RoleColours = std::map<QPalette::ColorRole, QColor>;

struct Skin
{
    QString name;
    QString author;
    std::array<RoleColours, 3> colours; // indexed by QPalette::Active, Inactive, Disabled
    QString styleSheet;                 // only what dresses a control, as safeStyleSheet() keeps it

    bool isEmpty() const;
    // The palette this skin gives, starting from `base` for roles it neither sets nor derives.
    // A text below 3:1 against a background the skin sets, or on one it sets, takes the
    // standard text colour instead.
    QPalette palette(const QPalette &base) const;
};

struct SkinLoad
{
    SkinStatus status = SkinStatus::Unreadable;
    Skin skin;
};

// Parses the bytes of a skin file (UTF-8, or GB18030 when they aren't valid UTF-8).
SkinLoad parseSkin(const QByteArray &bytes);
// What a list of skins needs, quickly: as parseSkin() without the style sheet, which is the
// slow part of a large skin. The skin has no style sheet; Ok says the file has a known
// format and colours or a style sheet, not that the sheet keeps anything.
SkinLoad parseSkinHead(const QByteArray &bytes);
// Reads `path`, a regular file of at most 1 MiB, into `bytes`, never waiting on a pipe or a
// device put in its place. Ok says only that it could be read, not that it holds a skin. A
// file on a mount that doesn't answer still blocks: windows read off their thread.
SkinStatus readSkinFile(const QString &path, QByteArray *bytes);
// readSkinFile() on a thread of its own, waited for at most `wait`: Pending when the file
// hasn't answered by then (the read is left to end, or not, by itself).
SkinStatus readSkinFileWithin(const QString &path, std::chrono::milliseconds wait, QByteArray *bytes);
// Reads and parses `path` as readSkinFile() does. `bytes`, when given, receives what was read.
SkinLoad loadSkin(const QString &path, QByteArray *bytes = nullptr);

// The skin as the text of a skin file (UTF-8, LF line ends).
QByteArray skinText(const Skin &skin);

// The palette role for a key such as "WindowText" (any case); NColorRoles if none.
QPalette::ColorRole roleFromName(QStringView name);
QString roleName(QPalette::ColorRole role);
// "#rgb", "#rrggbb", "#aarrggbb", an SVG colour name, or "r,g,b" in decimals.
QColor colourFromText(QStringView text);

} // namespace skins
