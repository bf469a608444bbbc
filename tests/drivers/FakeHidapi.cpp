#include "tests/drivers/FakeHidapi.h"

#include <hidapi.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

using fakehid::Device;
using fakehid::Lock;

// A handle is its device; on an unplugged device it fails every call, as on hidraw.
static Device* present(hid_device* handle) {
    auto* d = reinterpret_cast<Device*>(handle);
    return d != nullptr && d->present ? d : nullptr;
}

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
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (int round = 0; round < 4; ++round) {
        for (const Device& d : fakehid::devices) {
            if (d.present && d.listings > round) {
                *tail = new hid_device_info{};
                (*tail)->path = ::strdup(d.path.c_str());
                (*tail)->vendor_id = d.vendorId;
                (*tail)->product_id = d.productId;
                (*tail)->product_string = d.product ? ::wcsdup(d.product->c_str()) : nullptr;
                tail = &(*tail)->next;
            }
        }
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    while (devs != nullptr) {
        std::free(devs->path);
        std::free(devs->product_string);
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
    // Opening starts the kernel polling the chip: what its FIFO held arrives at once.
    fakehid::sendAsReports(*d, std::exchange(d->fifo, {}), 63);
    return reinterpret_cast<hid_device*>(d);
}

void hid_close(hid_device* dev) {
    const Lock lock(fakehid::mutex);
    auto* d = reinterpret_cast<Device*>(dev);
    if (--d->openHandles == 0) {
        d->queue.clear();
    }
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    Lock lock(fakehid::mutex);
    Device* d = present(dev);
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
    Device* d = present(dev);
    if (d == nullptr || d->queue.empty()) {
        return d == nullptr ? -1 : 0;
    }
    const std::size_t n = std::min(length, d->queue.front().size());
    std::memcpy(data, d->queue.front().data(), n);
    d->queue.pop_front();
    return static_cast<int>(n);
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    const Lock lock(fakehid::mutex);
    Device* d = present(dev);
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
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    const Lock lock(fakehid::mutex);
    Device* d = present(dev);
    if (d == nullptr || d->featureFails || length < 1 || data[0] != 0x50) {
        return -1;
    }
    const std::size_t n = std::min(length, d->uartConfig.size());
    std::memcpy(data, d->uartConfig.data(), n);
    return static_cast<int>(n);
}

} // extern "C"
