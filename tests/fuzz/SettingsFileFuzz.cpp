// The settings file loader on a file of any content, and what the window makes of the record
// it loads.
//
// Input: the file's bytes. Checked: an empty file loads nothing and is accepted; 1 to 17 bytes
// are refused as "Unexpected file format." and leave the record as it was; 18 or more load
// exactly the first 18. The record shown from what was loaded is written back as a record that
// shows the same again (a radio group with nothing checked comes back as code 0), and writing
// that back changes nothing more (one normalisation, then a fixed point); every value shown lies
// within its field's limits.

#include "tests/fuzz/FuzzSupport.h"

#include "settings/SettingsFields.h"
#include "settings/SettingsFile.h"

#include <algorithm>

using namespace kestrun;
using namespace kestrun::fuzz;

constexpr SettingsRecord Before = {0xDE, 0xAD, 0xBE, 0xEF, 0x09, 0x08, 0x07, 0x06, 0x05,
                                   0x04, 0x03, 0x02, 0x01, 0x00, 0xFF, 0xFE, 0xFD, 0xFC};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = scratch().write("head.set", asText({data, size}));

    SettingsRecord record = Before;
    const SettingsFileResult result = loadSettingsFile(path, record);
    if (size == 0) {
        FUZZ_CHECK(result.ok() && !result.loaded && record == Before);
        return 0;
    }
    if (size < RecordSize) {
        FUZZ_CHECK(result.error == SettingsFileError::UnexpectedFormat && record == Before);
        FUZZ_CHECK(settingsFileMessage(result.error, path) == "Unexpected file format.");
        return 0;
    }
    FUZZ_CHECK(result.ok() && result.loaded);
    FUZZ_CHECK(std::equal(record.begin(), record.end(), data));

    const ShownSettings shown = shownFromRecord(record);
    for (const ValueField& field : ValueFields) {
        const int32_t value = shown.values[static_cast<std::size_t>(field.index)];
        FUZZ_CHECK(value >= field.minimum && value <= field.maximum);
    }
    FUZZ_CHECK(!shown.digitalConnection || *shown.digitalConnection <= 3);
    FUZZ_CHECK(!shown.cameraTrigger || *shown.cameraTrigger <= 3);
    const SettingsRecord written = recordFromShown(shown);
    const ShownSettings again = shownFromRecord(written);
    FUZZ_CHECK(again.values == shown.values &&
               again.digitalConnection == shown.digitalConnection.value_or(0) &&
               again.cameraTrigger == shown.cameraTrigger.value_or(0) &&
               again.oneWayCommunication == shown.oneWayCommunication &&
               again.pressureJoystick == shown.pressureJoystick);
    FUZZ_CHECK(recordFromShown(again) == written);
    return 0;
}
