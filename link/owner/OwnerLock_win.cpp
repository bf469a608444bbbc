#include "link/owner/OwnerLock.h"

#include "settings/WidePath_win.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <string>

namespace kestrun {
namespace {

// The lock is a byte far past the end of the lock file: Windows locks are mandatory, so the owner's
// "pid program" at the start stays readable by the process that is refused.
constexpr DWORD LockOffsetHigh = 0x7FFFFFFF;

class FileLock : public OwnerLock {
public:
    explicit FileLock(HANDLE file) : file_(file) {}
    ~FileLock() override {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_); // closing the handle drops the lock
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    HANDLE file_;
};

// "COM5", "com5" and "\\.\COM5" are one port, and hidapi and device notices spell one HID path in
// either case: the lock's name is the device's name without the "\\.\" or "\\?\" prefix, in lower
// case, with every character a file name cannot hold replaced.
std::wstring lockPath(const std::string& device) {
    std::wstring name = widePath(device);
    if (name.size() > 4 && name[0] == L'\\' && name[1] == L'\\' &&
        (name[2] == L'.' || name[2] == L'?') && name[3] == L'\\') {
        name.erase(0, 4);
    }
    for (wchar_t& c : name) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        if (std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            c = L'_';
        }
    }
    std::array<wchar_t, MAX_PATH + 1> folder{};
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    const std::wstring base =
        length > 0 && length < folder.size() ? std::wstring(folder.data(), length) : L".\\";
    return base + L"kestrun-lock-" + name;
}

// The running program's file name without its folder and ".exe": "kestrun-cli".
std::string programName() {
    std::array<wchar_t, MAX_PATH + 1> path{};
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring name(path.data(), std::min<DWORD>(length, MAX_PATH));
    name.erase(0, name.find_last_of(L"\\/") + 1);
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0) {
        name.resize(name.size() - 4);
    }
    return utf8Path(name);
}

} // namespace

std::unique_ptr<OwnerLock> OwnerLock::acquire(const std::string& device, std::string& holder) {
    holder.clear();
    const HANDLE file = CreateFileW(lockPath(device).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::make_unique<FileLock>(INVALID_HANDLE_VALUE);
    }
    OVERLAPPED range{};
    range.OffsetHigh = LockOffsetHigh;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range) ==
        FALSE) {
        if (GetLastError() == ERROR_LOCK_VIOLATION) {
            // The lock file holds "pid program" of its owner, for the message of the one refused.
            std::array<char, 256> record{};
            DWORD n = 0;
            OVERLAPPED at{};
            if (ReadFile(file, record.data(), static_cast<DWORD>(record.size()), &n, &at) ==
                FALSE) {
                n = 0;
            }
            holder = holderText(device, std::string_view(record.data(), n));
            CloseHandle(file);
            return nullptr;
        }
        CloseHandle(file);
        return std::make_unique<FileLock>(INVALID_HANDLE_VALUE);
    }
    const std::string owner = ownerRecord(GetCurrentProcessId(), programName());
    DWORD written = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file) != FALSE) {
        WriteFile(file, owner.data(), static_cast<DWORD>(owner.size()), &written, nullptr);
    }
    return std::make_unique<FileLock>(file);
}

} // namespace kestrun
