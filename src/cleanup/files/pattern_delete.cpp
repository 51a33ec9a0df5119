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
    if (m_prefixes)
        return;
    m_native = nativeVariables();
    m_prefixes.emplace();
    const QStringList paths = m_winePrefix.isEmpty() ? platform::userWinePrefixes() : QStringList{m_winePrefix};
    for (const QString &path : paths)
        m_prefixes->push_back({path, platform::windowsEnvironment(path)});
}

void FilePatternDeleter::runStarted()
{
    m_prefixes.reset();
    prepare();
}

void FilePatternDeleter::runFinished()
{
    // Prefixes made or removed between runs are seen by the next one.
    m_prefixes.reset();
}

bool FilePatternDeleter::remove(const QString &entry)
{
    prepare();
    if (!isWindowsEntry(entry)) {
        const std::optional<QString> expanded = expandEntry(entry, m_native, {});
        return expanded && deleteByPattern(*expanded, QString()).ok();
    }
    qsizetype matched = 0;
    qsizetype failed = 0;
    for (const Prefix &prefix : std::as_const(*m_prefixes)) {
        // A prefix without the entry's variable simply has nothing of it to clean.
        const std::optional<QString> expanded = expandEntry(entry, m_native, prefix.environment);
        if (!expanded)
            continue;
        const DeleteOutcome outcome = deleteByPattern(*expanded, prefix.path);
        matched += outcome.matched;
        failed += outcome.failed;
    }
    return matched > 0 && failed == 0;
}

} // namespace cleanup::files
