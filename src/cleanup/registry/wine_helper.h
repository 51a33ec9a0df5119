#pragma once

// Linux only: brisquel-regdel.exe running under Wine's loader for one prefix, spoken to in
// the line protocol of helper_protocol.h. Event-driven: nothing here waits on the calling
// thread except ask(), which runs its event loop.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_deleter.h"

#include <QProcessEnvironment>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace cleanup::registry {

// What a helper answers (HelperAnswer) may also be one of registry_deleter.h's bridge codes.
// A helper gets `firstAnswerMs` for its first answer (Wine may have to start its server or
// bring the prefix up to date) and `answerMs` for each later one. One that hangs, dies or
// talks out of turn fails the request under way and is let go; the next request starts a
// new one. A fresh helper that dies before answering is started once more; one that never
// gave a first answer marks Wine as broken until resetFailures(), so a broken Wine costs one
// wait, not one per request.
class WineHelper
{
public:
    static constexpr int defaultFirstAnswerMs = 30000;
    static constexpr int defaultAnswerMs = 5000;

    // Empty: brisquel-regdel.exe in the running program's folder.
    explicit WineHelper(const QString &helperPath = {});
    // Kills every helper still running, without asking.
    ~WineHelper();
    WineHelper(const WineHelper &) = delete;
    WineHelper &operator=(const WineHelper &) = delete;

    // Empty (the default) searches for one (findWineLoader()). Lets the running helper go.
    void setLoader(const QString &loader);
    void setTimeouts(int firstAnswerMs, int answerMs);

    // Starts a helper for the prefix unless one runs for it; false when Wine or the helper
    // program is missing. The prefix must hold system.reg: Wine would create it otherwise.
    bool start(const QString &prefix);
    // Sends one request; `done` is called once with its answer, at once when no helper can
    // be started (errorNoRegistry) or Wine is marked broken (errorHelperFailed).
    void request(const QString &prefix, RequestKind kind, std::u16string_view entry,
                 std::function<void(HelperAnswer)> done);
    // request(), then the thread's event loop until the answer is in.
    HelperAnswer ask(const QString &prefix, RequestKind kind, std::u16string_view entry);
    bool busy() const;

    // Lets go of the running helper without waiting for it, dropping the request under way
    // unanswered. Gently, it gets its input closed and a grace period to finish; otherwise
    // it is killed.
    void stop(bool gently);
    void resetFailures();
    // The running helper's process id; 0 when none runs.
    qint64 processId() const;
    // How many helper processes this object has started so far.
    int starts() const;
    // The loader helpers start with: the one set, else findWineLoader().
    QString loader() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The Linux deleter with its Wine settings in reach, for tests and benchmarks.
class WineRegistryDeleter final : public RegistryDeleter
{
public:
    using RegistryDeleter::RegistryDeleter;

    // The Wine loader to run the helper with; empty (the default) searches for one.
    void setWineLoader(const QString &loader);
    void setTimeouts(int firstAnswerMs, int answerMs);
    // The running helper's process id; 0 when none runs.
    qint64 helperProcessId() const;
};

// The environment a Wine program of `prefix` runs with under `loader`: no debug output, no
// offer to install Mono or Gecko, arguments in UTF-8.
QProcessEnvironment wineEnvironment(const QString &prefix, const QString &loader);

} // namespace cleanup::registry
