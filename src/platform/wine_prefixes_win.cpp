#include "platform/wine_prefixes.h"

#include <QProcessEnvironment>

namespace platform {

QStringList userWinePrefixes()
{
    return {QString()};
}

QHash<QString, QString> windowsEnvironment(const QString &)
{
    QHash<QString, QString> variables;
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QStringList names = environment.keys();
    for (const QString &name : names)
        variables.insert(name.toUpper(), environment.value(name));
    return variables;
}

} // namespace platform
