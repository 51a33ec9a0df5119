#include "shredder/random_stream.h"

#include "platform/random_bytes.h"
#include "platform/file_calls.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace shredder {

namespace {

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

constexpr std::size_t alignment = 4096;

} // namespace

Xoshiro::Xoshiro()
{
    if (platform::fillRandom(m_state, sizeof m_state) != 0 || platform::fillRandom(m_lanes, sizeof m_lanes) != 0)
        std::abort(); // never write predictable "random" data
    // An all-zero state would stay zero for ever.
    if (!(m_state[0] | m_state[1] | m_state[2] | m_state[3]))
        m_state[0] = 1;
    for (int lane = 0; lane < lanes; ++lane) {
        if (!(m_lanes[0][lane] | m_lanes[1][lane] | m_lanes[2][lane] | m_lanes[3][lane]))
            m_lanes[0][lane] = 1;
    }
}

std::uint64_t Xoshiro::next()
{
    const std::uint64_t result = rotl(m_state[1] * 5, 7) * 9;
    const std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = rotl(m_state[3], 45);
    return result;
}

void Xoshiro::fill(unsigned char *data, std::size_t size)
{
    // The state is worked on in locals: written through `data`, which may alias anything,
    // members would be reloaded at every step.
    std::uint64_t s0[lanes], s1[lanes], s2[lanes], s3[lanes];
    std::memcpy(s0, m_lanes[0], sizeof s0);
    std::memcpy(s1, m_lanes[1], sizeof s1);
    std::memcpy(s2, m_lanes[2], sizeof s2);
    std::memcpy(s3, m_lanes[3], sizeof s3);
    std::size_t i = 0;
    for (; i + 8 * lanes <= size; i += 8 * lanes) {
        std::uint64_t words[lanes];
        for (int l = 0; l < lanes; ++l) {
            // x * 5 and x * 9 as shifts and adds, which vector units have for 64-bit lanes.
            const std::uint64_t times5 = (s1[l] << 2) + s1[l];
            const std::uint64_t rotated = rotl(times5, 7);
            words[l] = (rotated << 3) + rotated;
            const std::uint64_t t = s1[l] << 17;
            s2[l] ^= s0[l];
            s3[l] ^= s1[l];
            s1[l] ^= s2[l];
            s0[l] ^= s3[l];
            s2[l] ^= t;
            s3[l] = rotl(s3[l], 45);
        }
        std::memcpy(data + i, words, sizeof words);
    }
    std::memcpy(m_lanes[0], s0, sizeof s0);
    std::memcpy(m_lanes[1], s1, sizeof s1);
    std::memcpy(m_lanes[2], s2, sizeof s2);
    std::memcpy(m_lanes[3], s3, sizeof s3);
    for (; i < size; i += 8) {
        const std::uint64_t value = next();
        std::memcpy(data + i, &value, std::min<std::size_t>(8, size - i));
    }
}

RandomStream::RandomStream()
{
    for (int i = 0; i < depth; ++i) {
        void *chunk = platform::allocateAligned(alignment, chunkSize);
        if (!chunk) {
            for (unsigned char *made : m_chunks)
                platform::freeAligned(made);
            throw std::bad_alloc();
        }
        m_chunks.push_back(static_cast<unsigned char *>(chunk));
    }
    m_thread = std::thread(&RandomStream::produce, this);
}

RandomStream::~RandomStream()
{
    {
        const std::lock_guard lock(m_lock);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
    for (unsigned char *chunk : m_chunks)
        platform::freeAligned(chunk);
}

// Fills the chunks in turn, each as soon as the writer has let it go.
void RandomStream::produce()
{
    Xoshiro random;
    for (int next = 0;; next = (next + 1) % depth) {
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [&] { return m_quit || !m_full[next]; });
            if (m_quit)
                return;
        }
        random.fill(m_chunks[next], chunkSize);
        {
            const std::lock_guard lock(m_lock);
            m_full[next] = true;
        }
        m_changed.notify_all();
    }
}

const unsigned char *RandomStream::take(std::size_t size)
{
    if (m_current >= 0 && m_used + size <= chunkSize) {
        const unsigned char *bytes = m_chunks[m_current] + m_used;
        m_used += size;
        return bytes;
    }
    std::unique_lock lock(m_lock);
    if (m_current >= 0)
        m_full[m_current] = false; // handed out whole: the generator may refill it
    m_current = (m_current + 1) % depth;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_full[m_current]; });
    m_used = size;
    return m_chunks[m_current];
}

bool writeAll(int fd, const unsigned char *data, std::size_t size, std::int64_t offset)
{
    if (const int error = platform::pwriteAll(fd, data, size, offset)) {
        errno = error;
        return false;
    }
    return true;
}

PassData::PassData()
    : m_zeros(static_cast<unsigned char *>(platform::allocateAligned(alignment, RandomStream::chunkSize)))
{
    if (!m_zeros)
        throw std::bad_alloc();
    std::memset(m_zeros, 0, RandomStream::chunkSize);
}

PassData::~PassData() { platform::freeAligned(m_zeros); }

const unsigned char *PassData::bytes(bool zeros, std::size_t size)
{
    if (zeros)
        return m_zeros;
    if (!m_random)
        m_random = std::make_unique<RandomStream>();
    return m_random->take(size);
}

} // namespace shredder
