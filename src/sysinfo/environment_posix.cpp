#include "sysinfo/environment_stand_in.h"

#include <QByteArray>

#include <cerrno>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <vector>

namespace sysinfo::detail {

namespace {

QString kernelName()
{
    utsname names{};
    if (uname(&names) != 0)
        return {};
    return QString::fromLocal8Bit(names.sysname);
}

QString hostName()
{
    utsname names{};
    if (uname(&names) != 0)
        return {};
    return QString::fromLocal8Bit(names.nodename);
}

// The account's name from the user database; the environment only where the database
// has no entry for the uid (containers running under an arbitrary uid).
QString accountName()
{
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size < 1024)
        size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    passwd entry{};
    passwd *found = nullptr;
    while (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE
           && buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found && found->pw_name && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    for (const char *name : {"LOGNAME", "USER"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return QString::fromLocal8Bit(value);
    }
    return QString::number(uid);
}

} // namespace

QString environmentStandIn(QStringView lowerName)
{
    if (lowerName == u"os")
        return kernelName();
    if (lowerName == u"computername")
        return hostName();
    if (lowerName == u"username")
        return accountName();
    if (lowerName == u"systemdrive")
        return QStringLiteral("/");
    return {};
}

} // namespace sysinfo::detail
