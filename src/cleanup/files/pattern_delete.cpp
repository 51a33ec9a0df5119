#include "cleanup/files/pattern_delete.h"

#include <utility>

namespace cleanup::files {

FilePatternDeleter::FilePatternDeleter(QString winePrefix)
    : m_winePrefix(std::move(winePrefix))
{
}

bool FilePatternDeleter::remove(const QString &entry)
{
    return deleteByPattern(entry, m_winePrefix).ok();
}

} // namespace cleanup::files
