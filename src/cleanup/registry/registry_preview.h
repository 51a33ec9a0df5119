#pragma once

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_name.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace cleanup::registry {

// What deleting one registry entry would remove in one Wine prefix, without changing anything.
struct PreviewedEntry
{
    QString prefix;           // the Wine prefix looked in; empty on Windows
    bool isKey = false;       // the entry names a key
    QString keyName;          // a key entry: the key's name as the registry stores it
    // The key that goes, or that holds the value, named as the backup names it
    // ("HKEY_CURRENT_USER\Software\Vendor"); empty when nothing was found.
    QString keyPath;
    std::vector<ExportedValue> values; // what the key holds, or the one value
    // 0 when there is something to delete; otherwise the Windows error code the deletion
    // would fail with (2: nothing there, 5: a key with subkeys, 87: a malformed entry, or one
    // of registry_deleter.h's bridge codes).
    quint32 error = 0;
};

// Looks registry entries up in every prefix a run of the junk-registry page would delete
// them in (platform::userWinePrefixes()). On Linux it reads each prefix's hive files itself
// and starts no Wine, so a preview never touches a prefix. Entries are judged in the order
// they are previewed, as a run deletes them: what an earlier entry would delete counts as
// gone (a key whose subkeys were named before it is found deletable), and a prefix that a run
// leaves alone (made by another Wine build) fails with errorOtherWineBuild.
class RegistryPreviewer
{
public:
    // Empty arguments take the defaults, as RegistryDeleter's do; an empty prefix list means
    // the user's prefixes.
    explicit RegistryPreviewer(const QString &helperPath = {}, const QStringList &prefixes = {});
    ~RegistryPreviewer();
    RegistryPreviewer(const RegistryPreviewer &) = delete;
    RegistryPreviewer &operator=(const RegistryPreviewer &) = delete;

    // One result per prefix, in the order of prefixes().
    std::vector<PreviewedEntry> preview(const QString &entry);
    QStringList prefixes() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Fills `entry` from an export's answer: `error` and, when it is 0, the lines before it.
void fillPreview(PreviewedEntry &entry, const RegistryName &name, quint32 error,
                 const std::vector<ExportLine> &lines);

// A value's data the way the registry editor shows it: REG_SZ and REG_EXPAND_SZ as text,
// REG_MULTI_SZ as its strings joined by ", ", REG_DWORD as "0x0000002a (42)", anything else
// as hex bytes ("01 ff"), cut to `maxLength` characters with "…" (no cut below 1). Control
// characters are shown escaped ("\n", "\x1b"), so no value can drive a terminal.
QString describeValueData(const ExportedValue &value, int maxLength = 80);
// "REG_SZ", "REG_DWORD" and so on; "REG_0x1234" for an unknown type.
QString valueTypeName(quint32 type);

} // namespace cleanup::registry
