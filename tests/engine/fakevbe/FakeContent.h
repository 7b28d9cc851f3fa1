#pragma once

// The bytes of a file of the scripted module: a pattern of its path and
// offset, so a test can check any extracted file without storing it.

#include <cstdint>
#include <string>

inline std::uint8_t FakeByte(const std::string& path, std::uint64_t offset)
{
    return static_cast<std::uint8_t>(offset * 7 + path.size() * 13 + (offset >> 16));
}
