#include "app/Display.h"

namespace kestrun {

bool displayAvailable() {
    return true;
}

const bool ScreenshotOffscreen = false;
const bool ArgvIsTheSystemsBytes = false;

} // namespace kestrun
