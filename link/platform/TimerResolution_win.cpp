#include "link/platform/TimerResolution.h"

#include <windows.h>

#include <timeapi.h>

namespace kestrun {

FineTimerResolution::FineTimerResolution() : granted_(::timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimerResolution::~FineTimerResolution() {
    if (granted_) {
        ::timeEndPeriod(1);
    }
}

} // namespace kestrun
