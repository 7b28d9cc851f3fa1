#include "FactsText.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

QString Label(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString Yes(bool b, const QString& detail = QString())
{
    if (!b)
        return QStringLiteral("no");
    return detail.isEmpty() ? QStringLiteral("yes") : QStringLiteral("yes, ") + detail;
}

QString ShownName(std::uint32_t shown)
{
    switch (shown) {
    case kVbeShownRockRidge:
        return QStringLiteral("ISO 9660 with Rock Ridge names");
    case kVbeShownJoliet:
        return QStringLiteral("Joliet");
    case kVbeShownUdf:
        return QStringLiteral("UDF");
    default:
        return QStringLiteral("ISO 9660");
    }
}

QString BootText(const VbeBootEntry& e)
{
    QString platform;
    switch (e.platform) {
    case 0:
        platform = QStringLiteral("x86 BIOS");
        break;
    case 1:
        platform = QStringLiteral("PowerPC");
        break;
    case 2:
        platform = QStringLiteral("Mac");
        break;
    case 0xEF:
        platform = QStringLiteral("UEFI");
        break;
    default:
        platform = QStringLiteral("platform 0x%1").arg(e.platform, 2, 16, QLatin1Char('0'));
    }
    static const char* const kEmulation[] = {"no emulation", "1.2 MB floppy", "1.44 MB floppy",
                                             "2.88 MB floppy", "hard disk"};
    const QString emulation = e.emulation < 5 ? QLatin1String(kEmulation[e.emulation])
                                              : QStringLiteral("emulation %1").arg(e.emulation);
    return QStringLiteral("%1, %2, %3 sectors at block %4%5")
        .arg(platform, emulation)
        .arg(e.sectorCount)
        .arg(e.loadBlock)
        .arg(e.bootable ? QString() : QStringLiteral(", not bootable"));
}

QString SizeText(std::uint64_t n)
{
    return n < 1024 ? QStringLiteral("%1 bytes").arg(n)
                    : QStringLiteral("%1 bytes (%2)").arg(n).arg(ReadableBytes(n));
}

} // namespace

const char* FactKeyName(FactKey key)
{
    static const char* const kNames[] = {
        "Image",      "Volume label", "File systems",  "Shown",    "ISO 9660",
        "Rock Ridge", "Joliet",       "UDF",           "Sessions", "Boot",
        "Boot entry", "Container",    "Tracks",        "Track",    "Sectors",
        "Image size", "ISO volume",   "UDF partition", "Contents", "Damage"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(FactKey::Count));
    return kNames[static_cast<std::size_t>(key)];
}

QString ReadableBytes(std::uint64_t n)
{
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(n);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    return unit == 0
               ? QStringLiteral("%1 B").arg(n)
               : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
}

