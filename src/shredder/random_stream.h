#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace shredder {

// xoshiro256**, seeded from the kernel's generator so no two runs write the same bytes.
// fill() runs four generators side by side, each seeded on its own, and interleaves their
// words: independent lanes let the processor (and the compiler's vector code) work on them
// at once, which roughly doubles what one core makes a second, so the generator keeps ahead
// of a fast disk.
class Xoshiro
{
public:
    Xoshiro();
    std::uint64_t next();
    void fill(unsigned char *data, std::size_t size);

private:
    static constexpr int lanes = 4;
    std::uint64_t m_state[4];
    // The fill's generators, word w of lane l at m_lanes[w][l].
    std::uint64_t m_lanes[4][lanes];
};

// Random bytes made on a thread of their own, a few chunks ahead of whoever writes them, so
// the writer never waits for the generator. Bytes are handed out in order and never twice.
class RandomStream
{
public:
    static constexpr std::size_t chunkSize = 4 << 20;

    RandomStream();
    ~RandomStream();
    RandomStream(const RandomStream &) = delete;
    RandomStream &operator=(const RandomStream &) = delete;

    // The next `size` bytes (at most chunkSize), aligned for direct writes when taken whole;
    // valid until the next call.
    const unsigned char *take(std::size_t size);

private:
    static constexpr int depth = 4;
    void produce();

    std::vector<unsigned char *> m_chunks;
    bool m_full[depth] = {};
    int m_current = -1;     // the chunk being handed out, or -1
    std::size_t m_used = 0; // bytes of it handed out
    bool m_quit = false;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
};

// Writes all of `size` bytes at `offset`, going on after short writes and interruptions.
bool writeAll(int fd, const unsigned char *data, std::size_t size, std::int64_t offset);

// What a pass writes: random bytes, from a stream whose thread starts with the first use,
// or zeros.
class PassData
{
public:
    PassData();
    ~PassData();
    PassData(const PassData &) = delete;
    PassData &operator=(const PassData &) = delete;

    // `size` bytes (at most RandomStream::chunkSize), valid until the next call.
    const unsigned char *bytes(bool zeros, std::size_t size);

private:
    unsigned char *m_zeros;
    std::unique_ptr<RandomStream> m_random;
};

} // namespace shredder
