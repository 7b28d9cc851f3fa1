#pragma once

// What an image holds (the module's facts export) as rows of a key and a
// value: lantern-cli info prints them, the window's Properties shows them
// with its own words for the keys.

#include "VbeFacts.h"

#include <QString>
#include <cstdint>
#include <vector>

enum class FactKey : int
{
    Image,
    VolumeLabel,
    FileSystems,
    Shown,
    Iso9660,
    RockRidge,
    Joliet,
    Udf,
    Sessions,
    Boot,
    BootEntry,
    Container,
    Tracks,
    Track,
    Sectors,
    ImageSize,
    IsoVolume,
    UdfPartition,
    Contents,
    Damage,
    Count
};

struct CFactRow
{
    FactKey key;
    QString strValue;
};

// The English name of a key ("Volume label").
const char* FactKeyName(FactKey key);

// The rows of an image's facts, in the order lantern-cli info prints them.
std::vector<CFactRow> DescribeImageFacts(const QString& imagePath, const VbeImageFacts& f);

// Sizes as a person reads them: "1.5 MiB".
QString ReadableBytes(std::uint64_t n);
