#pragma once

#include "cleanup/entry_deleter.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

namespace cleanup {

// The Wine prefixes a run can work in, looked for off the window's thread: a prefix on a
// mount that stopped answering holds whoever reads it for as long as the mount does.
struct PrefixSearch
{
    std::vector<WinePrefix> answered; // found, and their hives read, within the time limit
    QStringList silent;               // found, but their hives weren't read in time
    bool searchAnswered = true;       // false when the search itself didn't end in time
};

using PrefixDiscovery = std::function<QStringList()>;
using PrefixEnvironment = std::function<QHash<QString, QString>(const QString &prefix)>;

// Runs `discover`, then `readEnvironment` for each prefix found, each on a thread of its own,
// and waits for them at most `limit` altogether. Threads that don't end in time are left to
// end, or not, by themselves.
PrefixSearch searchPrefixes(std::chrono::milliseconds limit, const PrefixDiscovery &discover,
                            const PrefixEnvironment &readEnvironment);

// The user's prefixes (platform/wine_prefixes.h), as searchPrefixes() finds them.
PrefixSearch searchUserPrefixes(std::chrono::milliseconds limit);

} // namespace cleanup
