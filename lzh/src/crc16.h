// CRC-16 as LZH archives use it (reflected polynomial 0xA001, start 0, no final XOR).
#pragma once
#include <cstddef>
#include <cstdint>

namespace lzh::detail {

// Continues a running CRC over `n` more bytes; start with crc = 0.
std::uint16_t crc16(std::uint16_t crc, const void* data, std::size_t n) noexcept;

}  // namespace lzh::detail
