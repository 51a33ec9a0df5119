#pragma once

// A Wine prefix's registry read straight from its hive files (system.reg, user.reg,
// userdef.reg), so that looking costs no Wine start and changes nothing in the prefix. What a
// running wineserver holds but hasn't written yet (it writes every 30 s) isn't seen.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_name.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace cleanup::registry {

class Hive
{
public:
    struct Key
    {
        QString path;                      // below the hive's root, as stored
        std::vector<ExportedValue> values;
        QSet<QString> children;            // lower-case paths
        bool link = false;
        QString linkTarget;                // "\REGISTRY\Machine\..." for a link
    };

    // An empty hive when the file can't be read or is no hive (too large, not a regular file).
    static Hive read(const QString &path);

    bool isEmpty() const { return m_keys.isEmpty(); }
    const Key *key(const QString &path) const;
    // The user's key name in a user hive's header ("S-1-5-21-..."); empty for other hives.
    QString userName() const { return m_user; }
    // Wine's own name of the hive's root ("Machine", "User\S-1-5-21-...").
    QString rootName() const { return m_root; }

private:
    Key &add(const QString &path);

    QHash<QString, Key> m_keys; // by lower-case path; "" is the root
    QString m_user;
    QString m_root;
};

// What deleting entries would do in one prefix, judged from its hives as the deletion would
// find them: keys and values deleted by earlier entries of the same list count as gone, so a
// key whose subkeys the list names first is found deletable, as the clean finds it.
class HiveRegistry
{
public:
    explicit HiveRegistry(const QString &prefix);

    struct Found
    {
        quint32 error = 0;                 // 0, 2 (not there), 5 (has subkeys), or a bridge code
        QString keyName;                   // a key entry: the key's stored name
        std::vector<ExportedValue> values; // what the key holds, or the one value
    };
    // Looks the entry up; when it would be deleted, marks it gone for later entries.
    Found remove(const RegistryName &name);

private:
    struct Place
    {
        Hive *hive = nullptr;
        QString path; // lower-case path in the hive, or empty with no hive
    };
    Hive *hive(const QString &file);
    std::optional<Place> resolve(const RegistryName &name, bool wholeName);
    bool gone(const Hive *hive, const QString &path) const;

    QString m_prefix;
    QHash<QString, std::shared_ptr<Hive>> m_hives;
    // Deleted keys (hive file + lower-case path) and values (key + '\n' + folded name).
    QSet<QString> m_deletedKeys;
    QSet<QString> m_deletedValues;
};

} // namespace cleanup::registry
