#pragma once
// What every fuzz target shares: a reader that turns the fuzzer's bytes into a script, a check
// that stops the run with a message (the fuzzer keeps the input as a crash), and a scratch
// folder that lives as long as the process.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>

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
    Script(const uint8_t* data, std::size_t size) : bytes_(data, size) {}
    bool done() const { return at_ >= bytes_.size(); }
    uint8_t byte() { return done() ? 0 : bytes_[at_++]; }
    /// Up to `count` bytes (fewer when the script runs out).
    std::span<const uint8_t> take(std::size_t count) {
        const std::span<const uint8_t> out =
            bytes_.subspan(at_, std::min(count, bytes_.size() - at_));
        at_ += out.size();
        return out;
    }
    /// Everything not read yet.
    std::span<const uint8_t> rest() { return take(bytes_.size()); }

private:
    std::span<const uint8_t> bytes_;
    std::size_t at_ = 0;
};

/// A folder made for this process (its path holds no '.'), removed when the process ends.
inline const std::string& scratchFolder() {
    // Never destroyed: the removal at exit still needs the name.
    static const std::string* folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrun-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return new std::string(pattern);
    }();
    return *folder;
}

/// Writes `bytes` to `path`, replacing it.
inline void writeFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

} // namespace kestrun::fuzz
