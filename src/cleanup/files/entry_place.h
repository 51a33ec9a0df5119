#pragma once

#include "platform/unique_fd.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

namespace cleanup::files {

// A folder an entry's last part is looked for in, reached without leaving the entry's place.
struct ReachedFolder
{
    platform::UniqueFd fd;
    QByteArray path; // its real path, as shown: the place's real path and the names found below it
    int error = 0;   // a system error that kept it from being reached (ENOENT: it isn't there)
    QString refusal; // why the entry names nothing, when reaching it would leave its place

    bool reached() const { return fd.valid() && error == 0 && refusal.isEmpty(); }
};

// How a folder's name is looked for: as written, or as Windows does, without regard to case
// (the exact name first, else the smallest that matches, so the answer never depends on the
// order the folder lists its names in).
enum class NameMatch { Exact, WithoutCase };

// The name in `folder` that `name` stands for under `match`; nothing when none is there.
std::optional<QByteArray> findName(int folder, const QByteArray &name, NameMatch match);

// Walks `parts` down from the open folder `from` (whose real path is `fromPath`), one
// component at a time, never through a link: a link on the way is refused, as is a part "..".
// Each step is one folder name; the walk is where matching several folders per part would go.
ReachedFolder walkBelow(platform::UniqueFd from, QByteArray fromPath, const QByteArrayList &parts, NameMatch match);

// The folder of a native entry below its anchor (the home, an XDG folder, the working
// folder): the anchor itself may be a link and is resolved once (never through another
// user's link), nothing below it is followed. An anchor that is the root folder is none.
ReachedFolder reachBelowAnchor(const QByteArray &anchor, const QByteArrayList &parts);

// The folder of a Windows-style entry on `drive` of `prefix`: only the drive that is the
// prefix's own drive_c, reached from the prefix folder without following a link below it;
// the prefix itself is refused when a link on its way is owned by anyone but this user or root.
ReachedFolder reachInPrefix(const QString &prefix, QChar drive, const QByteArrayList &parts);

// The real path of `path`, for showing; `path` itself when it has none.
QByteArray realPath(const QByteArray &path);

// True when a link owned by `owner` may lead to a place this process cleans: its own links
// and root's, never another user's.
bool trustedLinkOwner(unsigned owner);

} // namespace cleanup::files
