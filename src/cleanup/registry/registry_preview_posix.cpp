#include "cleanup/registry/registry_preview.h"

#include "cleanup/registry/hive_reader.h"
#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/registry_name.h"
#include "cleanup/registry/wine_session.h"
#include "platform/wine_prefixes.h"

#include <QFileInfo>

#include <map>

namespace cleanup::registry {

struct RegistryPreviewer::Private
{
    QStringList prefixes;
    // The hives of each prefix, read once, with what earlier entries would have deleted.
    std::map<QString, HiveRegistry> registries;
    // Prefixes a run leaves alone, with why.
    std::map<QString, bool> otherBuild;

    bool isOtherBuild(const QString &prefix)
    {
        const auto found = otherBuild.find(prefix);
        if (found != otherBuild.end())
            return found->second;
        return otherBuild[prefix] = otherWineBuild(prefix, findWineLoader()).has_value();
    }
};

RegistryPreviewer::RegistryPreviewer(const QString &helperPath, const QStringList &prefixes)
    : d(std::make_unique<Private>())
{
    // The hives are read directly: a preview starts no Wine, so no helper is needed.
    Q_UNUSED(helperPath);
    d->prefixes = prefixes.isEmpty() ? platform::userWinePrefixes() : prefixes;
}

RegistryPreviewer::~RegistryPreviewer() = default;

std::vector<PreviewedEntry> RegistryPreviewer::preview(const QString &entry)
{
    std::vector<PreviewedEntry> out;
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()), size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    for (const QString &prefix : std::as_const(d->prefixes)) {
        PreviewedEntry &result = out.emplace_back(PreviewedEntry{.prefix = prefix, .isKey = parsed.name.isKey});
        if (!parsed.ok()) {
            result.error = parseErrorCode(parsed.error);
            continue;
        }
        // Judged as the run would find it: no registry, or a prefix the run leaves alone.
        if (prefix.isEmpty() || !QFileInfo(prefix + QStringLiteral("/system.reg")).isFile()) {
            result.error = errorNoRegistry;
            continue;
        }
        if (d->isOtherBuild(prefix)) {
            result.error = errorOtherWineBuild;
            continue;
        }
        auto registry = d->registries.try_emplace(prefix, prefix).first;
        HiveRegistry::Found found = registry->second.remove(parsed.name);
        std::vector<ExportLine> lines;
        if (found.error == 0) {
            if (parsed.name.isKey)
                lines.push_back(ExportLine{.isKey = true, .keyName = found.keyName.toStdU16String(), .value = {}});
            for (ExportedValue &value : found.values)
                lines.push_back(ExportLine{.isKey = false, .keyName = {}, .value = std::move(value)});
        }
        fillPreview(result, parsed.name, found.error, lines);
    }
    return out;
}

QStringList RegistryPreviewer::prefixes() const
{
    return d->prefixes;
}

} // namespace cleanup::registry
