#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QString>
#include <QUrl>

#include <optional>

// File names as the system keeps them: bytes, which need not be text in any encoding.
// They travel as bytes from where they are given to the system call; only what is shown
// is decoded. On Windows, where names are UTF-16, the bytes are their UTF-8.
namespace platform {

// The program's arguments after its name, as they were passed, whatever Qt was given of
// them. Call it once the application object exists.
QByteArrayList argumentBytes(int argc, char **argv);

// `path` made absolute against the working folder and cleaned: empty and "." names left
// out, ".." taking away the name before it, no separator at the end. Nothing is decoded.
// Empty when the path is empty, holds a NUL byte, or is relative and the working folder
// can't be told.
QByteArray absolutePath(QByteArrayView path);

// The local path a file:// address names, its escapes decoded straight to bytes. Nothing
// for another scheme or a host other than "localhost".
std::optional<QByteArray> localPathFromUrl(QByteArrayView encodedUrl);
inline std::optional<QByteArray> localPathFromUrl(const QUrl &url)
{
    return localPathFromUrl(QByteArrayView(url.toEncoded()));
}

// The bytes of an absolute path that came back through text, as from a file dialog, where
// names that are no text were decoded with losses: each name is matched against the entries
// of its folder as Qt shows them. Nothing when two entries there show alike.
std::optional<QByteArray> pathFromShownText(const QString &path);

// A path as the user sees it: bytes that are no UTF-8 as U+FFFD.
inline QString shownPath(QByteArrayView path)
{
    return QDir::toNativeSeparators(QString::fromUtf8(path));
}

} // namespace platform
