#pragma once

#include <QHash>
#include <QString>

#include <vector>

namespace cleanup {

// A Wine prefix and what a Windows program started in it finds in its environment.
struct WinePrefix
{
    QString path;
    QHash<QString, QString> environment;
};

// What a cleanup page does with one entry of its list. A run calls runStarted() when it
// starts, begin() once per entry and runFinished() when it completes or is stopped; a
// deleter that keeps something alive for the length of a run (the registry bridge keeps
// its helper process and its backup file) lets go of it there, and at the latest in its
// destructor.
class EntryDeleter
{
public:
    virtual ~EntryDeleter() = default;
    // True when the entry was deleted; false on any failure (nothing matched, access
    // refused, a malformed entry). The page ignores failures.
    virtual bool remove(const QString &entry) = 0;
    // The page's way: an asynchronous deleter (the registry bridge under Wine) starts the
    // deletion here and reports busy() until it is done, and the page lets ticks pass
    // meanwhile. A synchronous one has done it all when begin() returns.
    virtual void begin(const QString &entry) { remove(entry); }
    virtual bool busy() const { return false; }
    virtual void runStarted() {}
    // The prefixes the following runs work in, as the page found them off its thread. Until
    // it is called, a deleter that works in prefixes looks for them itself.
    virtual void useWinePrefixes(const std::vector<WinePrefix> &prefixes) { static_cast<void>(prefixes); }
    virtual void runFinished() {}
};

} // namespace cleanup
