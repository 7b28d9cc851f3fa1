// The image files the program opens, told by their extension before the
// reading module looks at their content.
#pragma once

#include <QString>
#include <QStringList>

namespace ImageKinds {

// The program's own kinds, in the order the Open dialog lists them.
inline QStringList OwnSuffixes()
{
    return {QStringLiteral("adi"), QStringLiteral("iso"), QStringLiteral("rdf")};
}

// Images other disc programs write, which the module reads as well: cue
// sheets and their BIN files, Nero, media descriptor and CloneCD images
// (the descriptor or the sectors beside it), compressed ISO.
inline QStringList ShelfSuffixes()
{
    return {QStringLiteral("cue"), QStringLiteral("bin"), QStringLiteral("nrg"),
            QStringLiteral("mds"), QStringLiteral("mdf"), QStringLiteral("ccd"),
            QStringLiteral("img"), QStringLiteral("cso"), QStringLiteral("zso")};
}

// Whether a file of this extension (without the dot, in any case) is
// offered to the module.
inline bool IsImageSuffix(const QString& suffix)
{
    const QString lower = suffix.toLower();
    return OwnSuffixes().contains(lower) || ShelfSuffixes().contains(lower);
}

// "*.adi;*.iso;*.rdf": the patterns of a file dialog's filter.
inline QString Patterns(const QStringList& suffixes)
{
    QStringList patterns;
    for (const QString& s : suffixes)
        patterns << QStringLiteral("*.") + s;
    return patterns.join(QLatin1Char(';'));
}

} // namespace ImageKinds
