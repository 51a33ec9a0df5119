#pragma once

#include "cleanup/entry_deleter.h"
#include "cleanup/files/entry_variables.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace cleanup::files {

// One file an entry matched, as it was when its folder was read.
struct MatchedFile
{
    QByteArray name; // its name in the folder, as the file system holds it
    qint64 size = 0; // content bytes (a link: its target's length; anything else special: 0)
    quint64 device = 0;
    quint64 inode = 0;
    qint64 modified = 0; // last change of its content, seconds since the epoch
    qint64 accessed = 0; // last read, as the file system keeps it
};

// What an entry matches in one folder. The folder stays open as long as a copy of this does,
// so removing a match reaches the very folder that was read, even if its path now leads
// elsewhere.
class FolderMatch
{
public:
    QString prefix;    // the Wine prefix a Windows-style entry was looked for in; empty for a native one
    QByteArray folder; // the folder as it was reached: its real path below the entry's place
    int error = 0;     // the system error that kept the entry from being looked at; 0 when it was
    QString refusal;   // why the entry names nothing here: it would leave its place
    std::vector<MatchedFile> files;

    // Removes one of `files` from the open folder, as deleteByPattern() removes a match: never
    // a folder, a link itself and not its target. A name that now holds another file than the
    // one listed stays (ESTALE); one that is gone counts as removed. 0, or the system error.
    int remove(const MatchedFile &file) const;

    struct OpenFolder;
    std::shared_ptr<const OpenFolder> open;
};

// Lists what deleteByPattern(entry, winePrefix, anchorLength) would remove, and nothing else:
// the same folder, the same matching, folders and dot-folders passed over, links not followed.
FolderMatch matchPattern(const QString &entry, const QString &winePrefix,
                         std::optional<qsizetype> anchorLength = std::nullopt);

// Where the entries of one run are looked for: the native variables and the user's Wine
// prefixes with their environments, gathered once.
class EntryPlaces
{
public:
    // An empty `winePrefix` stands for the user's prefixes (platform/wine_prefixes.h).
    explicit EntryPlaces(const QString &winePrefix = {});
    // The given prefixes, their environments read already.
    explicit EntryPlaces(const std::vector<cleanup::WinePrefix> &prefixes);

    struct Place
    {
        QString entry;  // the entry with its variables resolved
        QString prefix; // the Wine prefix it goes through; empty for a native entry
        qsizetype anchor = -1; // a native entry's anchor, as expandEntry() gives it
        QString refusal; // why the entry names nothing here (a value climbing out); `entry` is then empty
    };
    // One place for a native entry, one per prefix that has the entry's variables for a
    // Windows-style one; none when a variable has no value, one with a refusal when a value
    // would leave its folder.
    std::vector<Place> places(const QString &entry) const;

private:
    struct Prefix
    {
        QString path;
        QHash<QString, QString> environment;
    };
    std::vector<Prefix> m_prefixes;
    NativeVariables m_native;
};

// What `entry` matches in every place of `places`: what a run of the junk-file page would
// delete for it.
std::vector<FolderMatch> matchEntry(const QString &entry, const EntryPlaces &places);

} // namespace cleanup::files
