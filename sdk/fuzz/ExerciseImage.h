// What the fuzz target does with one input; shared with the tests that replay
// every input the fuzzer ever found.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vbe {

// Recognises, scans, finds every reachable entry again by its path and reads
// every file (up to a byte budget). False when an entry cannot be found by its
// own path; sanitizers catch the rest.
bool exerciseImage(const std::uint8_t* data, std::size_t size);

} // namespace vbe
