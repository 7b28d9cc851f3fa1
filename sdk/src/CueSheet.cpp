#include "CueSheet.h"

#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <strings.h>
#include <vector>

namespace vbe {

namespace {

constexpr std::size_t kSniffBytes = 4096;
constexpr std::uint32_t kFramesPerSecond = 75;
// Files a sheet may name: every one holds at least one track.
constexpr std::size_t kMaxFiles = limits::kMaxTracks;
constexpr std::size_t kMaxWords = 8;

// One line cut into its words; a word in double quotes keeps its spaces.
struct Line
{
    std::vector<std::string> words;
    std::string rest; // the text after the first word, trimmed
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

Line splitLine(const std::string& text)
{
    Line line;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i >= text.size())
            break;
        if (line.words.size() == 1) {
            line.rest = text.substr(i);
            while (!line.rest.empty() && isSpace(line.rest.back()))
                line.rest.pop_back();
        }
        std::string word;
        if (text[i] == '"') {
            const std::size_t close = text.find('"', i + 1);
            const std::size_t end = close == std::string::npos ? text.size() : close;
            word = text.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < text.size() && !isSpace(text[i]))
                word += text[i++];
        }
        // No command has more words; past them only the last one counts.
        if (line.words.size() == kMaxWords)
            line.words.back() = std::move(word);
        else
            line.words.push_back(std::move(word));
    }
    return line;
}

bool is(const std::string& word, const char* keyword)
{
    return ::strcasecmp(word.c_str(), keyword) == 0;
}

// The lines of the text, a UTF-8 byte order mark and CRs dropped.
std::vector<std::string> splitLines(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// A number of at most digits decimal digits.
std::optional<std::uint32_t> number(const std::string& s, std::size_t digits)
{
    if (s.empty() || s.size() > digits)
        return std::nullopt;
    std::uint32_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + std::uint32_t(c - '0');
    }
    return n;
}

// mm:ss:ff as frames.
std::optional<std::uint32_t> frames(const std::string& s)
{
    const std::size_t a = s.find(':');
    const std::size_t b = a == std::string::npos ? a : s.find(':', a + 1);
    if (b == std::string::npos)
        return std::nullopt;
    const auto m = number(s.substr(0, a), 4);
    const auto sec = number(s.substr(a + 1, b - a - 1), 2);
    const auto f = number(s.substr(b + 1), 2);
    if (!m || !sec || !f || *sec >= 60 || *f >= kFramesPerSecond)
        return std::nullopt;
    return (*m * 60 + *sec) * kFramesPerSecond + *f;
}

std::string trackName(std::uint32_t n)
{
    return std::string("Track ") + (n < 10 ? "0" : "") + std::to_string(n);
}

std::string quoted(const std::string& name)
{
    return "\xE2\x80\x9C" + name + "\xE2\x80\x9D";
}

struct SheetFile
{
    std::string name;         // UTF-8
    std::string type;         // upper case
    std::uint32_t disc = ~0u; // index into Disc::files once opened
};

struct SheetTrack
{
    std::uint32_t number = 0;
    std::uint32_t file = 0; // into the sheet's files
    std::string mode;
    std::uint32_t sectorSize = 0;
    std::uint32_t dataOffset = 0;
    bool audio = false;
    std::optional<std::uint32_t> index0, index1; // frames from the file's start
    std::uint32_t pregap = 0, postgap = 0;       // frames the file does not hold
};

struct Mode
{
    const char* name;
    std::uint32_t sectorSize, dataOffset;
    bool audio;
};

constexpr Mode kModes[] = {
    {"MODE1/2048", 2048, 0, false}, {"MODE1/2352", 2352, 16, false}, {"MODE2/2048", 2048, 0, false},
    {"MODE2/2336", 2336, 8, false}, {"MODE2/2352", 2352, 24, false}, {"CDI/2336", 2336, 8, false},
    {"CDI/2352", 2352, 24, false},  {"AUDIO", 2352, 0, true},
};

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

class Reader
{
public:
    Reader(const DiscFolder& folder, Disc* disc, DiscError* error)
        : folder_(folder), disc_(disc), error_(error)
    {
    }
    bool parse(const std::vector<std::string>& lines);
    bool layOut();

private:
    bool fail(const std::string& what)
    {
        error_->what = what;
        return false;
    }
    bool command(const Line& line);
    bool openFile(SheetFile& file, const SheetTrack& track);

    const DiscFolder& folder_;
    Disc* disc_;
    DiscError* error_;
    std::vector<SheetFile> files_;
    std::vector<SheetTrack> tracks_;
    std::size_t lineNumber_ = 0;
};

bool Reader::parse(const std::vector<std::string>& lines)
{
    for (const std::string& text : lines) {
        ++lineNumber_;
        const Line line = splitLine(text);
        if (!line.words.empty() && !command(line))
            return false;
    }
    if (tracks_.empty())
        return fail("The cue sheet names no tracks.");
    return true;
}

