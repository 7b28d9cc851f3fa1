#include "Discs.h"

#include <chrono>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace sdktest {

namespace {

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void putLe(std::string& s, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xff);
}

constexpr std::size_t kSector = 2352;

// n bytes of the samples of seed, as disc_layout.py writes them.
std::string audioBytes(unsigned seed, std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 9)) & 0xff);
    return s;
}

// The WAV file shown for tracks[i]: the header, its samples and the next
// audio track's stored pregap.
std::string expectedWav(const std::vector<DiscTrack>& tracks, std::size_t i)
{
    const DiscTrack& t = tracks[i];
    std::string samples = audioBytes(t.seed ? t.seed : unsigned(i + 1), t.sectors * kSector);
    if (i + 1 < tracks.size()) {
        const DiscTrack& next = tracks[i + 1];
        if (next.kind == "audio" && next.session == t.session)
            samples +=
                audioBytes((next.seed ? next.seed : unsigned(i + 2)) + 100, next.pregap * kSector);
    }
    const auto bytes = static_cast<std::uint32_t>(samples.size());
    // PCM, stereo, 44,100 samples a second, 4 bytes a frame of 16-bit samples.
    std::string wav = "RIFF";
    putLe(wav, 36 + bytes, 4);
    wav += "WAVEfmt ";
    for (auto [v, n] :
         {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {44100u, 4}, {44100u * 4, 4}, {4u, 2}, {16u, 2}})
        putLe(wav, v, n);
    wav += "data";
    putLe(wav, bytes, 4);
    return wav + samples;
}

} // namespace

fs::path writeDisc(const fs::path& dir, const std::string& format,
                   const std::vector<DiscTrack>& tracks, const std::string& extra,
                   const std::string& name)
{
    std::string spec = "{\"tracks\": [";
    for (const DiscTrack& t : tracks) {
        spec += (&t == &tracks.front() ? "{" : ", {") + ("\"kind\": " + jsonString(t.kind));
        if (!t.source.empty())
            spec += ", \"source\": " + jsonString(t.source.string());
        for (auto [key, value, given] : {std::tuple{"sectors", long(t.sectors), t.sectors != 0},
                                         {"seed", long(t.seed), t.seed != 0},
                                         {"pregap", long(t.pregap), true},
                                         {"session", long(t.session), true},
                                         {"lba", t.lba, t.lba >= 0}})
            if (given)
                spec += std::string(", \"") + key + "\": " + std::to_string(value);
        spec += "}";
    }
    spec += "]}\n";
    writeFile(dir / "spec.json", spec);
    const fs::path image = dir / (name.empty() ? "disc." + format : name);
    const std::string command = std::string(kPython) + " " +
                                quote(scriptDir() / ("make_" + format + ".py")) + " " + extra +
                                " " + quote(dir / "spec.json") + " " + quote(image);
    if (run(command) != 0)
        throw std::runtime_error("the disc writer failed: " + command);
    return image;
}

const fs::path& smallDisc()
{
    static TempDir dir;
    static const fs::path path = [] {
        writeFile(dir / "tree/readme.txt", "read me\n");
        writeFile(dir / "tree/sub/café.dat", std::string(70000, 'c'));
        makeIso(dir, dir / "tree", "-R -J", "plain.iso");
        return dir.path();
    }();
    return path;
}

VbeImageFacts facts(const fs::path& image, vbe::Result* result)
{
    static auto read =
        reinterpret_cast<VbeReadImageFactsFn>(dlsym(module().handle, "VbeReadImageFacts"));
    VbeImageFacts f{};
    f.structSize = sizeof f;
    *result = read(utf16(image.string()).c_str(), &f);
    return f;
}

void expectFailsFast(const fs::path& image, vbe::Result result, const std::string& says)
{
    const auto start = std::chrono::steady_clock::now();
    vbe::Result got;
    const VbeImageFacts f = facts(image, &got);
    EXPECT_EQ(got, result);
    EXPECT_NE(utf8(f.firstDamage).find(says), std::string::npos) << utf8(f.firstDamage);
    EXPECT_EQ(openImage(image)->openResult, result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

void expectDisc(Session& s, const fs::path& tree, const std::vector<DiscTrack>& tracks)
{
    const fs::path expected = tree.parent_path() / (tree.filename().string() + ".expected");
    fs::remove_all(expected);
    fs::create_directories(expected);
    if (fs::exists(tree))
        fs::copy(tree, expected, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].kind != "audio")
            continue;
        const std::string n = (i < 9 ? "0" : "") + std::to_string(i + 1);
        writeFile(expected / "[AUDIO]" / ("Track " + n + ".wav"), expectedWav(tracks, i));
    }
    expectSameTree(s, expected, false);
}

} // namespace sdktest
