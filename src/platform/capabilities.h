#pragma once

namespace platform {

// The privileges beyond ownership that decide what the shredder and the wipe may do.
enum class Capability {
    OverrideOwnership, // act on files of others in a sticky folder (CAP_FOWNER)
    Administer,        // trim a file system (CAP_SYS_ADMIN)
    UseReserve,        // write into the blocks kept back for root (CAP_SYS_RESOURCE)
};

// Whether the process holds `capability` in its effective set. False where the system
// has no such thing.
bool hasCapability(Capability capability);

// Whether files made now would count as the user `user` or the group `group` (the
// file-system ids, supplementary groups included). False where the system has no such ids.
bool actsAsUser(unsigned user);
bool actsInGroup(unsigned group);

} // namespace platform
