#include "link/cp2110/Cp2110Bridge.h"

#include "link/owner/OwnerLock.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <future>
#include <system_error>

namespace kestrun {
namespace {

// Feature reports of the chip: byte 0 is the report id.
constexpr uint8_t UartEnableReport = 0x41;
constexpr uint8_t PurgeFifosReport = 0x43;
constexpr uint8_t UartConfigReport = 0x50;
constexpr uint8_t UartDisabled = 0x00;
constexpr uint8_t UartEnabled = 0x01;
constexpr uint8_t PurgeBoth = 0x03;

// Until the link sets its own, a write may take a second; reads return at once.
constexpr uint32_t DefaultWriteTimeout = 1000;

// A flood of reports that carry no UART data must not hold the link's tick forever.
constexpr int MaxReportsPerRead = 512;
// The kernel keeps at most 64 reports per open handle: draining them after the purge takes at
// most that many reads; the margin covers reports still arriving from the chip meanwhile.
constexpr int MaxStaleReports = 256;

// Get/Set UART Config: id, rate (most significant byte first), parity none, flow control
// none, 8 data bits (code 3), short stop bit.
using UartConfig = std::array<uint8_t, 9>;
UartConfig uartConfig(uint32_t baud) {
    return {UartConfigReport,
            static_cast<uint8_t>(baud >> 24),
            static_cast<uint8_t>(baud >> 16),
            static_cast<uint8_t>(baud >> 8),
            static_cast<uint8_t>(baud),
            0x00,
            0x00,
            0x03,
            0x00};
}

constexpr const char* ConfigNotTaken =
    ": the bridge did not keep its UART configuration (%1 baud, 8N1, no flow control)";

struct HidDeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
using HidDevicePtr = std::unique_ptr<hid_device, HidDeviceCloser>;

struct EnumerationFree {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};
using EnumerationPtr = std::unique_ptr<hid_device_info, EnumerationFree>;

// hidapi is process-wide: the first bridge starts it, the last one stops it.
std::atomic<int> hidUsers{0};

// The link compares 8-bit text; a character the 8 bits cannot hold becomes '?'.
std::string narrow(const wchar_t* text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (; *text != L'\0'; ++text) {
        const auto c = static_cast<uint32_t>(*text);
        out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    }
    return out;
}

// Fills a DeviceStringLength buffer, cutting the text to leave room for the terminator.
void copyString(char* buffer, const std::string& text) {
    const std::size_t n = std::min(text.size(), DeviceStringLength - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// "/dev/hidraw2" before "/dev/hidraw10": runs of digits compare by value.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && digit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && digit(b[je])) {
                ++je;
            }
            std::string_view da(a.data() + i, ie - i);
            std::string_view db(b.data() + j, je - j);
            while (da.size() > 1 && da.front() == '0') {
                da.remove_prefix(1);
            }
            while (db.size() > 1 && db.front() == '0') {
                db.remove_prefix(1);
            }
            if (da.size() != db.size()) {
                return da.size() < db.size();
            }
            if (da != db) {
                return da < db;
            }
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j)) {
        return (a.size() - i) < (b.size() - j);
    }
    return a < b;
}

bool sendFeature(hid_device* device, uint8_t report, uint8_t value) {
    const std::array<unsigned char, 2> bytes{report, value};
    return hid_send_feature_report(device, bytes.data(), bytes.size()) >= 0;
}

} // namespace

std::string Cp2110Bridge::baudProblem(uint32_t baud) {
    return "The USB bridge's UART runs at 300 to 1000000 baud, not " + std::to_string(baud);
}

uint64_t steadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

struct Cp2110Bridge::OpenDevice {
    HidDevicePtr hid;
    std::string path;
    std::string product;
    uint32_t readTimeout = 0;
    uint32_t writeTimeout = DefaultWriteTimeout;
    // The part of an input report that did not fit the last read, handed out first next time.
    std::array<uint8_t, ReportSize> held{};
    std::size_t heldBegin = 0;
    std::size_t heldEnd = 0;
    // hidraw fails every read once the device is unplugged; after the first failure the
    // device counts as gone and hidapi is not asked again.
    bool gone = false;
    // A report the kernel is still holding (a hidraw write may take up to 5 s and nothing
    // shortens it): it runs on its own thread so the link waits no longer than its write
    // timeout. While it is under way no other hidapi call touches the device.
    std::future<int> writing;
    std::unique_ptr<OwnerLock> owner;

