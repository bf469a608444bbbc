// Opening an upgrade file on Windows: a wide (UTF-16) open, so any name the user can pick opens,
// and only a file on a disk is accepted.

#include "settings/WidePath_win.h"
#include "upgrade/ReadOnlyFile.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace kestrun {

FileHandle openRegularFile(const std::string& path, uint64_t* length) {
    if (path.empty()) {
        return nullptr;
    }
    const std::wstring wide = widePath(path);
    // A folder does not open without backup semantics, which are not asked for.
    HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) ||
        size.QuadPart < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    // The C runtime takes the handle over: closing the FILE closes it.
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "rb");
    if (file == nullptr) {
        ::_close(fd);
        return nullptr;
    }
    if (length != nullptr) {
        *length = static_cast<uint64_t>(size.QuadPart);
    }
    return FileHandle(file);
}

} // namespace kestrun
