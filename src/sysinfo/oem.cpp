#include "sysinfo/oem.h"

#include "platform/line_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>

namespace sysinfo {

namespace {

// More sizes than any icon holds: a damaged count can't keep the loader reading.
constexpr int maxImages = 256;

// Qt's bitmap reader accepts a file cut short and leaves the missing rows as whatever
// the memory held. An uncompressed bitmap whose pixels can't all be in the file is
// damaged; compressed ones are left to the reader.
bool bitmapIsWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(34);
    if (head.size() < 26 || !head.startsWith("BM"))
        return true; // not for this check to judge
    const auto u16 = [&head](int at) { return qint64(qFromLittleEndian<quint16>(head.constData() + at)); };
    const auto u32 = [&head](int at) { return qint64(qFromLittleEndian<quint32>(head.constData() + at)); };
    const qint64 pixelsAt = u32(10);
    const qint64 infoSize = u32(14);
    qint64 width = 0, height = 0, bitsPerPixel = 0, compression = 0;
    if (infoSize == 12) { // OS/2 core header
        width = u16(18);
        height = u16(20);
        bitsPerPixel = u16(24);
    } else if (infoSize >= 40 && head.size() >= 34) {
        width = std::abs(qint64(qFromLittleEndian<qint32>(head.constData() + 18)));
        height = std::abs(qint64(qFromLittleEndian<qint32>(head.constData() + 22)));
        bitsPerPixel = u16(28);
        compression = u32(30);
    } else {
        return true;
    }
    constexpr qint64 rgb = 0, bitFields = 3, alphaBitFields = 6;
    if (compression != rgb && compression != bitFields && compression != alphaBitFields)
        return true;
    const qint64 rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    return pixelsAt + rowBytes * height <= file.size();
}

QImage largestImage(QImageReader &reader)
{
    QImage best;
    const auto keep = [&best](const QImage &image) {
        if (!image.isNull()
            && qint64(image.width()) * image.height() > qint64(best.width()) * best.height())
            best = image;
    };
    keep(reader.read());
    // The other sizes of an icon; a damaged one among good ones costs only itself.
    // Formats that can't jump (an animation) show their first image.
    const int count = qMin(reader.imageCount(), maxImages);
    for (int i = 1; i < count && reader.jumpToImage(i); ++i)
        keep(reader.read());
    return best;
}

} // namespace

std::optional<QImage> readOemPicture(const QString &windowsPath, const QString &prefix)
{
    const QString path = platform::resolveWindowsPath(windowsPath, prefix);
    // Only a regular file: the reader would wait for ever on a named pipe.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (reader.format() == "bmp" && !bitmapIsWhole(path))
        return std::nullopt;
    QImage image = largestImage(reader);
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QString> readOemText(const QString &prefix)
{
    const QString path = platform::resolveWindowsPath(oemInfoPath, prefix);
    if (path.isEmpty())
        return std::nullopt;
    return platform::readTextHead(path);
}

} // namespace sysinfo