    // Waits at most `wait` for a report left under way by an earlier write; true once none
    // is. Its outcome was already answered (WriteTimedOut); an unplug shows with the next read.
    bool finishWrite(std::chrono::milliseconds wait) {
        if (!writing.valid()) {
            return true;
        }
        if (writing.wait_for(wait) != std::future_status::ready) {
            return false;
        }
        writing.get();
        return true;
    }
};

Cp2110Bridge::Cp2110Bridge(NodeAccessCheck accessCheck, MillisecondClock clock)
    : accessCheck_(accessCheck), clock_(clock) {
    if (hidUsers.fetch_add(1) == 0) {
        hid_init();
    }
}

Cp2110Bridge::~Cp2110Bridge() {
    for (const auto& device : open_) {
        if (device->writing.valid()) {
            device->writing.wait();
        }
        if (!device->gone) {
            sendFeature(device->hid.get(), UartEnableReport, UartDisabled);
        }
    }
    open_.clear();
    if (hidUsers.fetch_sub(1) == 1) {
        hid_exit();
    }
}

std::vector<Cp2110Bridge::Entry> Cp2110Bridge::enumerate(uint16_t vid, uint16_t pid) const {
    std::vector<Entry> entries;
    const EnumerationPtr list(hid_enumerate(vid, pid));
    // hidapi lists a device once per top-level usage: keep the first entry of each path.
    for (const hid_device_info* info = list.get(); info != nullptr; info = info->next) {
        if (info->path == nullptr || info->path[0] == '\0') {
            continue;
        }
        const std::string path(info->path);
        const bool seen = std::any_of(entries.begin(), entries.end(),
                                      [&](const Entry& entry) { return entry.path == path; });
        if (!seen) {
            entries.push_back(
                Entry{path, narrow(info->product_string), info->vendor_id, info->product_id});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return naturalLess(a.path, b.path); });
    return entries;
}

Cp2110Bridge::OpenDevice* Cp2110Bridge::find(BridgeHandle handle) const {
    for (const auto& device : open_) {
        if (device.get() == handle) {
            return device.get();
        }
    }
    return nullptr;
}

std::vector<HidDeviceInfo> Cp2110Bridge::listDevices() {
    snapshot_ = enumerate(0, 0);
    std::vector<HidDeviceInfo> devices;
    devices.reserve(snapshot_.size());
    for (std::size_t i = 0; i < snapshot_.size(); ++i) {
        const Entry& entry = snapshot_[i];
        devices.push_back(
            HidDeviceInfo{static_cast<uint32_t>(i), entry.path, entry.product, entry.vendorId,
                          entry.productId, accessCheck_(entry.path) != NodeAccess::Denied,
                          entry.vendorId == BridgeVendorId && entry.productId == BridgeProductId &&
                              entry.product.find("CP2110") == std::string::npos});
    }
    return devices;
}

