#include "settings/SettingsFile.h"

#include "settings/SettingsFileIo.h"

#include <string_view>

namespace kestrun {

SettingsFileResult loadSettingsFile(const std::string& path, SettingsRecord& record) {
    SettingsFileResult result;
    // Read into a scratch buffer: a short file must not leave its bytes in the record.
    SettingsRecord scratch{};
    std::size_t got = 0;
    result.error = readFileStart(path, scratch.data(), scratch.size(), got);
    if (!result.ok() || got == 0) {
        // An empty file is accepted and changes nothing.
    } else if (got < RecordSize) {
        result.error = SettingsFileError::UnexpectedFormat;
    } else {
        record = scratch;
        result.loaded = true;
    }
    return result;
}

SettingsFileError readSettingsFileStart(const std::string& path, std::size_t limit,
                                        std::string& bytes) {
    bytes.assign(limit, '\0');
    std::size_t got = 0;
    const SettingsFileError error =
        readFileStart(path, reinterpret_cast<uint8_t*>(bytes.data()), limit, got);
    bytes.resize(got);
    return error;
}

SettingsFileResult saveSettingsFile(const std::string& path, const SettingsRecord& record) {
    return saveFileAtomically(path, record);
}

SettingsFileResult saveFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    if (path.empty()) {
        SettingsFileResult result;
        result.error = SettingsFileError::FailedToSave;
        return result;
    }
    return saveFileBytes(path, bytes.data(), bytes.size());
}

std::string settingsFileMessage(SettingsFileError error, const std::string& path) {
    // Built by concatenation: an in-place replace of the short literal trips a false -Wrestrict
    // in optimised builds of this compiler.
    auto fill = [&](std::string_view text) {
        const auto at = text.find("%1");
        if (at == std::string_view::npos) {
            return std::string(text);
        }
        return std::string(text.substr(0, at)) + path + std::string(text.substr(at + 2));
    };
    switch (error) {
    case SettingsFileError::None:
        return {};
    case SettingsFileError::NotFound:
        return fill(FileMessage::NotFound);
    case SettingsFileError::AccessDenied:
        return fill(FileMessage::AccessDenied);
    case SettingsFileError::FailedToOpen:
        return FileMessage::FailedToOpen;
    case SettingsFileError::UnexpectedFormat:
        return FileMessage::UnexpectedFormat;
    case SettingsFileError::FailedToSave:
        return FileMessage::FailedToSave;
    }
    return {};
}

} // namespace kestrun
