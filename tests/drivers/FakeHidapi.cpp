#include "tests/drivers/FakeHidapi.h"

#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <utility>

struct hid_device_ {
    fakehid::Device* device;
    std::deque<std::vector<uint8_t>> queue; // what the kernel holds for this handle
};

namespace fakehid {
namespace {

constexpr std::size_t KernelQueueLimit = 64;
constexpr std::size_t ChipFifoSize = 480;

std::list<Device> devices; // a list: handles keep pointing at their device
std::list<hid_device*> handles;
std::recursive_mutex mutex;
std::condition_variable_any unplugged;
using Lock = std::unique_lock<std::recursive_mutex>;

// A handle on an unplugged device fails every call, as on hidraw.
Device* present(const hid_device* handle) {
    return handle != nullptr && handle->device->present ? handle->device : nullptr;
}

template <class Char>
Char* copyText(const std::basic_string<Char>& text) {
    auto* out = new Char[text.size() + 1];
    std::copy_n(text.c_str(), text.size() + 1, out);
    return out;
}

void queueReport(Device& d, const std::vector<uint8_t>& report) {
    for (hid_device* handle : handles) {
        if (handle->device != &d) {
            continue;
        }
        if (handle->queue.size() < KernelQueueLimit) { // newer reports are dropped
            handle->queue.push_back(report);
        }
    }
}

void sendAsReports(Device& d, const std::vector<uint8_t>& bytes, std::size_t perReport) {
    for (std::size_t at = 0; at < bytes.size(); at += perReport) {
        const std::size_t n = std::min(perReport, bytes.size() - at);
        std::vector<uint8_t> report{static_cast<uint8_t>(n)};
        report.insert(report.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        queueReport(d, report);
    }
}

} // namespace

void reset() {
    const Lock lock(mutex);
    devices.clear();
}

Device& addDevice(const std::string& path, const std::wstring& product) {
    const Lock lock(mutex);
    Device& d = devices.emplace_back();
    d.path = path;
    d.product = product;
    return d;
}

Device* device(const std::string& path) {
    const auto it = std::find_if(devices.begin(), devices.end(),
                                 [&](const Device& d) { return d.path == path; });
    return it == devices.end() ? nullptr : &*it;
}

void plug(const std::string& path, bool in) {
    const Lock lock(mutex);
    Device& d = *device(path);
    d.present = in;
    d.uartEnabled = false;
    d.uartConfig = PowerUpConfig;
    d.fifo.clear();
    for (hid_device* handle : handles) {
        if (handle->device == &d) {
            handle->queue.clear();
        }
    }
    unplugged.notify_all();
}

void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::size_t perReport) {
    const Lock lock(mutex);
    Device& d = *device(path);
    if (!d.present || !d.uartEnabled) {
        return;
    }
    if (d.openHandles == 0) {
        d.fifo.insert(d.fifo.end(), bytes.begin(), bytes.end());
        d.fifo.resize(std::min(d.fifo.size(), ChipFifoSize));
        return;
    }
    sendAsReports(d, bytes, std::clamp<std::size_t>(perReport, 1, 63));
}

void deliver(const std::string& path, const std::vector<uint8_t>& report) {
    const Lock lock(mutex);
    queueReport(*device(path), report);
}

uint64_t clockMs() {
    return 0;
}

kestrun::NodeAccess nodeAccess(const std::string& path) {
    const Device* d = device(path);
    if (d == nullptr || !d->present) {
        return kestrun::NodeAccess::Missing;
    }
    return d->denied ? kestrun::NodeAccess::Denied : kestrun::NodeAccess::Granted;
}

} // namespace fakehid

using fakehid::Device;
using fakehid::Lock;

