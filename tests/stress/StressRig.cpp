#include "tests/stress/StressRig.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace kestrun::stress {
namespace {

std::string recordLine(uint8_t type, uint16_t address, std::span<const uint8_t> data) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    bytes.push_back(static_cast<uint8_t>(0x100 - sum));
    std::string line = ":";
    for (uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line;
}

} // namespace

BridgeStatus FaultyBridge::HidUart_Read(BridgeHandle device, uint8_t* buffer,
                                        uint32_t numBytesToRead, uint32_t* numBytesRead) {
    uint32_t got = 0;
    const uint32_t ask = std::min<uint32_t>(numBytesToRead, ReadBufferSize);
    const BridgeStatus status = inner_.HidUart_Read(device, scratch_.data(), ask, &got);
    *numBytesRead = 0;
    const bool good =
        status == BridgeStatusCode::Success || status == BridgeStatusCode::ReadTimedOut;
    if (!good) {
        return status;
    }
    got = std::min(got, ask);
    if (silent) {
        pending_.clear();
        return BridgeStatusCode::ReadTimedOut;
    }
    pending_.insert(pending_.begin(), garbageNext.begin(), garbageNext.end());
    garbageNext.clear();
    for (uint32_t i = 0; i < got; ++i) {
        pending_.push_back(scratch_[i]);
        if (garbageTrigger && scratch_[i] == *garbageTrigger) {
            pending_.insert(pending_.end(), garbageAfter.begin(), garbageAfter.end());
            garbageTrigger.reset();
        }
    }
    const auto n = static_cast<uint32_t>(std::min<std::size_t>(numBytesToRead, pending_.size()));
    std::copy_n(pending_.begin(), n, buffer);
    pending_.erase(pending_.begin(), pending_.begin() + n);
    *numBytesRead = n;
    if (tap && n > 0) {
        tap(std::span<const uint8_t>(buffer, n));
    }
    return n == numBytesToRead ? BridgeStatusCode::Success : BridgeStatusCode::ReadTimedOut;
}

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kestrun-stress-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    // A test may have taken the rights away from a subfolder; give them back to clean up.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::write(const std::string& name, std::span<const uint8_t> bytes) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file.string();
}

std::string ScratchFolder::write(const std::string& name, const std::string& text) const {
    return write(
        name, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

HexImage makeHexImage(std::size_t dataLines, uint32_t seed) {
    HexImage hex;
    uint32_t state = seed;
    for (std::size_t line = 0; line < dataLines; ++line) {
        std::array<uint8_t, 16> data{};
        for (uint8_t& b : data) {
            state = state * 1103515245u + 12345u;
            b = static_cast<uint8_t>(state >> 16);
        }
        hex.image.insert(hex.image.end(), data.begin(), data.end());
        const std::string text = recordLine(0x00, static_cast<uint16_t>(line * 16), data);
        hex.text += text + "\r\n";
        hex.lineLength = text.size() + 2;
    }
    hex.text += recordLine(0x01, 0, {}) + "\r\n";
    hex.lines = dataLines + 1;
    return hex;
}

bool StressRig::tickUntil(const std::function<bool()>& done, int limit) {
    for (int i = 0; i < limit; ++i) {
        if (done()) {
            return true;
        }
        tick();
    }
    return done();
}

int openDescriptors() {
    int count = 0;
    std::error_code ignored;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ignored);
         it != std::filesystem::directory_iterator(); it.increment(ignored)) {
        ++count;
    }
    return count;
}

std::optional<std::vector<uint8_t>> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

} // namespace kestrun::stress
