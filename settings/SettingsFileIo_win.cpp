// The settings file's system calls on Windows, all of them wide (UTF-16) calls: a plain read,
// and the replacing save through a temporary file in the same folder, FlushFileBuffers, then
// ReplaceFileW (which keeps the replaced file's attributes and rights) or, for a new file or
// where the volume cannot replace, MoveFileExW with write-through.

#include "settings/SettingsFileIo.h"
#include "settings/WidePath_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

namespace kestrun {
namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
/// A file handle that closes itself on every path out (null for INVALID_HANDLE_VALUE).
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle own(HANDLE handle) {
    return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

SettingsFileError openError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return SettingsFileError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return SettingsFileError::AccessDenied;
    default:
        return SettingsFileError::FailedToOpen;
    }
}

std::wstring folderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return L".";
    }
    // "C:\name" keeps its root as "C:\"; "\name" as "\".
    if (slash == 0 || (slash == 2 && path[1] == L':')) {
        return path.substr(0, slash + 1);
    }
    return path.substr(0, slash);
}

bool writeFully(HANDLE file, const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 20));
        if (!::WriteFile(file, bytes + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// A new, unused name in `folder` for the bytes on their way (the process id and a counter keep
// two saves apart; CREATE_NEW never opens a file that already exists).
FileHandle createTemporary(const std::wstring& folder, std::wstring& name) {
    static std::atomic<unsigned> counter{0};
    const std::wstring base =
        folder + (folder.back() == L'\\' || folder.back() == L'/' ? L"" : L"\\");
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = base + L".kestrun-save-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter++) + L".tmp";
        FileHandle file = own(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return nullptr;
}

// Puts the finished temporary file in place of `target` in one step.
bool putInPlace(const std::wstring& temp, const std::wstring& target, bool exists) {
    if (exists && ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        return true;
    }
    if (exists) {
        // These say the target may no longer be where it was: never try a second way then.
        const DWORD error = ::GetLastError();
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            return false;
        }
    }
    return ::MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The system's own words for `error`, as UTF-8, without the closing full stop and line end.
std::string systemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
    ::LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                               reason.back() == L'.' || reason.back() == L' ')) {
        reason.pop_back();
    }
    return reason.empty() ? "Windows error " + std::to_string(error) : utf8Path(reason);
}

} // namespace

SettingsFileError readFileStart(const std::string& path, uint8_t* buffer, std::size_t want,
                                std::size_t& got) {
    got = 0;
    const std::wstring wide = widePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return openError(::GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return SettingsFileError::FailedToOpen;
    }
    const FileHandle file =
        own(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return openError(::GetLastError());
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return SettingsFileError::FailedToOpen; // a device or a pipe is no settings file
    }
    while (got < want) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(want - got, 1u << 20));
        if (!::ReadFile(file.get(), buffer + got, chunk, &n, nullptr)) {
            got = 0;
            return SettingsFileError::FailedToOpen;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return SettingsFileError::None;
}

SettingsFileResult saveFileBytes(const std::string& path, const uint8_t* bytes, std::size_t count) {
    SettingsFileResult result;
    result.error = SettingsFileError::FailedToSave;
    const std::wstring target = widePath(path);
    if (target.empty()) {
        result.reason = systemReason(ERROR_INVALID_NAME);
        return result;
    }
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A folder or a device is never replaced by a settings file; a file marked read-only is the
    // user's to unmark (Windows itself refuses to replace it; checked here so every file system
    // says the same).
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        result.reason = "Is a folder or a device";
        return result;
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        result.error = SettingsFileError::AccessDenied;
        result.reason = systemReason(ERROR_ACCESS_DENIED);
        return result;
    }
    std::wstring temp;
    FileHandle file = createTemporary(folderOf(target), temp);
    if (!file) {
        const DWORD error = ::GetLastError();
        result.error =
            error == ERROR_ACCESS_DENIED ? SettingsFileError::AccessDenied : result.error;
        result.reason = systemReason(error);
        return result;
    }
    bool ok = writeFully(file.get(), bytes, count) && ::FlushFileBuffers(file.get());
    ok = ::CloseHandle(file.release()) && ok;
    ok = ok && putInPlace(temp, target, exists);
    if (!ok) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        result.error =
            error == ERROR_ACCESS_DENIED ? SettingsFileError::AccessDenied : result.error;
        result.reason = systemReason(error);
        return result;
    }
    result.error = SettingsFileError::None;
    return result;
}

} // namespace kestrun
