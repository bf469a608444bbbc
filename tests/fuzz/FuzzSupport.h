#pragma once
// What every fuzz target shares: a reader that turns the fuzzer's bytes into a script, a check
// that stops the run with a message (the fuzzer keeps the input as a crash), and a scratch
// folder that lives as long as the process.

#include "tests/support/Rig.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

/// Stops the run when `condition` does not hold; the fuzzer saves the input that got here.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace kestrun::fuzz {

/// The fuzzer's bytes, read front to back; an exhausted script reads as zeros.
class Script {
public:
    Script(const uint8_t* data, std::size_t size) : rest_(data, size) {}
    bool done() const { return rest_.empty(); }
    uint8_t byte() { return done() ? 0 : take(1)[0]; }
    /// Up to `count` bytes (fewer when the script runs out).
    std::span<const uint8_t> take(std::size_t count) {
        const std::span<const uint8_t> out = rest_.first(std::min(count, rest_.size()));
        rest_ = rest_.subspan(out.size());
        return out;
    }
    /// Everything not read yet.
    std::span<const uint8_t> rest() { return take(rest_.size()); }

private:
    std::span<const uint8_t> rest_;
};

/// A folder for this process (its path holds no '.'), removed when the process ends.
inline const test::ScratchFolder& scratch() {
    static const test::ScratchFolder folder;
    return folder;
}

/// The fuzzer's bytes as the text a file is written from.
inline std::string_view asText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace kestrun::fuzz
