// A small decoder for zlib streams (deflate data with a zlib header and an
// Adler-32 check), enough for compressed file data inside images.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vbe {

// Decodes the zlib stream in[0, inLength) into out, which holds outCapacity
// bytes. Fails on malformed data, on a wrong check value and when the output
// would not fit. On success *outLength is the decoded size.
bool inflateZlib(const std::uint8_t* in, std::size_t inLength, std::uint8_t* out,
                 std::size_t outCapacity, std::size_t* outLength);

// The same for raw deflate data without header and check.
bool inflateRaw(const std::uint8_t* in, std::size_t inLength, std::uint8_t* out,
                std::size_t outCapacity, std::size_t* outLength);

} // namespace vbe
