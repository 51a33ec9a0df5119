#include "cleanup/files/entry_path.h"

#include "platform/line_file.h"
#include "platform/windows_path.h"

#include <QStringEncoder>

#include <algorithm>

namespace cleanup::files {

std::optional<EntryPath> splitEntry(const QString &entry, bool backslashSeparates)
{
    if (entry.isEmpty() || entry.contains(QChar(u'\0')))
        return std::nullopt;
    // A byte that was no text in the list can't be part of a Windows name, which is Unicode
    // (and Wine's folders are named in UTF-8).
    if (backslashSeparates && platform::hasEscapedBytes(entry))
        return std::nullopt;

    qsizetype separator = entry.lastIndexOf(u'/');
    if (backslashSeparates)
        separator = std::max(separator, entry.lastIndexOf(u'\\'));

    EntryPath path;
    if (separator >= 0) {
        path.folder = entry.left(separator + 1);
        path.leaf = entry.mid(separator + 1);
    } else if (backslashSeparates && platform::isWindowsPath(entry)) {
        path.folder = entry.left(2);
        path.leaf = entry.mid(2);
    } else {
        path.leaf = entry;
    }

    if (path.leaf.isEmpty() || path.leaf == u"." || path.leaf == u"..")
        return std::nullopt;
    return path;
}

QByteArray toNativeBytes(QStringView text)
{
    // Stateless: each run of text stands alone, a surrogate left at its end included.
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return platform::encodeKeepingEscapedBytes(text, encoder);
}

} // namespace cleanup::files