std::vector<CFactRow> DescribeImageFacts(const QString& imagePath, const VbeImageFacts& f)
{
    QStringList systems;
    if (f.found & kVbeFactIso9660)
        systems << QStringLiteral("ISO 9660");
    if (f.found & kVbeFactRockRidge)
        systems << QStringLiteral("Rock Ridge");
    if (f.found & kVbeFactJoliet)
        systems << QStringLiteral("Joliet");
    if (f.found & kVbeFactUdf)
        systems << QStringLiteral("UDF");

    std::vector<CFactRow> rows;
    auto add = [&](FactKey key, const QString& value) { rows.push_back({key, value}); };
    add(FactKey::Image, QFileInfo(imagePath).absoluteFilePath());
    add(FactKey::VolumeLabel, Label(f.label));
    add(FactKey::FileSystems, systems.join(QStringLiteral(", ")));
    add(FactKey::Shown, ShownName(f.shown));
    if (f.found & kVbeFactIso9660) {
        QString iso = f.isoLevel == 4 ? QStringLiteral("ISO 9660:1999")
                                      : QStringLiteral("level %1").arg(f.isoLevel);
        iso += QStringLiteral(", label \"%1\"").arg(Label(f.isoLabel));
        add(FactKey::Iso9660, iso);
    } else {
        add(FactKey::Iso9660, QStringLiteral("no"));
    }
    add(FactKey::RockRidge, Yes(f.found & kVbeFactRockRidge, QLatin1String(f.rockRidgeId)));
    add(FactKey::Joliet,
        Yes(f.found & kVbeFactJoliet,
            QStringLiteral("level %1, label \"%2\"").arg(f.jolietLevel).arg(Label(f.jolietLabel))));
    if (f.found & kVbeFactUdf) {
        static const char* const kKinds[] = {"", "physical", "virtual (VAT)", "sparable",
                                             "metadata"};
        static const char* const kAccess[] = {"access not given", "read-only", "write-once",
                                              "rewritable", "overwritable"};
        add(FactKey::Udf,
            QStringLiteral("revision %1.%2, %3 partition, %4, label \"%5\"")
                .arg(f.udfRevision >> 8, 0, 16)
                .arg(f.udfRevision & 0xFF, 2, 16, QLatin1Char('0'))
                .arg(QLatin1String(
                    kKinds[f.udfPartition < 5 ? static_cast<std::uint32_t>(f.udfPartition) : 1u]))
                .arg(QLatin1String(kAccess[f.udfAccess < 5 ? f.udfAccess : 0]))
                .arg(Label(f.udfLabel)));
    } else {
        add(FactKey::Udf, QStringLiteral("no"));
    }
    if (f.found & kVbeFactIso9660)
        add(FactKey::Sessions, f.sessions > 1 ? QStringLiteral("%1, the last read (from block %2)")
                                                    .arg(f.sessions)
                                                    .arg(f.shownSessionStart)
                                              : QString::number(f.sessions));
    if (f.bootEntryCount == 0) {
        add(FactKey::Boot, QStringLiteral("none"));
    } else {
        add(FactKey::Boot,
            QStringLiteral("El Torito, %1 entr%2")
                .arg(f.bootEntryCount)
                .arg(f.bootEntryCount == 1 ? QStringLiteral("y") : QStringLiteral("ies")));
        for (std::uint32_t i = 0; i < std::min(f.bootEntryCount, kVbeMaxBootEntries); ++i)
            add(FactKey::BootEntry, BootText(f.boot[i]));
    }
    if (f.container[0] != 0) {
        static const std::pair<const char*, const char*> kContainers[] = {
            {"cue", "cue sheet with BIN files"},
            {"nrg", "Nero image (NRG)"},
            {"mds", "media descriptor (MDS with MDF)"},
            {"ccd", "CloneCD (CCD with IMG)"},
            {"cso", "compressed ISO (CSO)"},
            {"zso", "compressed ISO (ZSO, LZ4)"}};
        const QByteArray kind(f.container, static_cast<qsizetype>(qstrnlen(f.container, 8)));
        QString name = QString::fromLatin1(kind);
        for (const auto& [key, text] : kContainers)
            if (kind == key)
                name = QLatin1String(text);
        add(FactKey::Container, name);
    }
    if (f.trackCount > 0)
        add(FactKey::Tracks, QString::number(f.trackCount));
    for (std::uint32_t i = 0; i < std::min(f.trackCount, kVbeMaxTracks); ++i) {
        const VbeTrack& t = f.tracks[i];
        add(FactKey::Track,
            QStringLiteral("%1: session %2, %3, %6 sectors of %4 bytes at address %5, %7")
                .arg(t.number, 2, 10, QLatin1Char('0'))
                .arg(t.session)
                .arg(QLatin1String(t.mode, static_cast<qsizetype>(qstrnlen(t.mode, 16))))
                .arg(t.sectorSize)
                .arg(t.startLba)
                .arg(t.sectors)
                .arg(SizeText(t.bytes)));
    }
    add(FactKey::Sectors, f.sectorSize == 2048
                              ? QStringLiteral("2048 bytes (user data only)")
                              : QStringLiteral("%1 bytes (raw sectors)").arg(f.sectorSize));
    add(FactKey::ImageSize, SizeText(f.fileBytes));
    if (f.found & kVbeFactIso9660)
        add(FactKey::IsoVolume, SizeText(f.isoVolumeBytes));
    if (f.found & kVbeFactUdf)
        add(FactKey::UdfPartition, SizeText(f.udfPartitionBytes));
    add(FactKey::Contents, QStringLiteral("%1 files in %2 folders, %3")
                               .arg(f.fileCount)
                               .arg(f.folderCount)
                               .arg(SizeText(f.dataBytes)));
    if (f.damage)
        add(FactKey::Damage, QStringLiteral("%1 damaged records were left out").arg(f.damage));
    return rows;
}
