#include "OpenDisc.h"

#include "CloneCd.h"
#include "CompressedIso.h"
#include "CueSheet.h"
#include "ElTorito.h"
#include "Mds.h"
#include "Nrg.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace vbe {

namespace {

bool endsWith(const std::string& name, const char* ext)
{
    const std::size_t n = std::strlen(ext);
    return name.size() > n && ::strcasecmp(name.c_str() + name.size() - n, ext) == 0;
}

Result fromErrno(int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return kFileNotFound;
    if (error == EACCES || error == EPERM)
        return kAccessDenied;
    return kFail;
}

// Reads a described disc and makes its views.
Result describedDisc(std::shared_ptr<Disc> disc, OpenedImage* out, const ByteSource& opened)
{
    if (!checkDisc(*disc, &out->error))
        return kCorrupt;
    for (const auto& file : disc->files)
        if (file.get() != &opened)
            out->fileBytes += file->size();
    auto source = std::make_shared<DiscSource>(disc);
    out->logical = source;
    out->data = source;
    out->sessionStarts = dataSessionStarts(*disc);
    for (const Track& t : disc->tracks)
        if (!t.audio) {
            out->layout = {t.sectorSize, t.dataOffset};
            break;
        }
    out->disc = std::move(disc);
    return kOk;
}

// The sectors of a described disc opened on their own (an .mdf, a CloneCD
// .img, a .bin): the description of the same name beside them says what
// they are. kUnrecognized when there is none.
Result besideItsDescription(const std::string& fileName, const DiscFolder& folder,
                            std::shared_ptr<Disc>& disc, OpenedImage* out)
{
    enum class Kind
    {
        Mds,
        CloneCd,
        Cue
    };
    struct Companion
    {
        const char* sectors;
        const char* description;
        Kind kind;
    };
    static const Companion kCompanions[] = {
        {".mdf", ".mds", Kind::Mds}, {".img", ".ccd", Kind::CloneCd}, {".bin", ".cue", Kind::Cue}};
    for (const Companion& c : kCompanions) {
        if (!endsWith(fileName, c.sectors))
            continue;
        const std::string name = fileName.substr(0, fileName.size() - 4) + c.description;
        int error = 0;
        auto description = folder.open(name, &error);
        if (!description)
            return kUnrecognized;
        bool read = false;
        switch (c.kind) {
        case Kind::Mds:
            if (!isMds(*description))
                return kUnrecognized;
            read = readMds(*description, name, folder, disc.get(), &out->error);
            break;
        case Kind::CloneCd:
            if (!looksLikeCloneCd(*description))
                return kUnrecognized;
            read = readCloneCd(*description, name, folder, disc.get(), &out->error);
            break;
        case Kind::Cue:
            if (!looksLikeCueSheet(*description))
                return kUnrecognized;
            read = readCueSheet(*description, folder, disc.get(), &out->error);
            break;
        }
        if (!read)
            return out->error.missingFile ? kFileNotFound : kCorrupt;
        out->fileBytes = description->size();
        return describedDisc(std::move(disc), out, *description);
    }
    return kUnrecognized;
}

} // namespace

