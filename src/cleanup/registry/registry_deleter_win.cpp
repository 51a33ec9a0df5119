#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/registry_delete.h"
#include "cleanup/registry/registry_name.h"

#include <string_view>

namespace cleanup::registry {

// On Windows the registry is right here: no helper, no prefix, nothing kept between calls.
struct RegistryDeleter::Private
{
    quint32 lastError = 0;
};

RegistryDeleter::RegistryDeleter(const QString &, const QString &)
    : d(std::make_unique<Private>())
{
}

RegistryDeleter::~RegistryDeleter() = default;

bool RegistryDeleter::remove(const QString &entry)
{
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()),
                                   size_t(entry.size()));
    d->lastError = deleteRegistryEntry(text);
    return d->lastError == 0;
}

void RegistryDeleter::runFinished() {}

quint32 RegistryDeleter::lastError() const
{
    return d->lastError;
}

void RegistryDeleter::setWineLoader(const QString &) {}

void RegistryDeleter::setTimeouts(int, int) {}

qint64 RegistryDeleter::helperProcessId() const
{
    return 0;
}

std::unique_ptr<cleanup::EntryDeleter> makeRegistryDeleter()
{
    return std::make_unique<RegistryDeleter>();
}

QString findWineLoader()
{
    return {};
}

} // namespace cleanup::registry
