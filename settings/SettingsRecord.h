#pragma once
// The controller's whole configuration: 18 packed bytes that are at once the Get/Send Data
// payload, the entire settings file and what the setup window's controls show.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrun {

inline constexpr std::size_t RecordSize = 18;

using SettingsRecord = std::array<uint8_t, RecordSize>;

/// Byte offsets of the record's fields. The five analog ranges are 12-bit counts stored
/// big-endian in two bytes (the byte at the lower offset holds bits 15-8).
enum RecordOffset : std::size_t {
    ZoomSpeed = 0,
    ZoomSmoothing = 1,
    PanDeadband = 2,
    TiltDeadband = 3,
    DigitalConnection = 4,
    OneWayCommunication = 5,
    CameraTrigger = 6,
    PressureJoystick = 7,
    FocusRangeLow = 8,
    FocusRangeHigh = 10,
    ZoomRangeLow = 12,
    ZoomRangeCenter = 14,
    ZoomRangeHigh = 16,
};

/// Codes of the "Digital Connection" radio group (byte 4).
enum class DigitalConnectionCode : uint8_t { Default = 0, Fujinon = 1, Canon = 2, Preston = 3 };

/// Codes of the "Camera Trigger" radio group (byte 6): bit 0 set is High, bit 1 set is Level.
enum class CameraTriggerCode : uint8_t { PulseLow = 0, PulseHigh = 1, LevelLow = 2, LevelHigh = 3 };

/// The record with nothing changed after start: what the window's start values make of it.
inline constexpr SettingsRecord StartRecord = {0x64, 0x14, 0x05, 0x05, 0x00, 0x00,
                                               0x01, 0x00, 0x04, 0x00, 0x0C, 0x00,
                                               0x04, 0x00, 0x08, 0x00, 0x0C, 0x00};

/// Reads the big-endian 16-bit count at `offset` (offset + 1 must lie inside the record).
uint16_t readCount(const SettingsRecord& record, std::size_t offset);
/// Writes `count` big-endian at `offset`.
void writeCount(SettingsRecord& record, std::size_t offset, uint16_t count);

/// The check byte of a settings frame: the sum of the record bytes modulo 256.
uint8_t recordSum(std::span<const uint8_t> bytes);

/// Hundredths 0-1000 (values above 1000 count as 1000) to the smallest 12-bit count that shows
/// the same hundredths again, so CountsToRange(RangeToCounts(v)) == v for every v in 0-1000.
uint16_t RangeToCounts(uint16_t hundredths);
/// A count (any 16-bit value) to hundredths 0-1000; 4095 and above show 10.00.
uint16_t CountsToRange(uint16_t counts);

} // namespace kestrun
