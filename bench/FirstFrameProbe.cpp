// Preloaded into the window program by the start-up benchmark. It notes the moment the first
// painted frame is handed over to the window system, that is the first flush of a backing
// store, and writes it (CLOCK_MONOTONIC, in nanoseconds) to the descriptor named by
// KESTRUN_FIRST_FRAME_FD. The program itself is not changed in any way.

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <time.h>

namespace {

// QBackingStore::flush(const QRegion&, QWindow*, const QPoint&), by its linker name.
constexpr const char* FlushSymbol = "_ZN13QBackingStore5flushERK7QRegionP7QWindowRK6QPoint";
using Flush = void (*)(void*, const void*, void*, const void*);

} // namespace

extern "C" __attribute__((visibility("default"))) void
_ZN13QBackingStore5flushERK7QRegionP7QWindowRK6QPoint(void* store, const void* region, void* window,
                                                      const void* offset) {
    static const Flush next = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, FlushSymbol));
    static bool told = false;
    next(store, region, window, offset);
    if (!told) {
        told = true;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (const char* fd = std::getenv("KESTRUN_FIRST_FRAME_FD")) {
            dprintf(std::atoi(fd), "%lld\n",
                    static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        }
    }
}
