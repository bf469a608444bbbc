// What a lock file says of its owner, and what the process refused is told: the same on every
// system (the locking itself is OwnerLock_unix.cpp's or OwnerLock_win.cpp's).

#include "link/owner/OwnerLock.h"

#include <utility>

namespace kestrun {
namespace {

std::string fillIn(std::string text, const std::string& a, const std::string& b,
                   const std::string& c) {
    for (const auto& [mark, value] : {std::pair{"%1", &a}, std::pair{"%2", &b}, {"%3", &c}}) {
        const std::size_t at = text.find(mark);
        if (at != std::string::npos) {
            text.replace(at, 2, *value);
        }
    }
    return text;
}

} // namespace

std::string OwnerLock::ownerRecord(unsigned long long pid, const std::string& program) {
    return std::to_string(pid) + " " + program + "\n";
}

std::string OwnerLock::holderText(const std::string& device, std::string_view record) {
    std::string pid = "?";
    std::string program = "another program";
    const std::size_t space = record.find(' ');
    const std::size_t end = record.find('\n');
    if (space != std::string_view::npos && space > 0) {
        pid = record.substr(0, space);
        program = record.substr(space + 1, end == std::string_view::npos ? end : end - space - 1);
    }
    return fillIn(DeviceInUseText, device, program, pid);
}

} // namespace kestrun
