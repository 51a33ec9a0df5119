#include "platform/byte_path.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <windows.h>
#include <shellapi.h>

// Windows names are UTF-16 and Qt reads the command line as such: UTF-8 keeps them whole.
namespace platform {

// Read from the system's own command line: Qt's list is only what the program gave it,
// and window programs give it their name alone.
QByteArrayList argumentBytes(int, char **)
{
    QByteArrayList arguments;
    int count = 0;
    LPWSTR *given = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!given)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments << QString::fromWCharArray(given[i]).toUtf8();
    ::LocalFree(given);
    return arguments;
}

QByteArray absolutePath(QByteArrayView path)
{
    if (path.isEmpty() || path.contains('\0'))
        return {};
    return QDir::cleanPath(QFileInfo(QString::fromUtf8(path)).absoluteFilePath()).toUtf8();
}

std::optional<QByteArray> localPathFromUrl(QByteArrayView encodedUrl)
{
    const QUrl url = QUrl::fromEncoded(encodedUrl.toByteArray());
    if (!url.isLocalFile() || (!url.host().isEmpty() && url.host().compare(u"localhost", Qt::CaseInsensitive) != 0))
        return std::nullopt;
    return url.toLocalFile().toUtf8();
}

std::optional<QByteArray> pathFromShownText(const QString &path) { return path.toUtf8(); }

} // namespace platform
