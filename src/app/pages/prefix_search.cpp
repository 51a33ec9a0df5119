#include "app/pages/prefix_search.h"

#include "platform/wine_prefixes.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace cleanup {

namespace {

// One call on a thread of its own; the caller waits for it up to a deadline. The state is
// shared, so a thread that outlives the wait writes into what it still owns.
template<typename Result>
class Detached
{
public:
    explicit Detached(std::function<Result()> work)
        : m_state(std::make_shared<State>())
    {
        std::thread([state = m_state, work = std::move(work)] {
            Result result = work();
            const std::lock_guard lock(state->mutex);
            state->result = std::move(result);
            state->finished.notify_all();
        }).detach();
    }

    std::optional<Result> waitUntil(std::chrono::steady_clock::time_point deadline) const
    {
        std::unique_lock lock(m_state->mutex);
        if (!m_state->finished.wait_until(lock, deadline, [this] { return m_state->result.has_value(); }))
            return std::nullopt;
        return m_state->result;
    }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<Result> result;
    };
    std::shared_ptr<State> m_state;
};

} // namespace

PrefixSearch searchPrefixes(std::chrono::milliseconds limit, const PrefixDiscovery &discover,
                            const PrefixEnvironment &readEnvironment)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    PrefixSearch search;
    const std::optional<QStringList> found = Detached<QStringList>(discover).waitUntil(deadline);
    if (!found) {
        search.searchAnswered = false;
        return search;
    }
    // Every prefix at once: one that hangs doesn't make the others wait their turn.
    std::vector<Detached<QHash<QString, QString>>> reads;
    reads.reserve(found->size());
    for (const QString &prefix : *found)
        reads.emplace_back([readEnvironment, prefix] { return readEnvironment(prefix); });
    for (qsizetype i = 0; i < found->size(); ++i) {
        if (std::optional<QHash<QString, QString>> environment = reads[i].waitUntil(deadline))
            search.answered.push_back({found->at(i), std::move(*environment)});
        else
            search.silent.append(found->at(i));
    }
    return search;
}

PrefixSearch searchUserPrefixes(std::chrono::milliseconds limit)
{
    return searchPrefixes(limit, &platform::userWinePrefixes, &platform::windowsEnvironment);
}

} // namespace cleanup
