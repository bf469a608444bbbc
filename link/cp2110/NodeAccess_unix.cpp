// Whether this user may open a hidraw node: the nodes belong to root unless a udev rule hands
// them to the user at the machine.

#include "link/cp2110/Cp2110Bridge.h"

#include <cerrno>
#include <unistd.h>

namespace kestrun {

NodeAccess nodeAccess(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0) {
        return NodeAccess::Granted;
    }
    if (errno == EACCES || errno == EPERM) {
        return NodeAccess::Denied;
    }
    if (errno == ENOENT) {
        return NodeAccess::Missing;
    }
    return NodeAccess::Granted;
}

} // namespace kestrun
