#pragma once
// One settings record that exercises every rule of what the window shows, and how it reads.

#include "tests/cli/CliProcess.h"

#include <string>

namespace kestrun::clitest {

// A record with a value outside every kind of limit: 200 for Speed (top 100), 0 for Pan
// (bottom 1), 101 for Tilt, radio code 7 (no button), toggle byte 2 (on), counts 0x0FFF and
// 0xFFFF (both the top, 10.00).
inline const std::string OddRecord = bytes({0xC8, 0x00, 0x00, 0x65, 0x07, 0x02, 0x03, 0x00, 0x0F,
                                            0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x08, 0x00, 0x04, 0x00});

inline const char* OddRecordText = "Lens Control / Digital Connection: none\n"
                                   "Focus Analog Range / Low: 10.00\n"
                                   "Focus Analog Range / High: 10.00\n"
                                   "Zoom Analog Range / Low: 0.00\n"
                                   "Zoom Analog Range / Center: 5.00\n"
                                   "Zoom Analog Range / High: 2.50\n"
                                   "Zoom Setup / Speed: 100\n"
                                   "Zoom Setup / Smoothing: 0\n"
                                   "Joystick Deadband / Pan: 1\n"
                                   "Joystick Deadband / Tilt: 100\n"
                                   "Misc Controls / One Way Communication: on\n"
                                   "Misc Controls / Pressure Joystick: off\n"
                                   "Camera Trigger: Level High\n";

inline const char* OddRecordJson =
    "{\"raw\": \"C8000065070203000FFFFFFF000008000400\", \"ZoomSpeed\": 100, "
    "\"ZoomSmoothing\": 0, \"PanDeadband\": 1, \"TiltDeadband\": 100, \"DigitalConnection\": "
    "null, \"OneWayCommunication\": true, \"CameraTrigger\": \"Level High\", "
    "\"PressureJoystick\": false, \"FocusRangeLow\": \"10.00\", \"FocusRangeHigh\": \"10.00\", "
    "\"ZoomRangeLow\": \"0.00\", \"ZoomRangeCenter\": \"5.00\", \"ZoomRangeHigh\": \"2.50\"}\n";

} // namespace kestrun::clitest
