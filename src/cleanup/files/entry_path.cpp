#include "cleanup/files/entry_path.h"

#include "platform/line_file.h"
#include "platform/windows_path.h"

#include <algorithm>

namespace cleanup::files {

std::optional<EntryPath> splitEntry(const QString &entry, bool backslashSeparates)
{
    if (entry.isEmpty() || entry.contains(QChar(u'\0')))
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
    QByteArray bytes;
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = platform::escapedByteAt(text, i);
        if (byte < 0)
            continue;
        bytes += text.sliced(run, i - run).toUtf8();
        bytes += char(byte);
        run = i + 1;
    }
    if (run == 0)
        return text.toUtf8();
    bytes += text.sliced(run).toUtf8();
    return bytes;
}

} // namespace cleanup::files
