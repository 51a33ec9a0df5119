// Shreds the paths given, one item each, the way Filefs does, and reports the peak memory
// of the process, so run.sh can time it against shred and show that memory stays flat.
//   bench_shredder PASSES PATH...        shred every path
//   bench_shredder --populate DIR COUNT SIZE   make COUNT files of SIZE random bytes
#include "shredder/shredder.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

int populate(const std::string &dir, long count, long size)
{
    std::mt19937_64 random(std::random_device{}());
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    for (long i = 0; i < count; ++i) {
        for (auto &byte : data)
            byte = static_cast<unsigned char>(random());
        char name[32];
        std::snprintf(name, sizeof name, "/file%06ld.dat", i);
        const int fd = ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()) || ::close(fd) != 0) {
            std::perror(name);
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 5 && std::strcmp(argv[1], "--populate") == 0)
        return populate(argv[2], std::atol(argv[3]), std::atol(argv[4]));
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PASSES PATH...\n", argv[0]);
        return 2;
    }
    shredder::Shredder shredder({std::atoi(argv[1]), false});
    // Removal (truncating, renaming, unlinking) is timed apart: it is the file system freeing
    // the blocks, work an in-place overwrite such as dd's never does.
    using Clock = std::chrono::steady_clock;
    Clock::duration removal{};
    Clock::time_point removalStart;
    shredder.beforeTruncate = [&](int) { removalStart = Clock::now(); };
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        removalStart = {};
        const shredder::Outcome outcome = shredder.shred(argv[i]);
        if (removalStart != Clock::time_point{})
            removal += Clock::now() - removalStart;
        if (outcome.status != shredder::Status::Shredded) {
            std::fprintf(stderr, "%s: %s\n", argv[i], std::strerror(outcome.error));
            ++failed;
        }
    }
    // VmHWM rather than getrusage: ru_maxrss carries over the high-water mark of whatever
    // ran in this process before exec (here: a shell holding 10,000 file names).
    std::printf("removal_us: %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(removal).count()));
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("peak_rss_kib: %ld\n", std::atol(line.c_str() + 6));
    }
    return failed ? 1 : 0;
}
