#pragma once
// Opening an upgrade file for reading. Shared by the quick check of a chosen file, the full
// Intel HEX check and the upload itself, so all three refuse the same things.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace kestrun {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
/// A buffered file that closes itself on every path out.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

/// Opens `path` read-only for buffered reading. Only a regular file (or a link to one) opens:
/// a folder, a pipe or a device never does, so a wrong choice can neither block the window nor
/// feed the controller an endless stream. `length`, when given, receives the file's size in
/// bytes. Returns nullptr when the file cannot be opened.
FileHandle openRegularFile(const std::string& path, uint64_t* length = nullptr);

} // namespace kestrun
