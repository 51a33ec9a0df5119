#pragma once

#include "cleanup/entry_deleter.h"
#include "cleanup/files/entry_variables.h"
#include "cleanup/files/pattern_match.h"
#include "platform/windows_path.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace cleanup::files {

// What deleting one entry came to.
struct DeleteOutcome
{
    qsizetype matched = 0; // files (never folders) the entry named or matched
    qsizetype removed = 0;
    qsizetype failed = 0;
    int error = 0; // the first system error met, 0 when there was none
    QString refusal; // why the entry named nothing: it would have left its place

    // Nothing matched counts as a failure, as does any file that stayed.
    bool ok() const { return matched > 0 && failed == 0 && error == 0; }
};

// Deletes every file that `entry` names: a path whose last component may hold `*` and `?`.
// Only that one folder is read; folders are never deleted nor entered, and a matched
// symbolic link is removed itself, never followed. Every match is tried even after one
// fails. A path starting with a drive letter ("C:\WINDOWS\Temp\*.tmp") is looked for in
// the drive_c of `winePrefix` and matches without regard to case; any other path is a
// native one, taken literally apart from the wildcards. The folder is reached without
// following a link below the entry's place: drive_c, or a native entry's anchor, the first
// `anchorLength` characters (a relative entry's is the working folder; without the argument,
// a relative entry has that one and an absolute one none, its folder opened as written).
// An entry holding ".." names nothing.
DeleteOutcome deleteByPattern(const QString &entry,
                              const QString &winePrefix = platform::winePrefix(),
                              std::optional<qsizetype> anchorLength = std::nullopt);

// The junk-file page's deletion: one entry, true when it went through without failure.
// Variables in entries are resolved first (entry_variables.h); a Windows-style entry is
// deleted in each of the user's Wine prefixes, with that prefix's own environment, and
// succeeds when it matched somewhere and nothing it matched stayed.
class FilePatternDeleter : public cleanup::EntryDeleter
{
public:
    // An empty `winePrefix` (the default) stands for the user's prefixes, looked for afresh
    // at each run (platform/wine_prefixes.h).
    explicit FilePatternDeleter(QString winePrefix = {});
    bool remove(const QString &entry) override;
    void runStarted() override;
    void useWinePrefixes(const std::vector<cleanup::WinePrefix> &prefixes) override;
    void runFinished() override;

private:
    void prepare();

    const QString m_winePrefix;
    // What the run works with, gathered once: the prefixes' hives are read once, not per entry.
    std::optional<EntryPlaces> m_places;
    std::optional<std::vector<cleanup::WinePrefix>> m_given;
};

} // namespace cleanup::files
