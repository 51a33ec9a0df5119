#pragma once

// Tests run as root on our machines, and root writes into read-only folders. This takes
// the override out of the process's effective capabilities for one scope, so permission
// bits bite as they do for an ordinary user.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class WithoutDacOverride
{
public:
    WithoutDacOverride()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutDacOverride()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutDacOverride(const WithoutDacOverride &) = delete;
    WithoutDacOverride &operator=(const WithoutDacOverride &) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};
