// How fast the link works: the upgrade's pace in ticks per line with a boot loader that
// answers within the tick, the same in lines per second under a real 5 ms timer (and under a
// 16 ms one, the resolution of a default desktop timer), and the Get Data round trip in ticks.

#include "bench/BenchRig.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

using namespace kestrun;
using namespace kestrun::bench;

namespace {

std::string cpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            return line.substr(line.find(':') + 2);
        }
    }
    return "unknown";
}

/// Ticks per line of a whole upload, counted from the tick that sends the first line to the
/// tick that takes the boot loader's final 0x01.
void upgradePacingInTicks() {
    constexpr std::size_t dataLines = 4096;
    const std::string path = writeUpgradeFile(dataLines);
    BenchRig rig;
    rig.sim.controller().bootLoader().options().answerDelayTicks = 0;
    rig.upload.SelectUpgradeFile(path);
    rig.upload.StartUpgrade();
    long tick = 0;
    long firstLine = -1;
    while (rig.host.finished == 0 && tick < 100000) {
        rig.engine.LinkTick();
        ++tick;
        if (firstLine < 0 && rig.engine.linkState() == LinkState::Uploading) {
            firstLine = tick;
        }
    }
    const std::size_t lines = dataLines + 1;
    std::printf("upgrade pacing: %zu lines in %ld ticks = %.2f ticks per line (goal 1.00)\n", lines,
                tick - firstLine + 1,
                static_cast<double>(tick - firstLine + 1) / static_cast<double>(lines));
    std::filesystem::remove(path);
}

/// Lines per second of an upload driven by a QTimer of `intervalMs`, as the window drives it.
double linesPerSecond(QCoreApplication& app, int intervalMs, Qt::TimerType type,
                      std::size_t dataLines) {
    const std::string path = writeUpgradeFile(dataLines);
    BenchRig rig;
    rig.sim.controller().bootLoader().options().answerDelayTicks = 0;
    rig.upload.SelectUpgradeFile(path);
    std::chrono::steady_clock::time_point firstLine{}, done{};
    QTimer timer;
    timer.setTimerType(type);
    timer.setInterval(intervalMs);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        rig.engine.LinkTick();
        if (firstLine == std::chrono::steady_clock::time_point{} &&
            rig.engine.linkState() == LinkState::Uploading) {
            firstLine = std::chrono::steady_clock::now();
        }
        if (rig.host.finished > 0) {
            done = std::chrono::steady_clock::now();
            timer.stop();
            app.quit();
        }
    });
    rig.upload.StartUpgrade();
    timer.start();
    app.exec();
    std::filesystem::remove(path);
    const double seconds = std::chrono::duration<double>(done - firstLine).count();
    return static_cast<double>(dataLines) / seconds; // the first line went out at firstLine
}

/// Processor time of a 5 ms precise timer that does nothing: the least a program that ticks
/// every 5 ms costs on this machine, whatever the tick does.
double bareTimerLoad(QCoreApplication& app, int seconds) {
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    const std::clock_t before = std::clock();
    timer.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    return static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC / seconds * 100.0;
}

/// Ticks from the click on Get Data to "Data Received" with a controller that answers at once.
void getDataRoundTrip() {
    BenchRig rig;
    int least = 1 << 30, most = 0;
    long total = 0;
    constexpr int trips = 1000;
    for (int i = 0; i < trips; ++i) {
        rig.host.status = "---";
        rig.exchange.GetData();
        int ticks = 0;
        while (rig.host.status != ExchangeText::DataReceived && ticks < 5000) {
            rig.engine.LinkTick();
            ++ticks;
        }
        least = std::min(least, ticks);
        most = std::max(most, ticks);
        total += ticks;
    }
    std::printf("get data round trip: %.2f ticks on average (least %d, most %d) over %d trips "
                "(goal 1 or 2)\n",
                static_cast<double>(total) / trips, least, most, trips);
}

} // namespace

int main(int argc, char** argv) {
    std::printf("machine: %u threads (nproc), %s\n", std::thread::hardware_concurrency(),
                cpuModel().c_str());
    upgradePacingInTicks();
    getDataRoundTrip();
    QCoreApplication app(argc, argv);
    const double precise = linesPerSecond(app, 5, Qt::PreciseTimer, 1000);
    std::printf("upgrade with a 5 ms precise timer: %.1f lines per second (goal >= 190)\n",
                precise);
    const double coarse = linesPerSecond(app, 16, Qt::CoarseTimer, 150);
    std::printf("upgrade with a 16 ms timer, for comparison: %.1f lines per second (64 expected "
                "at a 15.6 ms resolution)\n",
                coarse);
    std::printf("a bare 5 ms precise timer that does nothing: %.2f %% of one core (the floor "
                "of any idle cost with this timer here)\n",
                bareTimerLoad(app, 10));
    return 0;
}
