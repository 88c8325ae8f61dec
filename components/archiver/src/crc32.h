// CRC32 (IEEE 802.3, reflected, as 7z uses it), computed incrementally.
#pragma once
#include <cstddef>
#include <cstdint>

namespace archiver {

// Continues a CRC over more bytes; start with crc 0.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

}  // namespace archiver
