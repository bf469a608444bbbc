#pragma once
// Paths are UTF-8 inside the program and UTF-16 at every Windows call: these two conversions are
// the only place the two meet, so no narrow (ANSI code page) call is ever needed.

#include <string>
#include <string_view>

namespace kestrun {

/// `utf8` as UTF-16 for a wide Windows call. Bytes that are not UTF-8 give an empty string,
/// which no file call accepts, so a mangled name fails instead of naming another file.
std::wstring widePath(std::string_view utf8);
/// `wide` (UTF-16 from Windows) as UTF-8.
std::string utf8Path(std::wstring_view wide);

} // namespace kestrun
