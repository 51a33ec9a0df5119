#pragma once

#include <QSet>
#include <QtGlobal>

#include <utility>

namespace cleanup::files {

// The files some process holds open, gathered once at construction from every process's
// open descriptors, by device and inode. A process of another user can't be looked into
// unless we are root: its files are unknown, and `unreadable()` counts such processes.
// On Windows the system itself refuses to delete a file opened without sharing, so the
// set stays empty there.
class FilesInUse
{
public:
    FilesInUse();

    bool contains(quint64 device, quint64 inode) const { return m_files.contains({device, inode}); }
    int unreadable() const { return m_unreadable; }

private:
    QSet<std::pair<quint64, quint64>> m_files;
    int m_unreadable = 0;
};

} // namespace cleanup::files
