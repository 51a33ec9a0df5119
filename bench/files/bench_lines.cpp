// Saves and loads a list of the longest length the list box can hold (32,767 entries)
// through the program's line files, and prints the median of several rounds of each.
#include "platform/line_file.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main()
{
    constexpr int entries = 32767;
    constexpr int rounds = 7;

    // Entries as a real list holds them: Windows and native paths, Chinese names, wildcards.
    QStringList lines;
    lines.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        switch (i % 4) {
        case 0:
            lines.append(QStringLiteral("C:\\WINDOWS\\Temp\\临时文件%1\\*.tmp").arg(i));
            break;
        case 1:
            lines.append(QStringLiteral("C:\\Documents and Settings\\用户\\Local Settings\\Temp\\~DF%1.tmp").arg(i));
            break;
        case 2:
            lines.append(QStringLiteral("/home/user/.cache/thumbnails/normal/%1.png").arg(i, 8, 16, QChar(u'0')));
            break;
        default:
            lines.append(QStringLiteral("C:\\WINDOWS\\Prefetch\\程序%1-??.pf").arg(i));
            break;
        }
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("Wjql.ini"));

    std::vector<double> saving;
    std::vector<double> loading;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        QString error;
        timer.start();
        const bool saved = platform::writeLines(path, lines, &error);
        saving.push_back(timer.nsecsElapsed() / 1e6);
        if (!saved) {
            std::fprintf(stderr, "writeLines failed: %s\n", qUtf8Printable(error));
            return 1;
        }

        timer.start();
        const platform::LinesRead loaded = platform::readLines(path);
        loading.push_back(timer.nsecsElapsed() / 1e6);
        if (!loaded.complete || loaded.lines != lines) {
            std::fprintf(stderr, "readLines failed or gave other lines: %s\n", qUtf8Printable(loaded.error));
            return 1;
        }
    }

    std::printf("list of %d entries, %lld bytes, median of %d rounds\n", entries,
                static_cast<long long>(QFileInfo(path).size()), rounds);
    std::printf("writeLines: %.2f ms (goal: under 50 ms)\n", median(saving));
    std::printf("readLines: %.2f ms (goal: under 50 ms)\n", median(loading));
    return 0;
}
