#include "cleanup/registry/registry_preview.h"

#include "cleanup/registry/registry_deleter.h"

// Placeholder until the previewer is built: every lookup fails as if no registry were there.
namespace cleanup::registry {

struct RegistryPreviewer::Private
{
    QStringList prefixes;
};

RegistryPreviewer::RegistryPreviewer(const QString &, const QStringList &prefixes)
    : d(std::make_unique<Private>())
{
    d->prefixes = prefixes;
}

RegistryPreviewer::~RegistryPreviewer() = default;

std::vector<PreviewedEntry> RegistryPreviewer::preview(const QString &)
{
    std::vector<PreviewedEntry> out;
    for (const QString &prefix : d->prefixes)
        out.push_back({.prefix = prefix, .error = errorNoRegistry});
    return out;
}

QStringList RegistryPreviewer::prefixes() const
{
    return d->prefixes;
}

QString describeValueData(const ExportedValue &, int)
{
    return {};
}

QString valueTypeName(quint32 type)
{
    return QStringLiteral("REG_0x%1").arg(type, 4, 16, QLatin1Char('0'));
}

} // namespace cleanup::registry
