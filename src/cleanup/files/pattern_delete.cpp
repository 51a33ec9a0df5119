#include "cleanup/files/pattern_delete.h"

#include "platform/wine_prefixes.h"

#include <utility>

namespace cleanup::files {

FilePatternDeleter::FilePatternDeleter(QString winePrefix)
    : m_winePrefix(std::move(winePrefix))
{
}

void FilePatternDeleter::prepare()
{
    if (!m_places && m_given && m_winePrefix.isEmpty())
        m_places.emplace(*m_given);
    else if (!m_places)
        m_places.emplace(m_winePrefix);
}

void FilePatternDeleter::runStarted()
{
    m_places.reset();
    prepare();
}

void FilePatternDeleter::useWinePrefixes(const std::vector<cleanup::WinePrefix> &prefixes)
{
    m_given = prefixes;
}

void FilePatternDeleter::runFinished()
{
    // Prefixes made or removed between runs are seen by the next one.
    m_places.reset();
}

bool FilePatternDeleter::remove(const QString &entry)
{
    prepare();
    const std::vector<EntryPlaces::Place> places = m_places->places(entry);
    // A native entry fails on any error, as deleteByPattern() has it; a Windows-style one
    // succeeds when it matched somewhere and nothing it matched stayed.
    if (!isWindowsEntry(entry))
        return !places.empty() && places.front().refusal.isEmpty()
            && deleteByPattern(places.front().entry, places.front().prefix, places.front().anchor).ok();
    qsizetype matched = 0;
    qsizetype failed = 0;
    for (const EntryPlaces::Place &place : places) {
        if (!place.refusal.isEmpty())
            continue;
        const DeleteOutcome outcome = deleteByPattern(place.entry, place.prefix, place.anchor);
        matched += outcome.matched;
        failed += outcome.failed;
    }
    return matched > 0 && failed == 0;
}

EntryPlaces::EntryPlaces(const QString &winePrefix)
    : m_native(nativeVariables())
{
    const QStringList paths = winePrefix.isEmpty() ? platform::userWinePrefixes() : QStringList{winePrefix};
    for (const QString &path : paths)
        m_prefixes.push_back({path, platform::windowsEnvironment(path)});
}

EntryPlaces::EntryPlaces(const std::vector<cleanup::WinePrefix> &prefixes)
    : m_native(nativeVariables())
{
    for (const cleanup::WinePrefix &prefix : prefixes)
        m_prefixes.push_back({prefix.path, prefix.environment});
}

std::vector<EntryPlaces::Place> EntryPlaces::places(const QString &entry) const
{
    std::vector<Place> out;
    if (!isWindowsEntry(entry)) {
        qsizetype anchor = -1;
        QString refusal;
        if (const std::optional<QString> expanded = expandEntry(entry, m_native, {}, &anchor, &refusal))
            out.push_back({*expanded, QString(), anchor, {}});
        else if (!refusal.isEmpty())
            out.push_back({QString(), QString(), -1, refusal});
        return out;
    }
    for (const Prefix &prefix : m_prefixes) {
        // A prefix without the entry's variable simply has nothing of it to clean.
        QString refusal;
        if (const std::optional<QString> expanded = expandEntry(entry, m_native, prefix.environment, nullptr, &refusal))
            out.push_back({*expanded, prefix.path, -1, {}});
        else if (!refusal.isEmpty())
            out.push_back({QString(), prefix.path, -1, refusal});
    }
    return out;
}

std::vector<FolderMatch> matchEntry(const QString &entry, const EntryPlaces &places)
{
    std::vector<FolderMatch> out;
    for (const EntryPlaces::Place &place : places.places(entry)) {
        if (place.refusal.isEmpty()) {
            out.push_back(matchPattern(place.entry, place.prefix, place.anchor));
            continue;
        }
        FolderMatch &refused = out.emplace_back();
        refused.prefix = place.prefix;
        refused.refusal = place.refusal;
    }
    return out;
}

} // namespace cleanup::files
