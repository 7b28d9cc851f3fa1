// Described discs for the container tests: tracks laid out by
// disc_layout.py and written by one make_<format>.py per container.
#pragma once

#include "SdkSupport.h"
#include "VbeFacts.h"

#include <string>
#include <vector>

namespace sdktest {

// One track of a track list, as disc_layout.py reads it.
struct DiscTrack
{
    std::string kind;     // "2048", "2336", "mode1", "mode2form1", "mode1sub", "audio"
    fs::path source;      // data tracks: the ISO image
    unsigned sectors = 0; // audio tracks
    unsigned seed = 0;    // audio tracks; 0: the track's number
    unsigned pregap = 0;  // sectors stored before INDEX 01
    unsigned session = 1;
    long lba = -1; // disc address of INDEX 01; -1: just after the previous track
};

inline DiscTrack dataTrack(std::string kind, fs::path source, unsigned session = 1, long lba = -1)
{
    DiscTrack t;
    t.kind = std::move(kind);
    t.source = std::move(source);
    t.session = session;
    t.lba = lba;
    return t;
}

inline DiscTrack audioTrack(unsigned sectors, unsigned pregap = 0, unsigned session = 1)
{
    DiscTrack t;
    t.kind = "audio";
    t.sectors = sectors;
    t.pregap = pregap;
    t.session = session;
    return t;
}

// make_<format>.py with extra arguments on the track list: dir/name (default
// "disc.<format>"). Throws when the writer fails.
fs::path writeDisc(const fs::path& dir, const std::string& format,
                   const std::vector<DiscTrack>& tracks, const std::string& extra = "",
                   const std::string& name = "");

// A small "tree" and its "plain.iso", made once.
const fs::path& smallDisc();

VbeImageFacts facts(const fs::path& image, vbe::Result* result);

// Facts and opening fail within a second with result, the reason holding says.
void expectFailsFast(const fs::path& image, vbe::Result result, const std::string& says = "");

// The tree (times aside) and, in "[AUDIO]", a WAV file of each audio track.
void expectDisc(Session& s, const fs::path& tree, const std::vector<DiscTrack>& tracks);

} // namespace sdktest
