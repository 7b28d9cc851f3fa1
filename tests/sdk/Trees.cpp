#include "Trees.h"

namespace sdktest {

std::string pattern(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

void writeRichTree(const fs::path& root, const TreeOptions& o)
{
    writeFile(root / "docs/readme.txt", "Read me first.\n");
    writeFile(root / "docs/Empty File", "");
    fs::create_directories(root / "empty folder");
    writeFile(root / "name with spaces.txt", "spaces\n");
    writeFile(root / "Ünïcødé ✓ Ωmega.txt", "unicode\n");
    if (o.beyondBmp)
        writeFile(root / "emoji 😀 𝄞.txt", "beyond sixteen bits\n");
    if (o.caseTwins) {
        writeFile(root / "case.txt", "lower\n");
        writeFile(root / "CASE.txt", "upper\n");
    }
    if (o.longest >= 150)
        writeFile(root / (std::string(150 - 4, 'L') + ".txt"), "150\n");
    if (o.longest >= 200) {
        std::string name200;
        for (int i = 0; name200.size() < 196; ++i)
            name200 += static_cast<char>('a' + i % 26);
        writeFile(root / (name200 + ".bin"), pattern(5000, 2));
    }
    if (o.longest >= 255)
        writeFile(root / (std::string(251, 'X') + ".end"), "255\n");
    if (o.longest >= 100 && o.longest < 150)
        writeFile(root / (std::string(o.longest - 4, 'M') + ".txt"), "long\n");
    fs::path deep = root;
    for (int i = 1; i <= o.depth; ++i)
        deep /= "level" + std::to_string(i);
    writeFile(deep / "leaf.txt", "at the bottom\n");
    writeFile(root / "data/random.bin", pattern(100000, 1));
    writeFile(root / "data/exact2048.bin", pattern(2048, 3));
    if (o.symlinks)
        fs::create_symlink("../docs/readme.txt", root / "data/link to readme");

    // Distinct times, winter and summer, all seconds-exact.
    std::int64_t t = 1'000'000'000;
    std::vector<fs::path> all;
    for (auto& e : fs::recursive_directory_iterator(root))
        all.push_back(e.path());
    for (auto& p : all) {
        setMtime(p, t);
        t += 86400 * 37 + 3661;
    }
}

} // namespace sdktest
