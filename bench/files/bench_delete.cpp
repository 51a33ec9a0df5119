// Deletes what one entry names and says how it went; run.sh times the whole process
// against find, so both pay for starting up.
#include "cleanup/files/pattern_delete.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ENTRY\n", argv[0]);
        return 2;
    }
    const cleanup::files::DeleteOutcome outcome =
        cleanup::files::deleteByPattern(QFile::decodeName(argv[1]));
    std::printf("matched %lld, removed %lld, failed %lld\n", static_cast<long long>(outcome.matched),
                static_cast<long long>(outcome.removed), static_cast<long long>(outcome.failed));
    return outcome.ok() ? 0 : 1;
}
