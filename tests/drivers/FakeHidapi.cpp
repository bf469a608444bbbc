#include "tests/drivers/FakeHidapi.h"

#include <hidapi.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <utility>

struct hid_device_ {
    fakehid::Device* device;
};

namespace fakehid {
namespace {

std::list<Device> devices; // a list: handles keep pointing at their device
uint64_t clock = 0;

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

} // namespace

void reset() {
    devices.clear();
    clock = 0;
}

Device& addDevice(const std::string& path, const std::wstring& product) {
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
    Device& d = *device(path);
    d.present = in;
    d.uartEnabled = false;
    d.inputReports.clear();
}

void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::size_t perReport) {
    Device& d = *device(path);
    perReport = std::clamp<std::size_t>(perReport, 1, 63);
    for (std::size_t at = 0; d.present && d.uartEnabled && at < bytes.size(); at += perReport) {
        const std::size_t n = std::min(perReport, bytes.size() - at);
        std::vector<uint8_t> report{static_cast<uint8_t>(n)};
        report.insert(report.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        d.inputReports.push_back(std::move(report));
    }
}

uint64_t clockMs() {
    return clock;
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
    Device* d = fakehid::device(path);
    if (d == nullptr || !d->present || d->denied || d->openFails) {
        return nullptr;
    }
    ++d->openHandles;
    return new hid_device{d};
}

void hid_close(hid_device* dev) {
    --dev->device->openHandles;
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    Device* d = fakehid::present(dev);
    if (d == nullptr || d->writeFails) {
        return -1;
    }
    fakehid::clock += d->writeDelayMs;
    d->outputReports.emplace_back(data, data + length);
    // The chip takes only a data report whose id is its data count, 1 to 63.
    if (length < 2 || data[0] > 63 || length != data[0] + std::size_t{1}) {
        return -1;
    }
    if (d->uartEnabled) {
        d->uartOut.insert(d->uartOut.end(), data + 1, data + length);
    }
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int) {
    Device* d = fakehid::present(dev);
    if (d == nullptr) {
        return -1;
    }
    if (d->inputReports.empty()) {
        return 0;
    }
    const std::vector<uint8_t> report = std::move(d->inputReports.front());
    d->inputReports.pop_front();
    const std::size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    Device* d = fakehid::present(dev);
    if (d == nullptr || d->featureFails || length < 2) {
        return -1;
    }
    d->featureReports.emplace_back(data, data + length);
    if (data[0] == 0x41) {
        d->uartEnabled = data[1] == 0x01;
    }
    // Enabling the UART purges the FIFOs, as does a purge of the receive side.
    if ((data[0] == 0x41 && d->uartEnabled) || (data[0] == 0x43 && (data[1] & 0x02) != 0)) {
        d->inputReports.clear();
    }
    return static_cast<int>(length);
}

} // extern "C"
