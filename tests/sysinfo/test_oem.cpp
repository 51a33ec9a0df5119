#include "sysinfo/oem.h"
#include "fake_prefix.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

QImage filled(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Qt writes one image per icon file; an icon with several sizes is put together from
// such files: header, one directory entry per image, then the images.
QByteArray iconOfSizes(const QList<QImage> &images)
{
    constexpr int headerSize = 6, entrySize = 16;
    QByteArray header(headerSize, '\0');
    qToLittleEndian<quint16>(1, header.data() + 2);
    qToLittleEndian<quint16>(quint16(images.size()), header.data() + 4);
    QByteArray entries, data;
    quint32 offset = headerSize + entrySize * quint32(images.size());
    for (const QImage &image : images) {
        const QByteArray single = encoded(image, "ICO");
        QByteArray entry = single.mid(headerSize, entrySize);
        const quint32 at = qFromLittleEndian<quint32>(entry.constData() + 12);
        const quint32 size = qFromLittleEndian<quint32>(entry.constData() + 8);
        const QByteArray body = single.mid(at, size);
        qToLittleEndian<quint32>(offset, entry.data() + 12);
        entries += entry;
        data += body;
        offset += quint32(body.size());
    }
    return header + entries + data;
}

} // namespace

class TestOem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QVERIFY(makeFakePrefix(m_prefix.path(), {QStringLiteral("windows/System32")}));
    }

    void cleanup()
    {
        QVERIFY(QDir(system32()).removeRecursively());
        QVERIFY(QDir().mkpath(system32()));
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("fileName"); // empty: no file; an .ico name is the link icon, any other the logo
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("expectedSize"); // empty: the placeholder stays
        QTest::addColumn<QColor>("expectedColour");

        const QByteArray bmp = encoded(filled(123, 46, Qt::blue), "BMP");
        const QByteArray ico =
            iconOfSizes({filled(16, 16, Qt::red), filled(48, 48, Qt::green), filled(32, 32, Qt::blue)});
        const QColor none;

        QTest::newRow("bitmap") << "OEMLOGO.BMP" << bmp << QSize(123, 46) << QColor(Qt::blue);
        QTest::newRow("bitmap, name in other case") << "oemlogo.bmp" << bmp << QSize(123, 46) << QColor(Qt::blue);
        QTest::newRow("icon, largest size") << "OemLinkIcon.ico" << ico << QSize(48, 48) << QColor(Qt::green);
        QByteArray partlyDamaged = ico;
        qToLittleEndian<quint32>(0x7fffffff, partlyDamaged.data() + 6 + 12); // the first size's data
        QTest::newRow("icon with one damaged size")
            << "OEMLINKICON.ICO" << partlyDamaged << QSize(48, 48) << QColor(Qt::green);
        QTest::newRow("icon of one size")
            << "OEMLINKICON.ICO" << encoded(filled(32, 32, Qt::red), "ICO") << QSize(32, 32) << QColor(Qt::red);
        QTest::newRow("a PNG under the bitmap's name")
            << "OEMLOGO.BMP" << encoded(filled(20, 10, Qt::red), "PNG") << QSize(20, 10) << QColor(Qt::red);
        QTest::newRow("missing") << "" << QByteArray() << QSize() << none;
        QTest::newRow("empty file") << "OEMLOGO.BMP" << QByteArray() << QSize() << none;
        QTest::newRow("text, no picture")
            << "OEMLOGO.BMP" << QByteArray("[General]\r\nManufacturer=X\r\n") << QSize() << none;
        QTest::newRow("bitmap cut in its header") << "OEMLOGO.BMP" << bmp.left(30) << QSize() << none;
        QTest::newRow("bitmap cut in its pixels") << "OEMLOGO.BMP" << bmp.left(bmp.size() / 2) << QSize() << none;
        QByteArray huge = bmp;
        qToLittleEndian<qint32>(60000, huge.data() + 18);
        qToLittleEndian<qint32>(-60000, huge.data() + 22);
        QTest::newRow("bitmap claiming a huge size") << "OEMLOGO.BMP" << huge << QSize() << none;
        QTest::newRow("bitmap with a broken header")
            << "OEMLOGO.BMP" << QByteArray("BM") + QByteArray(60, '\xff') + bmp.mid(62) << QSize() << none;
        QTest::newRow("icon cut after its directory") << "OEMLINKICON.ICO" << ico.left(6 + 3 * 16) << QSize() << none;
        QTest::newRow("icon of garbage")
            << "OEMLINKICON.ICO" << QByteArray("\0\0\1\0\1\0", 6) + QByteArray(200, 'z') << QSize() << none;
    }

    void pictures()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, expectedSize);
        QFETCH(QColor, expectedColour);
        if (!fileName.isEmpty())
            write(fileName, bytes);

        QLabel target;
        QPixmap placeholder(123, 46);
        placeholder.fill(Qt::white);
        target.setPixmap(placeholder);

        const bool isIcon = fileName.endsWith(QLatin1String(".ico"), Qt::CaseInsensitive);
        const QString windowsPath = isIcon ? sysinfo::oemLinkIconPath : sysinfo::oemLogoPath;
        const std::optional<QImage> picture = sysinfo::readOemPicture(windowsPath, m_prefix.path());
        if (picture)
            target.setPixmap(QPixmap::fromImage(*picture));
        const bool loaded = picture.has_value();
        QCOMPARE(loaded, expectedSize.isValid());
        const QImage shown = target.pixmap().toImage();
        if (loaded) {
            QCOMPARE(shown.size(), expectedSize);
            QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2).rgb(), expectedColour.rgb());
        } else {
            QCOMPARE(target.pixmap().cacheKey(), placeholder.cacheKey());
        }
    }

    void text_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty file") << "OEMINFO.INI" << QByteArray() << "";
        QTest::newRow("two lines, no final break") << "OEMINFO.INI" << QByteArray("[General]\r\nModel=X1")
                                                   << "[General]\r\nModel=X1\r\n";
        QTest::newRow("final break") << "oeminfo.ini" << QByteArray("a\r\nb\r\n") << "a\r\nb\r\n";
        QTest::newRow("LF-only lines are one line") << "OEMINFO.INI" << QByteArray("a\nb\nc\n") << "a\nb\nc\n\r\n";
        QTest::newRow("lone CR ends a line") << "OEMINFO.INI" << QByteArray("a\rb") << "a\r\nb\r\n";
        QTest::newRow("empty lines kept") << "OEMINFO.INI" << QByteArray("\r\n\r\nx") << "\r\n\r\nx\r\n";
        QTest::newRow("GBK Chinese") << "Oeminfo.Ini"
                                     << QByteArray("Manufacturer=\xc7\xe5\xc0\xed\r\n") // 清理
                                     << QStringLiteral("Manufacturer=清理\r\n");
        QTest::newRow("invalid bytes")
            << "OEMINFO.INI" << QByteArray("\x81\x20" "B\r\nok") << QStringLiteral("\uFFFD B\r\nok\r\n");
        QTest::newRow("NUL bytes")
            << "OEMINFO.INI" << QByteArray("a\0b", 3) << QStringLiteral("a") + QChar(0) + QStringLiteral("b\r\n");

        // Up to 1 MiB a file shows whole; of a bigger one its first MiB and a closing line.
        constexpr qsizetype mib = 1024 * 1024;
        const QString rest = QStringLiteral("……（文件过大，其余内容未显示）\r\n");
        QByteArray lines;
        while (lines.size() < mib)
            lines += QByteArray(30, 'x') + "\r\n";
        lines.truncate(mib - 2);
        lines += "\r\n";
        QTest::newRow("1 MiB shows whole") << "OEMINFO.INI" << lines << QString::fromLatin1(lines);
        QTest::newRow("a byte more: the first MiB, then the rest left out")
            << "OEMINFO.INI" << lines + "y" << QString::fromLatin1(lines) + rest;
        const QByteArray longLine(10 * mib, 'x');
        QTest::newRow("a ten-megabyte line is cut short")
            << "OEMINFO.INI" << "head\r\n" + longLine + "\r\ntail"
            << QStringLiteral("head\r\n") + QString(mib - 6, u'x') + QStringLiteral("\r\n") + rest;
        QTest::newRow("no character cut in two")
            << "OEMINFO.INI" << QByteArray(mib - 1, 'a') + "\xc7\xe5\r\n"
            << QString(mib - 1, u'a') + QStringLiteral("\r\n") + rest;
    }

    void text()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        write(fileName, bytes);
        QCOMPARE(sysinfo::readOemText(m_prefix.path()), std::optional<QString>(expected));
    }

    // No text where there is no such file: under another name, or no prefix at all.
    void textOfAMissingFile()
    {
        write(QStringLiteral("OEMINFO.INI.bak"), "x");
        QCOMPARE(sysinfo::readOemText(m_prefix.path()), std::nullopt);
        write(QStringLiteral("OEMINFO.INI"), "x");
        QCOMPARE(sysinfo::readOemText(m_prefix.path() + QStringLiteral("/missing")), std::nullopt);
    }

    void textOfAFolder()
    {
        QVERIFY(QDir(system32()).mkdir(QStringLiteral("OEMINFO.INI")));
        QCOMPARE(sysinfo::readOemText(m_prefix.path()), std::nullopt);
    }

    void pipesInPlaceOfTheFiles()
    {
#ifdef Q_OS_UNIX
        // Nothing writes into these pipes: opening one for reading the ordinary way would wait
        // for ever, and the window with it.
        for (const char *name : {"OEMLOGO.BMP", "OEMLINKICON.ICO", "OEMINFO.INI"})
            QCOMPARE(::mkfifo(QFile::encodeName(system32() + u'/' + QLatin1String(name)).constData(), 0644), 0);
        QVERIFY(!sysinfo::readOemPicture(sysinfo::oemLogoPath, m_prefix.path()));
        QVERIFY(!sysinfo::readOemPicture(sysinfo::oemLinkIconPath, m_prefix.path()));
        QCOMPARE(sysinfo::readOemText(m_prefix.path()), std::nullopt);
#else
        QSKIP("named pipes are a POSIX matter");
#endif
    }

private:
    QString system32() const { return m_prefix.path() + QStringLiteral("/drive_c/windows/System32/"); }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(system32() + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QTemporaryDir m_prefix;
};

QTEST_MAIN(TestOem)
#include "test_oem.moc"
