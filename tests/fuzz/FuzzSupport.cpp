#include "tests/fuzz/FuzzSupport.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace kestrun::fuzz {
namespace {

void removeScratch();

std::string makeScratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrun-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    std::atexit(removeScratch);
    return pattern;
}

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder(), ignored);
}

} // namespace

const std::string& scratchFolder() {
    // Never destroyed: the removal at exit still needs the name.
    static const std::string* folder = new std::string(makeScratch());
    return *folder;
}

void writeFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

} // namespace kestrun::fuzz
