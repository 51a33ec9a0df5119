#include "platform/byte_path.h"

#include <QCoreApplication>
#include <QFileInfo>

// Windows names are UTF-16 and Qt reads the command line as such: UTF-8 keeps them whole.
namespace platform {

QByteArrayList argumentBytes(int, char **)
{
    QByteArrayList arguments;
    const QStringList given = QCoreApplication::arguments();
    for (qsizetype i = 1; i < given.size(); ++i)
        arguments << given[i].toUtf8();
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
