#include "app/Display.h"

#include <QtGlobal>

namespace kestrun {

bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

const bool ScreenshotOffscreen = true;
const bool ArgvIsTheSystemsBytes = true;

} // namespace kestrun
