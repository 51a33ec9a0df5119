#include "cleanup/registry/every_prefix_deleter.h"

#include <utility>

namespace cleanup::registry {

EveryPrefixDeleter::EveryPrefixDeleter(Factory make, PrefixSource prefixes)
    : m_make(std::move(make)), m_source(std::move(prefixes))
{
}

void EveryPrefixDeleter::gather()
{
    if (m_gathered)
        return;
    m_gathered = true;
    m_active = m_given ? *m_given : m_source();
    // A prefix gone since the last run lets go of its deleter, and so of its helper.
    for (auto it = m_deleters.begin(); it != m_deleters.end();) {
        if (m_active.contains(it->first))
            ++it;
        else
            it = m_deleters.erase(it);
    }
    for (const QString &prefix : std::as_const(m_active)) {
        if (!m_deleters.count(prefix))
            m_deleters.emplace(prefix, m_make(prefix));
    }
}

void EveryPrefixDeleter::begin(const QString &entry)
{
    gather();
    for (const QString &prefix : std::as_const(m_active))
        m_deleters.at(prefix)->begin(entry);
}

bool EveryPrefixDeleter::busy() const
{
    for (const QString &prefix : m_active) {
        const auto found = m_deleters.find(prefix);
        if (found != m_deleters.end() && found->second->busy())
            return true;
    }
    return false;
}

bool EveryPrefixDeleter::remove(const QString &entry)
{
    gather();
    bool deleted = false;
    for (const QString &prefix : std::as_const(m_active))
        deleted = m_deleters.at(prefix)->remove(entry) || deleted;
    return deleted;
}

void EveryPrefixDeleter::runStarted()
{
    m_gathered = false;
    gather();
    for (const QString &prefix : std::as_const(m_active))
        m_deleters.at(prefix)->runStarted();
}

void EveryPrefixDeleter::useWinePrefixes(const std::vector<cleanup::WinePrefix> &prefixes)
{
    m_given.emplace();
    for (const cleanup::WinePrefix &prefix : prefixes)
        m_given->append(prefix.path);
}

void EveryPrefixDeleter::runFinished()
{
    for (const QString &prefix : std::as_const(m_active))
        m_deleters.at(prefix)->runFinished();
    m_gathered = false;
}

} // namespace cleanup::registry
