#pragma once
// Intel HEX files made by the tests: records with their checksums worked out, so a file is
// exactly as good or as broken as a test means it to be.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::clitest {

/// One record line without its line end: ':', length, address, type, data, checksum.
std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);

/// The lines of an image of `size` bytes from address 0: 16 data bytes a line, an extended
/// linear address record before each 64 KiB, and the end-of-file record last.
std::vector<std::string> hexImageLines(std::size_t size, uint32_t seed = 1);

/// The lines joined, each ending in CR LF.
std::string hexText(const std::vector<std::string>& lines);

} // namespace kestrun::clitest
