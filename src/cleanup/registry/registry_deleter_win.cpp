#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/deletion_job.h"
#include "cleanup/registry/registry_delete.h"

#include <optional>
#include <utility>

namespace cleanup::registry {

namespace {

// On Windows the registry is right here: no helper, no prefix. It answers as the helper
// would, a checked delete against the last export included.
class InProcessBackend final : public RegistryBackend
{
public:
    quint32 open() override { return 0; }

    void send(RequestKind kind, const std::u16string &entry, std::function<void(HelperAnswer)> done) override
    {
        HelperAnswer answer;
        if (kind == RequestKind::Export) {
            m_last.reset();
            RegistryExport exported;
            answer.error = exportRegistryEntry(entry, exported);
            if (answer.error == 0) {
                if (!exported.keyName.empty())
                    answer.lines.push_back({.isKey = true, .keyName = exported.keyName});
                for (const ExportedValue &value : exported.values)
                    answer.lines.push_back({.value = value});
                m_last = Last{entry, std::move(exported)};
            }
        } else if (kind == RequestKind::CheckedDelete) {
            // Not what was backed up: the job exports it again.
            if (!m_last || m_last->entry != entry) {
                answer.error = errorKeptChanging;
            } else {
                RegistryExport now;
                answer.error = deleteIfUnchanged(entry, m_last->exported, now);
            }
            m_last.reset();
        } else if (kind == RequestKind::Values) {
            std::vector<ExportedValue> values;
            answer.error = readKeyValues(entry, values);
            for (ExportedValue &value : values)
                answer.lines.push_back({.value = std::move(value)});
        } else {
            m_last.reset();
            answer.error = deleteRegistryEntry(entry);
        }
        done(std::move(answer));
    }

    bool answersAtOnce() const override { return true; }
    QString backupPrefix() const override { return {}; }

private:
    struct Last
    {
        std::u16string entry;
        RegistryExport exported;
    };
    std::optional<Last> m_last;
};

} // namespace

std::unique_ptr<RegistryBackend> makeRegistryBackend(const QString &, const QString &)
{
    return std::make_unique<InProcessBackend>();
}

std::unique_ptr<cleanup::EntryDeleter> makeRegistryDeleter()
{
    auto deleter = std::make_unique<RegistryDeleter>();
    deleter->setBackupFolder(defaultBackupFolder());
    return deleter;
}

QString findWineLoader()
{
    return {};
}

QString whyPrefixIsLeftAlone(const QString &)
{
    return {};
}

} // namespace cleanup::registry
