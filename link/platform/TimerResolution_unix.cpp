#include "link/platform/TimerResolution.h"

namespace kestrun {

// Linux timers are fine-grained already (high-resolution timers, no global tick to change).
FineTimerResolution::FineTimerResolution() = default;
FineTimerResolution::~FineTimerResolution() = default;

} // namespace kestrun