bool Reader::command(const Line& line)
{
    const std::string& key = line.words[0];
    const std::string at = " (line " + std::to_string(lineNumber_) + ")";
    if (is(key, "FILE")) {
        if (files_.size() >= kMaxFiles)
            return fail("The cue sheet names more than " + std::to_string(kMaxFiles) + " files.");
        SheetFile file;
        std::string raw;
        if (line.rest.empty())
            return fail("A FILE line names no file" + at + ".");
        if (line.rest[0] == '"' || line.words.size() <= 3) {
            raw = line.words[1];
            if (line.words.size() > 2)
                file.type = upper(line.words.back());
        } else {
            // An unquoted name with spaces: everything before the type.
            const std::size_t space = line.rest.find_last_of(" \t");
            raw = line.rest.substr(0, space);
            while (!raw.empty() && isSpace(raw.back()))
                raw.pop_back();
            file.type = upper(line.words.back());
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw.data());
        file.name = isUtf8(bytes, raw.size()) ? raw : utf16ToUtf8(latin1ToUtf16(bytes, raw.size()));
        if (file.type.empty())
            file.type = "BINARY";
        files_.push_back(std::move(file));
        return true;
    }
    if (is(key, "TRACK")) {
        if (tracks_.size() >= limits::kMaxTracks)
            return fail("The cue sheet names more than " + std::to_string(limits::kMaxTracks) +
                        " tracks.");
        if (files_.empty())
            return fail("The cue sheet names a track before any FILE" + at + ".");
        SheetTrack t;
        const auto n = line.words.size() == 3 ? number(line.words[1], 2) : std::nullopt;
        if (!n || *n == 0)
            return fail("A TRACK line is not “TRACK nn MODE”" + at + ".");
        if (!tracks_.empty() && *n <= tracks_.back().number)
            return fail(trackName(*n) + " follows track " + std::to_string(tracks_.back().number) +
                        at + "; track numbers must ascend.");
        t.number = *n;
        t.file = std::uint32_t(files_.size() - 1);
        t.mode = upper(line.words[2]);
        const Mode* mode = nullptr;
        for (const Mode& m : kModes)
            if (t.mode == m.name)
                mode = &m;
        if (!mode)
            return fail(trackName(t.number) + " is of the mode “" + t.mode +
                        "”, which cannot be read.");
        t.sectorSize = mode->sectorSize;
        t.dataOffset = mode->dataOffset;
        t.audio = mode->audio;
        SheetFile& file = files_.back();
        if (file.type != "BINARY" && file.type != "MOTOROLA")
            return fail(trackName(t.number) + " is stored in a " + file.type +
                        " file; only BINARY and MOTOROLA files can be read.");
        if (!openFile(file, t))
            return false;
        tracks_.push_back(std::move(t));
        return true;
    }
    const bool gap = is(key, "PREGAP") || is(key, "POSTGAP");
    if (is(key, "INDEX") || gap) {
        if (tracks_.empty())
            return fail("The cue sheet gives " + upper(key) + " before any TRACK" + at + ".");
        SheetTrack& t = tracks_.back();
        const std::size_t want = gap ? 2 : 3;
        const auto n = line.words.size() == want && !gap ? number(line.words[1], 2)
                                                         : std::optional<std::uint32_t>(0);
        const auto time = line.words.size() == want ? frames(line.words.back()) : std::nullopt;
        if (!n || !time)
            return fail(trackName(t.number) + " has an " + upper(key) +
                        " line that cannot be read" + at + ".");
        if (is(key, "PREGAP"))
            t.pregap = *time;
        else if (is(key, "POSTGAP"))
            t.postgap = *time;
        else if (*n == 0)
            t.index0 = *time;
        else if (*n == 1)
            t.index1 = *time;
        return true;
    }
    // REM, CATALOG, PERFORMER, TITLE, SONGWRITER, ISRC, FLAGS, CDTEXTFILE
    // and the like say nothing about where sectors lie.
    return true;
}

bool Reader::openFile(SheetFile& file, const SheetTrack& track)
{
    if (file.disc != ~0u)
        return true;
    std::string name = file.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool drive = name.size() >= 2 && name[1] == ':';
    if (name.empty() || name[0] == '/' || drive || ("/" + name + "/").find("/../") != name.npos)
        return fail("The cue sheet names the file " + quoted(file.name) + " for " +
                    trackName(track.number) +
                    " by a path that leaves its folder; only files in the cue sheet's folder "
                    "or below it are read.");
    int err = 0;
    std::shared_ptr<ByteSource> source = folder_.open(name, &err);
    if (!source) {
        if (err == ENOENT || err == ENOTDIR) {
            error_->missingFile = true;
            return fail("The file " + quoted(file.name) + " the cue sheet names is not there.");
        }
        return fail("The file " + quoted(file.name) +
                    " the cue sheet names cannot be read: " + std::strerror(err) + ".");
    }
    file.disc = std::uint32_t(disc_->files.size());
    disc_->files.push_back(std::move(source));
    return true;
}

