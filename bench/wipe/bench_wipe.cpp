// Wipes the free space of the file system holding FOLDER once, the way Filefs does, and
// says how much it filled, so run.sh can time it against dd filling the same space.
//   bench_wipe FOLDER
#include "shredder/wipe.h"

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const shredder::FreeSpace space = shredder::examineFreeSpace(argv[1]);
    if (space.error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(space.error));
        return 1;
    }
    shredder::Wiper wiper({1, false});
    const shredder::WipeOutcome outcome = wiper.wipe(space);
    if (outcome.status != shredder::Status::Shredded) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(outcome.error));
        return 1;
    }
    std::printf("filled: %llu\n", static_cast<unsigned long long>(outcome.filled));
    return 0;
}