extern "C" {

int hid_init(void) {
    return 0;
}

int hid_exit(void) {
    return 0;
}

// The link always asks for every device (ids 0). Each device is listed once in the order
// plugged in, then again for each further top-level usage: duplicates are not neighbours.
hid_device_info* hid_enumerate(unsigned short, unsigned short) {
    const Lock lock(fakehid::mutex);
    std::vector<const Device*> listed;
    for (int round = 0; round < 4; ++round) {
        for (const Device& d : fakehid::devices) {
            if (d.present && d.listings > round) {
                listed.push_back(&d);
            }
        }
    }
    hid_device_info* head = nullptr;
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        auto* info = new hid_device_info{};
        info->path = fakehid::copyText((*it)->path);
        info->vendor_id = (*it)->vendorId;
        info->product_id = (*it)->productId;
        info->product_string = (*it)->hasProduct ? fakehid::copyText((*it)->product) : nullptr;
        info->next = std::exchange(head, info);
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    while (devs != nullptr) {
        delete[] devs->path;
        delete[] devs->product_string;
        delete std::exchange(devs, devs->next);
    }
}

hid_device* hid_open_path(const char* path) {
    const Lock lock(fakehid::mutex);
    Device* d = fakehid::device(path);
    if (d == nullptr || !d->present || d->denied || d->openFails) {
        return nullptr;
    }
    ++d->openHandles;
    auto* handle = new hid_device{d, {}};
    fakehid::handles.push_back(handle);
    // Opening starts the kernel polling the chip: what its FIFO held arrives at once.
    fakehid::sendAsReports(*d, std::exchange(d->fifo, {}), 63);
    return handle;
}

void hid_close(hid_device* dev) {
    const Lock lock(fakehid::mutex);
    --dev->device->openHandles;
    fakehid::handles.remove(dev);
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    Lock lock(fakehid::mutex);
    Device* d = fakehid::present(dev);
    if (d == nullptr) {
        return -1;
    }
    d->outputReports.emplace_back(data, data + length);
    // The chip takes only a data report whose id is its data count, 1 to 63, sent as id + data
    // or padded to the full 64 bytes.
    if (length < 2 || data[0] == 0 || data[0] > 63 ||
        (length != data[0] + std::size_t{1} && length != 64)) {
        return -1;
    }
    if (d->writeBlockMs > 0 &&
        fakehid::unplugged.wait_for(lock, std::chrono::milliseconds(d->writeBlockMs),
                                    [d] { return !d->present; })) {
        return -1; // the transfer ended with the device
    }
    if (d->uartEnabled) {
        d->uartOut.insert(d->uartOut.end(), data + 1, data + 1 + data[0]);
    }
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int) {
    const Lock lock(fakehid::mutex);
    if (fakehid::present(dev) == nullptr) {
        return -1;
    }
    if (dev->queue.empty()) {
        return 0;
    }
    const std::vector<uint8_t> report = std::move(dev->queue.front());
    dev->queue.pop_front();
    const std::size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    const Lock lock(fakehid::mutex);
    Device* d = fakehid::present(dev);
    if (d == nullptr || d->featureFails || length < 2) {
        return -1;
    }
    d->featureReports.emplace_back(data, data + length);
    if (data[0] == 0x41) {
        d->uartEnabled = data[1] == 0x01;
    }
    if (data[0] == 0x50 && length == d->uartConfig.size() && d->configSticks) {
        d->uartConfig.assign(data, data + length);
    }
    // Enabling the UART purges the chip's FIFOs, as does a purge of the receive side; neither
    // reaches what the kernel already queued in a handle.
    if ((data[0] == 0x41 && d->uartEnabled) || (data[0] == 0x43 && (data[1] & 0x02) != 0)) {
        d->fifo.clear();
    }
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    const Lock lock(fakehid::mutex);
    Device* d = fakehid::present(dev);
    if (d == nullptr || d->featureFails || length < 1 || data[0] != 0x50) {
        return -1;
    }
    const std::size_t n = std::min(length, d->uartConfig.size());
    std::memcpy(data, d->uartConfig.data(), n);
    return static_cast<int>(n);
}

} // extern "C"
