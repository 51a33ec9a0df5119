#pragma once

#include "cleanup/entry_deleter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace cleanup::registry {

// Runs each registry entry in every prefix of the run, through one deleter per prefix (and so
// one helper per prefix, all started when the run starts). Each deletion goes to all prefixes
// at once; the entry is busy until the last has answered and succeeds when any prefix deleted
// it; remove() goes through them in turn. The prefixes are looked for afresh at each run; a prefix's deleter is kept from run to
// run while the prefix is there.
class EveryPrefixDeleter final : public cleanup::EntryDeleter
{
public:
    using Factory = std::function<std::unique_ptr<cleanup::EntryDeleter>(const QString &prefix)>;
    using PrefixSource = std::function<QStringList()>;
    EveryPrefixDeleter(Factory make, PrefixSource prefixes);

    bool remove(const QString &entry) override;
    void begin(const QString &entry) override;
    bool busy() const override;
    void runStarted() override;
    void useWinePrefixes(const std::vector<cleanup::WinePrefix> &prefixes) override;
    void runFinished() override;

    // The prefixes of the current (or last) run.
    QStringList prefixes() const { return m_active; }

private:
    void gather();

    Factory m_make;
    PrefixSource m_source;
    std::map<QString, std::unique_ptr<cleanup::EntryDeleter>> m_deleters;
    QStringList m_active;
    std::optional<QStringList> m_given;
    bool m_gathered = false;
};

} // namespace cleanup::registry
