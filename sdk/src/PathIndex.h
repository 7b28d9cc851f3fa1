// Finds entries of a tree by backslash-separated path.
#pragma once

#include "Records.h"

#include <optional>
#include <string_view>
#include <unordered_map>

namespace vbe {

class PathIndex
{
public:
    explicit PathIndex(const Tree& tree) : tree_(tree) {}
    // "" is the root; empty components (leading, doubled or trailing
    // backslashes) are ignored. Names match exactly.
    std::optional<std::uint32_t> find(std::u16string_view path);

private:
    const std::vector<std::uint32_t>& sortedChildren(std::uint32_t dir);
    const Tree& tree_;
    // Built for a folder the first time a path passes through it.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> sorted_;
};

} // namespace vbe
