// The setup window's own link timer, measured: the window is built and started as the program
// starts it, with the simulated controller attached; each tick of its timer reads the bridge
// once, so the time of each read is the time of each tick.

#include "sim/SimBridge.h"
#include "ui/CKestrunView.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

using namespace kestrun;

namespace {

constexpr std::size_t WarmUpTicks = 10;
constexpr std::size_t MeasuredTicks = 2000;

// The simulated bridge, noting the time of every read.
class TimingBridge : public BridgeLibrary {
public:
    explicit TimingBridge(sim::SimBridge& inner) : inner_(inner) {
        stamps.reserve(WarmUpTicks + MeasuredTicks + 1);
    }
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t count,
                              uint32_t* read) override {
        if (stamps.size() < stamps.capacity()) {
            stamps.push_back(std::chrono::steady_clock::now());
            if (stamps.size() == stamps.capacity()) {
                QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            }
        }
        return inner_.HidUart_Read(device, buffer, count, read);
    }
    BridgeStatus HidUart_GetNumDevices(uint32_t* n, uint16_t vid, uint16_t pid) override {
        return inner_.HidUart_GetNumDevices(n, vid, pid);
    }
    BridgeStatus HidUart_GetString(uint32_t index, uint16_t vid, uint16_t pid, char* text,
                                   uint32_t options) override {
        return inner_.HidUart_GetString(index, vid, pid, text, options);
    }
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t index, uint16_t vid,
                              uint16_t pid) override {
        return inner_.HidUart_Open(device, index, vid, pid);
    }
    BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t r, uint32_t w) override {
        return inner_.HidUart_SetTimeouts(device, r, w);
    }
    BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer, uint32_t count,
                               uint32_t* written) override {
        return inner_.HidUart_Write(device, buffer, count, written);
    }
    BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* text,
                                         uint32_t options) override {
        return inner_.HidUart_GetOpenedString(device, text, options);
    }
    BridgeStatus HidUart_Close(BridgeHandle device) override {
        return inner_.HidUart_Close(device);
    }

    std::vector<std::chrono::steady_clock::time_point> stamps;

private:
    sim::SimBridge& inner_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SettingsRecord record = StartRecord;
    sim::SimBridge sim;
    TimingBridge bridge(sim);
    CKestrunView view(record, bridge, nullptr);
    view.resize(624, 782);
    view.show();
    view.OnInitialUpdate();
    // The link ticks only while an exchange is pending; the bench times the timer itself, so it
    // runs it from the start, idle.
    view.linkTimer().start();
    app.exec();

    std::vector<double> periods;
    for (std::size_t i = WarmUpTicks + 1; i < bridge.stamps.size(); ++i) {
        periods.push_back(
            std::chrono::duration<double, std::milli>(bridge.stamps[i] - bridge.stamps[i - 1])
                .count());
    }
    if (periods.size() != MeasuredTicks) {
        std::printf("tick accuracy: only %zu ticks seen\n", periods.size());
        return 1;
    }
    const double mean =
        std::accumulate(periods.begin(), periods.end(), 0.0) / static_cast<double>(periods.size());
    std::vector<double> sorted = periods;
    std::sort(sorted.begin(), sorted.end());
    auto percentile = [&](double p) {
        return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
    };
    std::printf("tick accuracy of the window's timer over %zu ticks: mean %.3f ms (%+.2f %% from "
                "5.00, goal within 2 %%), median %.3f ms, 99th percentile %.3f ms, largest "
                "%.3f ms\n",
                periods.size(), mean, (mean - 5.0) / 5.0 * 100.0, percentile(0.5), percentile(0.99),
                sorted.back());
    return 0;
}
