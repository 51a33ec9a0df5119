#include "cleanup/registry/registry_preview.h"

#include "cleanup/registry/registry_delete.h"
#include "cleanup/registry/registry_name.h"
#include "platform/wine_prefixes.h"

namespace cleanup::registry {

// On Windows the registry is right here: the one "prefix" is the system itself.
struct RegistryPreviewer::Private
{
    QStringList prefixes;
};

RegistryPreviewer::RegistryPreviewer(const QString &, const QStringList &prefixes)
    : d(std::make_unique<Private>())
{
    d->prefixes = prefixes.isEmpty() ? platform::userWinePrefixes() : prefixes;
}

RegistryPreviewer::~RegistryPreviewer() = default;

std::vector<PreviewedEntry> RegistryPreviewer::preview(const QString &entry)
{
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()), size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    RegistryExport exported;
    const quint32 error = parsed.ok() ? exportRegistryEntry(text, exported) : parseErrorCode(parsed.error);
    std::vector<ExportLine> lines;
    if (!exported.keyName.empty())
        lines.push_back({.isKey = true, .keyName = exported.keyName});
    for (ExportedValue &value : exported.values)
        lines.push_back({.value = std::move(value)});
    std::vector<PreviewedEntry> out;
    for (const QString &prefix : std::as_const(d->prefixes)) {
        out.push_back({.prefix = prefix, .isKey = parsed.name.isKey});
        fillPreview(out.back(), parsed.name, error, lines);
    }
    return out;
}

QStringList RegistryPreviewer::prefixes() const
{
    return d->prefixes;
}

} // namespace cleanup::registry
