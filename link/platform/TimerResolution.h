#pragma once
// The link's 5 ms tick needs a fine system timer. Windows' default timer tick is 15.6 ms, which
// would stretch every 5 ms wait to about 15 ms: every "5 s" limit would take 15 s and an upgrade
// three times as long. While an object of this class lives, Windows is asked for 1 ms timer
// resolution (and given it back when it goes); Linux needs nothing.

namespace kestrun {

class FineTimerResolution {
public:
    FineTimerResolution();
    ~FineTimerResolution();
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

private:
    [[maybe_unused]] bool granted_ = false; ///< Windows: the 1 ms request was taken
};

} // namespace kestrun
