#include "platform/capabilities.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

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

} // namespace platform