// Where each track lies: in its file, by the times the sheet gives from the
// file's start, each span of sectors in the size of the track it belongs
// to; on the disc, the files one after another with the gaps the sheet adds.
bool Reader::layOut()
{
    std::uint64_t discBase = 0; // disc address of the current file's first sector
    std::uint64_t shift = 0;    // sectors the sheet adds that the file does not hold
    std::uint64_t frame = 0;    // a place in the current file: frames ...
    std::uint64_t byte = 0;     // ... and bytes
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        const SheetTrack& t = tracks_[i];
        const SheetFile& file = files_[t.file];
        const std::uint64_t fileSize = disc_->files[file.disc]->size();
        const std::string which = trackName(t.number);
        if (!t.index1)
            return fail(which + " has no INDEX 01.");
        const std::uint32_t start = t.index0.value_or(*t.index1);
        if (start > *t.index1)
            return fail(which + " has its INDEX 01 before its INDEX 00.");
        Track* prev = i > 0 ? &disc_->tracks.back() : nullptr;
        const bool newFile = i == 0 || tracks_[i - 1].file != t.file;
        if (newFile) {
            if (prev)
                discBase = std::uint64_t(prev->startLba) + prev->sectors + tracks_[i - 1].postgap;
            shift = frame = byte = 0;
        }
        if (start < frame)
            return fail(which + " starts before the track before it (its INDEX goes backwards).");
        // The sectors up to this track's first index are the previous
        // track's in its file, else nobody's.
        const std::uint32_t spanSize = newFile ? t.sectorSize : prev->sectorSize;
        byte += (start - frame) * spanSize;
        if (!newFile)
            prev->sectors = std::uint32_t(start - frame);
        const std::uint64_t offset = byte + std::uint64_t(*t.index1 - start) * t.sectorSize;
        if (byte > fileSize || offset > fileSize)
            return fail(which + " starts beyond the end of the file " + quoted(file.name) + ".");
        shift += t.pregap;
        const std::uint64_t lba = discBase + shift + *t.index1;
        if (lba > 0xFFFFFFFFull)
            return fail(which + " starts beyond the last address of a disc.");
        Track track;
        track.number = std::uint8_t(t.number);
        track.audio = t.audio;
        track.swapBytes = t.audio && file.type == "MOTOROLA";
        track.file = file.disc;
        track.fileOffset = offset;
        track.sectorSize = t.sectorSize;
        track.dataOffset = t.dataOffset;
        track.startLba = std::uint32_t(lba);
        track.storedPregap = *t.index1 - start;
        track.mode = t.mode;
        // Up to the end of the file unless a track follows in it.
        track.sectors = std::uint32_t(
            std::min<std::uint64_t>((fileSize - offset) / t.sectorSize, 0xFFFFFFFFull - lba));
        disc_->tracks.push_back(std::move(track));
        frame = *t.index1;
        byte = offset;
        shift += t.postgap;
    }
    return true;
}

} // namespace

bool looksLikeCueSheet(ByteSource& file)
{
    const std::uint64_t size = file.size();
    if (size == 0 || size > limits::kMaxDescriptionBytes)
        return false;
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kSniffBytes)), '\0');
    if (!file.readExact(0, head.data(), head.size()) || head.find('\0') != std::string::npos)
        return false;
    std::vector<std::string> lines = splitLines(head);
    // A line cut by the end of what was read says nothing.
    if (size > head.size() && !lines.empty())
        lines.pop_back();
    for (const std::string& text : lines) {
        const Line line = splitLine(text);
        if (line.words.empty() || is(line.words[0], "REM"))
            continue;
        for (const char* first :
             {"FILE", "CATALOG", "PERFORMER", "TITLE", "SONGWRITER", "CDTEXTFILE"})
            if (is(line.words[0], first))
                return true;
        return false;
    }
    // Remarks alone, with more to come.
    return size > head.size() && !lines.empty();
}

bool readCueSheet(ByteSource& sheet, const DiscFolder& folder, Disc* disc, DiscError* error)
{
    disc->container = "cue";
    const std::uint64_t size = sheet.size();
    if (size > limits::kMaxDescriptionBytes) {
        error->what = "The cue sheet is too large.";
        return false;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!sheet.readExact(0, text.data(), text.size())) {
        error->what = "The cue sheet cannot be read.";
        return false;
    }
    Reader reader(folder, disc, error);
    return reader.parse(splitLines(std::move(text))) && reader.layOut() && checkDisc(*disc, error);
}

} // namespace vbe
