#include "cleanup/registry/registry_preview.h"

#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/registry_name.h"
#include "cleanup/registry/wine_helper.h"
#include "platform/wine_prefixes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include <map>

namespace cleanup::registry {

struct RegistryPreviewer::Private
{
    QString helperPath;
    QStringList prefixes;
    // One helper per prefix, started at the first lookup there.
    std::map<QString, std::unique_ptr<WineHelper>> helpers;

    WineHelper &helperFor(const QString &prefix)
    {
        std::unique_ptr<WineHelper> &helper = helpers[prefix];
        if (!helper)
            helper = std::make_unique<WineHelper>(helperPath);
        return *helper;
    }
};

RegistryPreviewer::RegistryPreviewer(const QString &helperPath, const QStringList &prefixes)
    : d(std::make_unique<Private>())
{
    d->helperPath = helperPath;
    d->prefixes = prefixes.isEmpty() ? platform::userWinePrefixes() : prefixes;
}

RegistryPreviewer::~RegistryPreviewer() = default;

std::vector<PreviewedEntry> RegistryPreviewer::preview(const QString &entry)
{
    std::vector<PreviewedEntry> out;
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()), size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    int waiting = 0;
    for (const QString &prefix : std::as_const(d->prefixes))
        out.push_back({.prefix = prefix, .isKey = parsed.name.isKey});
    for (std::size_t i = 0; i < out.size(); ++i) {
        PreviewedEntry &result = out[i];
        if (!parsed.ok()) {
            result.error = parseErrorCode(parsed.error);
            continue;
        }
        // Any Wine command run against a prefix without hives would create a whole new one.
        if (result.prefix.isEmpty() || !QFileInfo(result.prefix + QStringLiteral("/system.reg")).isFile()) {
            result.error = errorNoRegistry;
            continue;
        }
        ++waiting;
        d->helperFor(result.prefix).request(result.prefix, RequestKind::Export, text,
                                            [&out, &waiting, &parsed, i](HelperAnswer answer) {
            --waiting;
            fillPreview(out[i], parsed.name, answer.error, answer.lines);
        });
    }
    while (waiting > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return out;
}

QStringList RegistryPreviewer::prefixes() const
{
    return d->prefixes;
}

} // namespace cleanup::registry
