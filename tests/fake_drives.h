#pragma once

#include "sysinfo/drive_source.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QStringList>

#include <optional>

using Sizes = QList<QPair<QString, qint64>>; // drive -> bytes; a negative size: no answer

// Drives as a test describes them; letters without regard to case, as Windows has them.
class FakeDrives final : public sysinfo::DriveSource
{
public:
    FakeDrives(QStringList entries, const Sizes &totals, const Sizes &frees)
        : m_entries(std::move(entries))
    {
        for (const auto &[drive, size] : totals)
            m_totals.insert(drive.toUpper(), size);
        for (const auto &[drive, size] : frees)
            m_frees.insert(drive.toUpper(), size);
    }
    QStringList entries() const override { return m_entries; }
    std::optional<quint64> totalBytes(const QString &drive) const override { return look(m_totals, drive); }
    std::optional<quint64> freeBytes(const QString &drive) const override { return look(m_frees, drive); }

private:
    static std::optional<quint64> look(const QHash<QString, qint64> &sizes, const QString &drive)
    {
        const qint64 size = sizes.value(drive.toUpper(), -1);
        return size < 0 ? std::nullopt : std::optional<quint64>(quint64(size));
    }
    QStringList m_entries;
    QHash<QString, qint64> m_totals;
    QHash<QString, qint64> m_frees;
};
