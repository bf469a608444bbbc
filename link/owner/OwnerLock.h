#pragma once
// One owner per bridge or port: the driver takes this lock before it opens a device, so a second
// Kestrun process (window or command-line tool) never opens, purges or disables a UART that the
// first one is using. The lock is advisory and tied to the process: the system drops it when the
// owner exits or crashes, so nothing stays locked. One implementation per platform, picked by the
// build (OwnerLock_unix.cpp: flock on a file in the user's runtime folder); what the lock file
// says of its owner is the same everywhere (OwnerLock.cpp).

#include <memory>
#include <string>
#include <string_view>

namespace kestrun {

/// "/dev/hidraw3 is in use by kestrun-cli (pid 4242)": what a refused process is told.
inline constexpr const char* DeviceInUseText = "%1 is in use by %2 (pid %3)";

class OwnerLock {
public:
    virtual ~OwnerLock() = default;

    /// Makes this process the owner of `device` (a device path). Answers the held lock (released
    /// when destroyed), or nullptr when another process holds it; `holder` then says which one
    /// in DeviceInUseText's words. Where no lock can be made at all (no writable runtime
    /// folder), it answers a lock that holds nothing, so the device can still be used.
    static std::unique_ptr<OwnerLock> acquire(const std::string& device, std::string& holder);

protected:
    /// What the owner writes into the lock file for the one refused: "4242 kestrun-cli\n".
    static std::string ownerRecord(unsigned long long pid, const std::string& program);
    /// DeviceInUseText for `device` from what its lock file holds (`record`, as ownerRecord
    /// wrote it; "?" and "another program" where it says nothing usable).
    static std::string holderText(const std::string& device, std::string_view record);
};

} // namespace kestrun
