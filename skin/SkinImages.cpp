#include "SkinImages.h"

#include "ProgramPaths.h"

#include <QColorSpace>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QResource>

namespace {

struct SkinSource
{
    unsigned nMode = SKIN_SOURCE_NONE;
    QString strFolder;   // folder mode
    QString strResource; // module mode: the registered resource file
    bool bInitialised = false;
};

SkinSource& Source()
{
    static SkinSource source;
    return source;
}

// Where a registered resource file's names appear.
const QString kResourceRoot = QStringLiteral("/lantern-skin");

QString ToSlashes(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

// The folder that contains `path`; for a path ending in a separator, the path
// without it.
QString RemoveLastElement(const QString& path)
{
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        return path.chopped(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QImage ReadImage(const QString& file, bool bUseColorManagement)
{
    QImageReader reader(file);
    QImage image = reader.read();
    if (image.isNull())
        return image;
    if (bUseColorManagement && image.colorSpace().isValid() &&
        image.colorSpace() != QColorSpace(QColorSpace::SRgb))
        image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    return image;
}

} // namespace

bool InitSkinSource(const QString& path, unsigned nMode)
{
    SkinSource& source = Source();
    if (nMode == SKIN_SOURCE_FOLDER) {
        source = SkinSource{};
        source.nMode = nMode;
        source.bInitialised = true;
        const QString wanted = ToSlashes(path);
        if (QDir::isRelativePath(wanted)) {
            const QString beside = ProgramFolder() + QLatin1Char('/') + wanted;
            if (QFileInfo(beside).isDir())
                source.strFolder = beside;
            else
                source.strFolder = QDir::currentPath() + QLatin1Char('/') + wanted;
        } else if (QFileInfo(wanted).isDir()) {
            source.strFolder = wanted;
        }
        return true;
    }
    if (nMode == SKIN_SOURCE_MODULE) {
        ExitSkinSource();
        if (!QResource::registerResource(path, kResourceRoot))
            return false;
        source.nMode = nMode;
        source.strResource = path;
        source.bInitialised = true;
        return true;
    }
    return false;
}

bool ExitSkinSource()
{
    SkinSource& source = Source();
    if (!source.bInitialised)
        return false;
    if (source.nMode == SKIN_SOURCE_MODULE)
        QResource::unregisterResource(source.strResource, kResourceRoot);
    source = SkinSource{};
    return true;
}

unsigned SkinSourceMode()
{
    return Source().nMode;
}

QString SkinSourceFolder()
{
    return Source().strFolder;
}

QImage LoadSkinImage(const QString& relativePath, bool bUseColorManagement)
{
    const QImage image = ReadImage(ProgramRelativePath(relativePath), bUseColorManagement);
    if (image.isNull())
        return image;
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage LoadSkinBitmap(const QString& name, bool bPremultiply)
{
    const SkinSource& source = Source();
    if (source.nMode == SKIN_SOURCE_FOLDER) {
        const QString file =
            RemoveLastElement(source.strFolder) + QLatin1Char('/') + ToSlashes(name);
        QImage image = ReadImage(file, false);
        if (image.isNull())
            return image;
        image = image.convertToFormat(QImage::Format_ARGB32);
        if (bPremultiply && file.toLower().contains(u".png"))
            PremultiplyAlpha(image);
        return image;
    }
    if (source.nMode == SKIN_SOURCE_MODULE) {
        QString inside = ToSlashes(name);
        while (inside.startsWith(QLatin1Char('/')))
            inside.remove(0, 1);
        QImage image =
            ReadImage(QLatin1Char(':') + kResourceRoot + QLatin1Char('/') + inside, false);
        if (image.isNull()) {
            qDebug().noquote() << QStringLiteral("Load bitmap resource [%1] fail.").arg(name);
            return image;
        }
        return image.convertToFormat(QImage::Format_ARGB32);
    }
    return QImage();
}

void PremultiplyAlpha(QImage& image)
{
    if (image.format() != QImage::Format_ARGB32)
        return;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const unsigned a = qAlpha(p);
            line[x] = qRgba(int(qRed(p) * a / 255), int(qGreen(p) * a / 255),
                            int(qBlue(p) * a / 255), int(a));
        }
    }
    image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
}
