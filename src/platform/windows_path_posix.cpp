#include "platform/windows_path.h"

#include "platform/unique_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <optional>

namespace platform {

namespace {

bool exists(const QString &path)
{
    struct stat st;
    // lstat: a dangling link in the path still names something that is there.
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The entry of `folder` that equals `name` without regard to case; the smallest such
// name when several do (a case-sensitive file system can hold "a" and "A" side by side),
// so the answer never depends on the order the file system lists them in.
std::optional<QString> findWithoutCase(const QString &folder, const QString &name)
{
    const UniqueDir dir = UniqueDir::open(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    std::optional<QString> best;
    while (const dirent *entry = ::readdir(dir.get())) {
        const QString candidate = QFile::decodeName(entry->d_name);
        if (candidate == u"." || candidate == u"..")
            continue;
        if (candidate.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!best || candidate < *best)
            best = candidate;
    }
    return best;
}

} // namespace

QString winePrefix()
{
    const QString fromEnvironment = qEnvironmentVariable("WINEPREFIX");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QDir::homePath() + QStringLiteral("/.wine");
}

QString resolveWindowsPath(const QString &path, const QString &prefix)
{
    if (!isWindowsPath(path))
        return path;

    const QChar letter = path[0].toLower();
    const QString drive = prefix + QStringLiteral("/dosdevices/") + letter + u':';
    if (!QFileInfo::exists(drive))
        return QString();

    // Windows itself folds "." and ".." before a path reaches the file system, and never
    // lets ".." climb above the drive's root; do the same so "C:\..\x" stays on drive C.
    QStringList components;
    const QStringView rest = QStringView(path).mid(2);
    for (const QStringView component : rest.tokenize(u'\\')) {
        for (const QStringView part : component.tokenize(u'/', Qt::SkipEmptyParts)) {
            if (part == u".")
                continue;
            if (part == u"..") {
                if (!components.isEmpty())
                    components.removeLast();
                continue;
            }
            components.append(part.toString());
        }
    }

    QString resolved = drive;
    bool stillOnDisk = true;
    for (const QString &component : components) {
        if (stillOnDisk) {
            const QString exact = resolved + u'/' + component;
            if (exists(exact)) {
                resolved = exact;
                continue;
            }
            if (const std::optional<QString> found = findWithoutCase(resolved, component)) {
                resolved += u'/' + *found;
                continue;
            }
            // Nothing below a missing folder can be looked up: keep the rest as written.
            stillOnDisk = false;
        }
        resolved += u'/' + component;
    }
    return resolved;
}

} // namespace platform
