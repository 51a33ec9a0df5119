#include "platform/byte_path.h"

#include "platform/unique_dir.h"

#include <QFile>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

QByteArray workingFolder()
{
    const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    // Linux marks a folder outside this process's root with a leading "(unreachable)".
    if (!folder || folder.get()[0] != '/')
        return {};
    return QByteArray(folder.get());
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The name in `folder` that Qt shows as `shown`: the one entry shown so, else the text's own
// bytes (a name typed in, or a folder that can't be read). Nothing when entries look alike.
std::optional<QByteArray> nameShownAs(const QByteArray &folder, const QString &shown)
{
    std::optional<QByteArray> found;
    if (const UniqueDir dir = UniqueDir::open(folder.constData()); dir) {
        while (const dirent *entry = ::readdir(dir.get())) {
            if (QFile::decodeName(entry->d_name) != shown)
                continue;
            if (found)
                return std::nullopt; // guessing could pick the wrong one
            found = QByteArray(entry->d_name);
        }
    }
    return found ? found : QFile::encodeName(shown);
}

} // namespace

QByteArrayList argumentBytes(int argc, char **argv)
{
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return arguments;
}

QByteArray absolutePath(QByteArrayView path)
{
    if (path.isEmpty() || path.contains('\0'))
        return {};
    QByteArray full;
    if (!path.startsWith('/')) {
        full = workingFolder();
        if (full.isEmpty())
            return {};
        full += '/';
    }
    full += path;
    QByteArrayList kept;
    for (const QByteArray &name : full.split('/')) {
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept << name;
    }
    return '/' + kept.join('/');
}

std::optional<QByteArray> localPathFromUrl(QByteArrayView url)
{
    constexpr QByteArrayView scheme("file://");
    if (url.size() < scheme.size() || url.first(scheme.size()).compare(scheme, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    url = url.sliced(scheme.size());
    const qsizetype slash = url.indexOf('/');
    if (slash < 0)
        return std::nullopt;
    const QByteArrayView host = url.first(slash);
    if (!host.isEmpty() && host.compare("localhost", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // A "?" or "#" in a name is escaped; bare, they end the path.
    url = url.sliced(slash);
    for (const char end : {'?', '#'}) {
        if (const qsizetype at = url.indexOf(end); at >= 0)
            url = url.first(at);
    }
    QByteArray path;
    path.reserve(url.size());
    for (qsizetype i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && hexValue(url[i + 1]) >= 0 && hexValue(url[i + 2]) >= 0) {
            path += char(hexValue(url[i + 1]) << 4 | hexValue(url[i + 2]));
            i += 2;
        } else {
            path += url[i]; // a stray "%" stays itself, as QUrl reads it
        }
    }
    return path;
}

std::optional<QByteArray> pathFromShownText(const QString &path)
{
    // Not only U+FFFD hides bytes: a leading byte-order mark, too, is dropped in decoding.
    const QStringList names = path.split(u'/');
    QByteArray bytes = QFile::encodeName(names.first());
    for (qsizetype i = 1; i < names.size(); ++i) {
        const std::optional<QByteArray> name = nameShownAs(bytes.isEmpty() ? QByteArray("/") : bytes, names[i]);
        if (!name)
            return std::nullopt;
        bytes += '/' + *name;
    }
    return bytes;
}

} // namespace platform
