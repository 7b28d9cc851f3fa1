// Text conversions between the encodings images use and UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vbe {

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isUtf8(const std::uint8_t* s, std::size_t n);
// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(const std::uint8_t* s, std::size_t n);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& s);
// UTF-16 big-endian bytes (Joliet) to UTF-16; an odd last byte is dropped.
std::u16string utf16beToUtf16(const std::uint8_t* s, std::size_t n);
// Single-byte text (ISO 9660 identifiers) to UTF-16.
std::u16string latin1ToUtf16(const std::uint8_t* s, std::size_t n);
// ASCII text, as the module's own names are, to UTF-16.
inline std::u16string ascii(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

} // namespace vbe
