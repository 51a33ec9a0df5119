#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>

// A folder laid out as Wine lays out a prefix: drive_c, and dosdevices/c: linking to it.
// `folders` are made below drive_c.
inline bool makeFakePrefix(const QString &root, const QStringList &folders = {})
{
    const QDir dir(root);
    if (!dir.mkpath(QStringLiteral("dosdevices")) || !dir.mkpath(QStringLiteral("drive_c")))
        return false;
    for (const QString &folder : folders) {
        if (!dir.mkpath(QStringLiteral("drive_c/") + folder))
            return false;
    }
    return QFile::link(QStringLiteral("../drive_c"), dir.filePath(QStringLiteral("dosdevices/c:")));
}
