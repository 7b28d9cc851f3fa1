#include "PathIndex.h"

#include <algorithm>

namespace vbe {

const std::vector<std::uint32_t>& PathIndex::sortedChildren(std::uint32_t dir)
{
    auto it = sorted_.find(dir);
    if (it != sorted_.end())
        return it->second;
    const auto kids = tree_.children(dir);
    std::vector<std::uint32_t> v(kids.begin(), kids.end());
    std::stable_sort(v.begin(), v.end(), [&](std::uint32_t a, std::uint32_t b) {
        return tree_.name(a) < tree_.name(b);
    });
    return sorted_.emplace(dir, std::move(v)).first->second;
}

std::optional<std::uint32_t> PathIndex::find(std::u16string_view path)
{
    std::uint32_t current = 0;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find(u'\\', pos);
        if (end == std::u16string_view::npos)
            end = path.size();
        std::u16string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty())
            continue;
        if (!tree_.entries[current].directory)
            return std::nullopt;
        const auto& kids = sortedChildren(current);
        auto it = std::lower_bound(
            kids.begin(), kids.end(), part,
            [&](std::uint32_t i, std::u16string_view name) { return tree_.name(i) < name; });
        if (it == kids.end() || tree_.name(*it) != part)
            return std::nullopt;
        current = *it;
    }
    return current;
}

} // namespace vbe
