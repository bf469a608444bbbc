#pragma once
// What the platform offers the window before the toolkit starts: Linux may have no display at
// all (a remote shell), Windows always has its desktop (Display_unix.cpp, Display_win.cpp).

namespace kestrun {

/// False where the toolkit could not open a window (Linux without X11 or Wayland).
bool displayAvailable();

/// Whether a screenshot run moves to Qt's offscreen platform when none was chosen: on Linux, so
/// it needs no display; never on Windows, where that platform has no fonts and the native one
/// renders the window without showing it.
extern const bool ScreenshotOffscreen;

/// Whether argv holds file names exactly as the system spells them: on Linux; on Windows argv is
/// in the ANSI code page, and only the toolkit's UTF-16 arguments are exact.
extern const bool ArgvIsTheSystemsBytes;

} // namespace kestrun