Result openDisc(std::shared_ptr<ByteSource> file, const std::string& fileName,
                const DiscFolder& folder, OpenedImage* out)
{
    *out = OpenedImage();
    out->fileBytes = file->size();
    auto disc = std::make_shared<Disc>();
    if (const char* kind = compressedIsoKind(*file)) {
        file = openCompressedIso(std::move(file), &out->error);
        if (!file)
            return kCorrupt;
        disc->container = kind;
    } else if (isNrg(*file)) {
        if (!readNrg(file, disc.get(), &out->error))
            return kCorrupt;
        return describedDisc(std::move(disc), out, *file);
    } else if (isMds(*file)) {
        if (!readMds(*file, fileName, folder, disc.get(), &out->error))
            return out->error.missingFile ? kFileNotFound : kCorrupt;
        return describedDisc(std::move(disc), out, *file);
    } else if (looksLikeCloneCd(*file)) {
        if (!readCloneCd(*file, fileName, folder, disc.get(), &out->error))
            return out->error.missingFile ? kFileNotFound : kCorrupt;
        return describedDisc(std::move(disc), out, *file);
    } else if (looksLikeCueSheet(*file)) {
        if (!readCueSheet(*file, folder, disc.get(), &out->error))
            return out->error.missingFile ? kFileNotFound : kCorrupt;
        return describedDisc(std::move(disc), out, *file);
    } else if (const Result r = besideItsDescription(fileName, folder, disc, out);
               r != kUnrecognized) {
        return r;
    }
    SectorLayout layout;
    if (!detectSectorLayout(*file, &layout))
        return kUnrecognized;
    out->layout = layout;
    out->logical = logicalView(std::move(file), layout);
    out->data = out->logical;
    out->disc = std::move(disc);
    return kOk;
}

Result openDiscImage(const char16_t* path, OpenedImage* out)
{
    *out = OpenedImage();
    const std::string utf8 = utf16ToUtf8(path);
    int error = 0;
    std::shared_ptr<ByteSource> file = FileSource::open(utf8, &error);
    if (!file)
        return fromErrno(error);
    const std::size_t slash = utf8.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : utf8.substr(0, slash);
    const std::string name = slash == std::string::npos ? utf8 : utf8.substr(slash + 1);
    return openDisc(std::move(file), name, DirectoryFolder(folder), out);
}

namespace {

std::u16string trackName(std::uint8_t number)
{
    std::string n = std::to_string(number);
    if (n.size() < 2)
        n = "0" + n;
    return ascii("Track " + n + ".wav");
}

void addAudioFolder(const OpenedImage& image, Tree& tree)
{
    const Disc& disc = *image.disc;
    auto* source = dynamic_cast<DiscSource*>(image.data.get());
    if (!source)
        return;
    std::size_t audio = 0;
    for (const Track& t : disc.tracks)
        audio += t.audio;
    if (audio == 0 || tree.entries.size() + audio + 1 > limits::kMaxEntries)
        return;
    const std::uint32_t folderIndex = addRootFolder(tree, Entry(), u"[AUDIO]");
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
        if (!disc.tracks[i].audio)
            continue;
        Entry file;
        tree.setName(file, trackName(disc.tracks[i].number));
        file.parent = folderIndex;
        file.size = source->audioSize(i);
        file.firstExtent = static_cast<std::uint32_t>(tree.extents.size());
        file.extentCount = 1;
        tree.extents.push_back({source->audioOffset(i), file.size});
        tree.addChild(folderIndex, static_cast<std::uint32_t>(tree.entries.size()));
        tree.entries.push_back(file);
        ++tree.files;
    }
}

bool hasAudio(const Disc& disc)
{
    for (const Track& t : disc.tracks)
        if (t.audio)
            return true;
    return false;
}

} // namespace

ScanStatus scanOpened(const OpenedImage& image, Tree& tree, const ScanControl& control)
{
    ScanControl sessions = control;
    if (!image.sessionStarts.empty())
        sessions.sessionStarts = &image.sessionStarts;
    ScanStatus status = image.logical->size() > 0 ? scanImage(*image.logical, tree, sessions)
                                                  : ScanStatus::Unrecognized;
    if (status == ScanStatus::Aborted)
        return status;
    const bool audio = image.disc && hasAudio(*image.disc);
    if (status != ScanStatus::Ok) {
        if (!audio)
            return status;
        // Audio alone, or beside a data track that cannot be read: the
        // tree is the folder of the tracks.
        tree = Tree();
        tree.entries.emplace_back();
        tree.entries[0].directory = true;
        if (status == ScanStatus::Corrupt)
            tree.note("the data track holds no file system that can be read");
    }
    if (audio)
        addAudioFolder(image, tree);
    return ScanStatus::Ok;
}

} // namespace vbe
