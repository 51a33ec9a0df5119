#include "platform/file_io.h"
#include "platform/files.h"

namespace platform {

std::optional<QByteArray> readHead(const QString &path, qint64 maxBytes, int *systemError)
{
    detail::ReadOnlyFile file;
    *systemError = 0;
    if (!file.open(path, systemError))
        return std::nullopt;
    // The size a file gives is no bound: it may be larger than it said, or grow while read.
    QByteArray bytes(qMax<qint64>(maxBytes, 0), Qt::Uninitialized);
    qsizetype size = 0;
    while (size < bytes.size()) {
        const qint64 got = file.read(bytes.data() + size, bytes.size() - size, systemError);
        if (got <= 0)
            break;
        size += got;
    }
    bytes.truncate(size);
    return bytes;
}

} // namespace platform
