#include "platform/capabilities.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <vector>

namespace platform {

bool hasCapability(Capability capability)
{
    const int bit = capability == Capability::OverrideOwnership ? CAP_FOWNER
                    : capability == Capability::Administer      ? CAP_SYS_ADMIN
                                                                : CAP_SYS_RESOURCE;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return data[bit / 32].effective & (1u << (bit % 32));
}

// setfsuid(-1) changes nothing and returns the current file-system id.
bool actsAsUser(unsigned user)
{
    return unsigned(::setfsuid(-1)) == user;
}

bool actsInGroup(unsigned group)
{
    if (unsigned(::setfsgid(-1)) == group)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? std::size_t(count) : 0);
    const int got = groups.empty() ? 0 : ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[std::size_t(i)] == group)
            return true;
    }
    return false;
}

} // namespace platform
