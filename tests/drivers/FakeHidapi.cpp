#include "tests/drivers/FakeHidapi.h"

#include <hidapi.h>

#include <algorithm>
#include <cstring>
#include <memory>

struct hid_device_ {
    std::string path;
};

namespace fakehid {
namespace {

std::vector<std::unique_ptr<Device>> devices;
uint64_t clock = 0;
int enumerations = 0;

Device* presentDevice(const hid_device* handle) {
    if (handle == nullptr) {
        return nullptr;
    }
    Device* found = device(handle->path);
    return found != nullptr && found->present ? found : nullptr;
}

char* copyText(const std::string& text) {
    char* out = new char[text.size() + 1];
    std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

wchar_t* copyText(const std::wstring& text) {
    wchar_t* out = new wchar_t[text.size() + 1];
    std::wmemcpy(out, text.c_str(), text.size() + 1);
    return out;
}

} // namespace

void reset() {
    devices.clear();
    clock = 0;
    enumerations = 0;
}

Device& addDevice(const std::string& path, const std::wstring& product) {
    devices.push_back(std::make_unique<Device>());
    devices.back()->path = path;
    devices.back()->product = product;
    return *devices.back();
}

Device* device(const std::string& path) {
    for (const auto& d : devices) {
        if (d->path == path) {
            return d.get();
        }
    }
    return nullptr;
}

void unplug(const std::string& path) {
    if (Device* d = device(path)) {
        d->present = false;
        d->inputReports.clear();
    }
}

void replug(const std::string& path) {
    if (Device* d = device(path)) {
        d->present = true;
        d->uartEnabled = false;
    }
}

void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::size_t perReport) {
    Device* d = device(path);
    if (d == nullptr || !d->present || !d->uartEnabled) {
        return;
    }
    perReport = std::clamp<std::size_t>(perReport, 1, 63);
    for (std::size_t at = 0; at < bytes.size(); at += perReport) {
        const std::size_t n = std::min(perReport, bytes.size() - at);
        std::vector<uint8_t> report{static_cast<uint8_t>(n)};
        report.insert(report.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        d->inputReports.push_back(std::move(report));
    }
}

void queueRawReport(const std::string& path, std::vector<uint8_t> report) {
    if (Device* d = device(path)) {
        d->inputReports.push_back(std::move(report));
    }
}

uint64_t clockMs() {
    return clock;
}

int liveEnumerations() {
    return enumerations;
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

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    // First one entry per device in the order plugged in, then the extra listings, as hidapi
    // does for a device with several top-level usages.
    std::vector<const Device*> listed;
    int round = 0;
    bool more = true;
    while (more) {
        more = false;
        for (const auto& d : fakehid::devices) {
            const bool matches = (vendor_id == 0 || vendor_id == d->vendorId) &&
                                 (product_id == 0 || product_id == d->productId);
            if (d->present && matches && d->listings > round) {
                listed.push_back(d.get());
                more = true;
            }
        }
        ++round;
    }
    hid_device_info* head = nullptr;
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        auto* info = new hid_device_info{};
        info->path = fakehid::copyText((*it)->path);
        info->vendor_id = (*it)->vendorId;
        info->product_id = (*it)->productId;
        info->product_string = (*it)->hasProduct ? fakehid::copyText((*it)->product) : nullptr;
        info->next = head;
        head = info;
    }
    if (head != nullptr) {
        ++fakehid::enumerations;
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    if (devs != nullptr) {
        --fakehid::enumerations;
    }
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        delete[] devs->path;
        delete[] devs->product_string;
        delete devs;
        devs = next;
    }
}

hid_device* hid_open_path(const char* path) {
    Device* d = path != nullptr ? fakehid::device(path) : nullptr;
    if (d == nullptr || !d->present || d->denied || d->openFails) {
        return nullptr;
    }
    ++d->openHandles;
    return new hid_device{d->path};
}

void hid_close(hid_device* dev) {
    if (dev == nullptr) {
        return;
    }
    if (Device* d = fakehid::device(dev->path)) {
        --d->openHandles;
    }
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    Device* d = fakehid::presentDevice(dev);
    if (d == nullptr || d->writeFails || data == nullptr || length == 0) {
        return -1;
    }
    fakehid::clock += d->writeDelayMs;
    d->outputReports.emplace_back(data, data + length);
    const std::size_t id = data[0];
    if (id < 1 || id > 63 || length != id + 1) {
        ++d->malformedReports;
        return -1;
    }
    if (d->uartEnabled) {
        d->uartOut.insert(d->uartOut.end(), data + 1, data + length);
    }
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int) {
    Device* d = fakehid::presentDevice(dev);
    if (d == nullptr || data == nullptr) {
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

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
    return hid_read_timeout(dev, data, length, 0);
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    Device* d = fakehid::presentDevice(dev);
    if (d == nullptr || d->featureFails || data == nullptr || length < 2) {
        return -1;
    }
    d->featureReports.emplace_back(data, data + length);
    if (data[0] == 0x41) {
        d->uartEnabled = data[1] == 0x01;
        if (d->uartEnabled) {
            d->inputReports.clear(); // enabling purges the FIFOs
        }
    } else if (data[0] == 0x43 && (data[1] & 0x02) != 0) {
        d->inputReports.clear();
    }
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    Device* d = fakehid::presentDevice(dev);
    if (d == nullptr || data == nullptr || length < 2) {
        return -1;
    }
    if (data[0] == 0x41) {
        data[1] = d->uartEnabled ? 1 : 0;
        return 2;
    }
    return -1;
}

const wchar_t* hid_error(hid_device*) {
    return L"fake hidapi error";
}

} // extern "C"
