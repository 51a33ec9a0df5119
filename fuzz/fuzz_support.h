#pragma once

// Shared by the fuzz targets: a check that aborts (so libFuzzer keeps the input), and a
// scratch folder with a small Wine prefix for the targets that read files.

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (false)

namespace fuzz {

// One folder per process, removed at exit. Every input is written to a file, so it lives on
// the memory file system when there is one.
inline const QString &scratchDir()
{
    static const QTemporaryDir dir(
        (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/brisquel-fuzz-XXXXXX"));
    static const QString path = dir.path();
    FUZZ_CHECK(dir.isValid());
    return path;
}

inline void writeFile(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes.data(), bytes.size()) == bytes.size());
}

// A prefix whose drive C holds a few folders and files in mixed case, as Wine lays it out.
inline const QString &winePrefix()
{
    static const QString prefix = [] {
        const QString root = scratchDir() + QStringLiteral("/prefix");
        QDir dir;
        FUZZ_CHECK(dir.mkpath(root + QStringLiteral("/dosdevices")));
        FUZZ_CHECK(dir.mkpath(root + QStringLiteral("/drive_c/windows/system32")));
        FUZZ_CHECK(dir.mkpath(root + QStringLiteral("/drive_c/Program Files/清理")));
        FUZZ_CHECK(dir.mkpath(root + QStringLiteral("/drive_c/windows/Temp")));
        writeFile(root + QStringLiteral("/drive_c/windows/Temp/a.tmp"), "x");
        writeFile(root + QStringLiteral("/drive_c/windows/Temp/A.TMP"), "x");
        FUZZ_CHECK(QFile::link(QStringLiteral("../drive_c"), root + QStringLiteral("/dosdevices/c:")));
        return root;
    }();
    return prefix;
}

} // namespace fuzz
