// Runs a whole junk-file list the way the page does (prefixes found and their hives read at the
// start, then every entry); run.sh times the process against find, so both pay for starting.
#include "cleanup/files/pattern_delete.h"
#include "platform/line_file.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LIST\n", argv[0]);
        return 2;
    }
    const platform::LinesRead list = platform::readLines(QFile::decodeName(argv[1]));
    if (!list.complete) {
        std::fprintf(stderr, "can't read the list\n");
        return 2;
    }
    cleanup::files::FilePatternDeleter deleter;
    deleter.runStarted();
    int deleted = 0;
    for (const QString &entry : list.lines)
        deleted += deleter.remove(entry);
    deleter.runFinished();
    std::printf("%d of %lld entries deleted something\n", deleted, static_cast<long long>(list.lines.size()));
    return 0;
}