BridgeStatus Cp2110Bridge::HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid) {
    if (numDevices == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    snapshot_ = enumerate(vid, pid);
    *numDevices = static_cast<uint32_t>(snapshot_.size());
    return BridgeStatusCode::Success;
}

BridgeStatus Cp2110Bridge::HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t,
                                             char* deviceString, uint32_t options) {
    if (deviceString == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    deviceString[0] = '\0';
    if (deviceNum >= snapshot_.size()) {
        return BridgeStatusCode::DeviceNotFound;
    }
    const Entry& entry = snapshot_[deviceNum];
    if (options == BridgeStringOption::Product) {
        copyString(deviceString, entry.product);
    } else if (options == BridgeStringOption::Path) {
        copyString(deviceString, entry.path);
    } else {
        return BridgeStatusCode::InvalidParameter;
    }
    return BridgeStatusCode::Success;
}

BridgeStatus Cp2110Bridge::HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t,
                                        uint16_t) {
    if (device == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *device = nullptr;
    if (deviceNum >= snapshot_.size()) {
        return BridgeStatusCode::DeviceNotFound;
    }
    const Entry& entry = snapshot_[deviceNum];
    problem_ = {};
    // Nothing touches a bridge another Kestrun process owns: its purge or disable would act on
    // the chip under that process.
    std::unique_ptr<OwnerLock> owner = OwnerLock::acquire(entry.path, problem_.text);
    if (!owner) {
        problem_.inUse = true;
        return BridgeStatusCode::DeviceAccessError;
    }
    HidDevicePtr hid(hid_open_path(entry.path.c_str()));
    if (!hid) {
        switch (accessCheck_(entry.path)) {
        case NodeAccess::Denied:
            return BridgeStatusCode::DeviceAccessError;
        case NodeAccess::Missing:
            return BridgeStatusCode::DeviceNotFound;
        case NodeAccess::Granted:
            break;
        }
        return BridgeStatusCode::DeviceIoFailed;
    }
    // The chip's UART is off until enabled; enabling it is the UART's open. The chip keeps the
    // configuration the last program gave it, so ours is set every time. The purge empties the
    // chip's FIFOs, but the kernel began queueing reports in this handle when the node was
    // opened: those are read and dropped, so no stale byte reaches the first exchange.
    const UartConfig wanted = uartConfig(baud_);
    if (!sendFeature(hid.get(), UartEnableReport, UartEnabled) ||
        hid_send_feature_report(hid.get(), wanted.data(), wanted.size()) < 0 ||
        !sendFeature(hid.get(), PurgeFifosReport, PurgeBoth)) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    std::array<uint8_t, ReportSize> stale{};
    for (int i = 0; i < MaxStaleReports; ++i) {
        if (hid_read_timeout(hid.get(), stale.data(), stale.size(), 0) <= 0) {
            break;
        }
    }
    UartConfig read{UartConfigReport};
    if (hid_get_feature_report(hid.get(), read.data(), read.size()) !=
            static_cast<int>(read.size()) ||
        read != wanted) {
        std::string text = ConfigNotTaken;
        text.replace(text.find("%1"), 2, std::to_string(baud_));
        problem_.text = entry.path + text;
        sendFeature(hid.get(), UartEnableReport, UartDisabled);
        return BridgeStatusCode::DeviceIoFailed;
    }
    auto opened = std::make_unique<OpenDevice>();
    opened->hid = std::move(hid);
    opened->path = entry.path;
    opened->product = entry.product;
    opened->owner = std::move(owner);
    *device = opened.get();
    open_.push_back(std::move(opened));
    return BridgeStatusCode::Success;
}

BridgeStatus Cp2110Bridge::HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                               uint32_t writeTimeout) {
    OpenDevice* opened = find(device);
    if (opened == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    opened->readTimeout = readTimeout;
    opened->writeTimeout = writeTimeout;
    return BridgeStatusCode::Success;
}

BridgeStatus Cp2110Bridge::HidUart_Read(BridgeHandle device, uint8_t* buffer,
                                        uint32_t numBytesToRead, uint32_t* numBytesRead) {
    if (numBytesRead == nullptr || (buffer == nullptr && numBytesToRead > 0)) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesRead = 0;
    OpenDevice* opened = find(device);
    if (opened == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    uint32_t got = 0;
    auto take = [&](const uint8_t* bytes, std::size_t count) {
        const std::size_t n = std::min<std::size_t>(count, numBytesToRead - got);
        std::copy_n(bytes, n, buffer + got);
        got += static_cast<uint32_t>(n);
        return n;
    };

    // The remainder of a report that did not fit last time comes first.
    opened->heldBegin +=
        take(opened->held.data() + opened->heldBegin, opened->heldEnd - opened->heldBegin);

    // While a report is still under way its thread has the device: what arrives meanwhile stays
    // queued in the kernel for a later read.
    const bool free = opened->finishWrite(std::chrono::milliseconds(0));
    const uint64_t deadline = clock_() + opened->readTimeout;
    for (int reports = 0;
         free && !opened->gone && got < numBytesToRead && reports < MaxReportsPerRead; ++reports) {
        const uint64_t now = clock_();
        const int wait = now >= deadline ? 0
                                         : static_cast<int>(std::min<uint64_t>(
                                               deadline - now, static_cast<uint64_t>(INT_MAX)));
        std::array<uint8_t, ReportSize> report{};
        const int length = hid_read_timeout(opened->hid.get(), report.data(), report.size(), wait);
        if (length < 0) {
            opened->gone = true;
            break;
        }
        if (length == 0) {
            break; // nothing more arrived within the read timeout
        }
        // A UART data report's id is its data count; anything else is not UART data. A report
        // shorter than its id claims carries only the bytes that are there.
        const std::size_t claimed = report[0];
        if (claimed == 0 || claimed > MaxReportData) {
            continue;
        }
        const std::size_t available =
            std::min(claimed, std::min(static_cast<std::size_t>(length), report.size()) - 1);
        const std::size_t used = take(report.data() + 1, available);
        if (used < available) {
            std::copy(report.begin() + 1 + static_cast<std::ptrdiff_t>(used),
                      report.begin() + 1 + static_cast<std::ptrdiff_t>(available),
                      opened->held.begin());
            opened->heldBegin = 0;
            opened->heldEnd = available - used;
        }
    }
    if (opened->heldBegin == opened->heldEnd) {
        opened->heldBegin = opened->heldEnd = 0;
    }
    *numBytesRead = got;
    if (opened->gone && got == 0) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    return got == numBytesToRead ? BridgeStatusCode::Success : BridgeStatusCode::ReadTimedOut;
}

BridgeStatus Cp2110Bridge::HidUart_Write(BridgeHandle device, const uint8_t* buffer,
                                         uint32_t numBytesToWrite, uint32_t* numBytesWritten) {
    if (numBytesWritten == nullptr || (buffer == nullptr && numBytesToWrite > 0)) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesWritten = 0;
    OpenDevice* opened = find(device);
    if (opened == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (opened->gone) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    // A hidraw write is an interrupt transfer the kernel may hold for up to 5 s, and nothing
    // shortens one once started. Each report therefore goes out on a thread of its own, and the
    // write waits for it only as long as the write timeout has left: a stuck bus ends in
    // WriteTimedOut instead of a frozen window, and the report finishes in the background.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(opened->writeTimeout);
    const auto left = [&] {
        return std::max(duration_cast<milliseconds>(deadline - steady_clock::now()),
                        milliseconds(0));
    };
    if (!opened->finishWrite(left())) {
        return BridgeStatusCode::WriteTimedOut;
    }
    uint32_t sent = 0;
    while (sent < numBytesToWrite) {
        const auto count =
            static_cast<uint8_t>(std::min<std::size_t>(numBytesToWrite - sent, MaxReportData));
        std::array<uint8_t, ReportSize> report{};
        report[0] = count;
        std::copy_n(buffer + sent, count, report.begin() + 1);
        try {
            opened->writing = std::async(std::launch::async, [hid = opened->hid.get(), report] {
                return hid_write(hid, report.data(), report[0] + std::size_t{1});
            });
        } catch (const std::system_error&) {
            return BridgeStatusCode::WriteError; // no thread to be had
        }
        if (opened->writing.wait_for(left()) != std::future_status::ready) {
            return BridgeStatusCode::WriteTimedOut;
        }
        if (opened->writing.get() < 0) {
            return BridgeStatusCode::WriteError;
        }
        sent += count;
        *numBytesWritten = sent;
    }
    return BridgeStatusCode::Success;
}

BridgeStatus Cp2110Bridge::HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                                   uint32_t options) {
    if (deviceString == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    deviceString[0] = '\0';
    const OpenDevice* opened = find(device);
    if (opened == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (options == BridgeStringOption::Path) {
        copyString(deviceString, opened->path);
    } else if (options == BridgeStringOption::Product) {
        copyString(deviceString, opened->product);
    } else {
        return BridgeStatusCode::InvalidParameter;
    }
    return BridgeStatusCode::Success;
}

BridgeStatus Cp2110Bridge::HidUart_Close(BridgeHandle device) {
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [&](const auto& opened) { return opened.get() == device; });
    if (it == open_.end()) {
        return BridgeStatusCode::InvalidHandle;
    }
    // Disabling the UART is its close; after an unplug it fails, which changes nothing. A
    // report still under way has the device until it ends (an unplug ends it at once).
    if ((*it)->writing.valid()) {
        (*it)->writing.wait();
    }
    if (!(*it)->gone) {
        sendFeature((*it)->hid.get(), UartEnableReport, UartDisabled);
    }
    open_.erase(it);
    return BridgeStatusCode::Success;
}

} // namespace kestrun
