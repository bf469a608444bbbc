#pragma once
// Live heap allocations of the process, counted by the replaced global operator new and delete
// of the binary that links LiveAllocations.cpp (the soak). A leak shows as a count or a byte
// total that keeps growing while the same work is repeated.

#include <cstddef>

namespace kestrun::stress {

struct LiveMemory {
    long allocations = 0; ///< blocks handed out by operator new and not yet deleted
    long bytes = 0;       ///< their usable size
    bool operator==(const LiveMemory&) const = default;
};

LiveMemory liveMemory();

} // namespace kestrun::stress
