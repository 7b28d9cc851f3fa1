#include "ProgramPaths.h"
#include "QtPrint.h"
#include "SkinImages.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A program folder of its own with one image, and the current folder
// somewhere else.
class SkinImages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_program.isValid() && m_elsewhere.isValid());
        SetProgramFolderForTesting(m_program.path());
        m_oldCurrent = QDir::currentPath();
        QDir::setCurrent(m_elsewhere.path());
    }
    void TearDown() override
    {
        ExitSkinSource();
        QDir::setCurrent(m_oldCurrent);
        SetProgramFolderForTesting(QString());
    }
    // Writes a 2 x 1 PNG under the program folder: a half-transparent pixel
    // (blue 200, green 100, red 50, alpha 128) and an opaque one.
    void WriteImage(const QString& relative)
    {
        QImage image(2, 1, QImage::Format_ARGB32);
        image.setPixel(0, 0, qRgba(50, 100, 200, 128));
        image.setPixel(1, 0, qRgba(10, 20, 30, 255));
        const QString path = m_program.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(image.save(path, "PNG"));
    }

    QTemporaryDir m_program;
    QTemporaryDir m_elsewhere;
    QString m_oldCurrent;
};

TEST_F(SkinImages, BitmapsComeFromBesideTheProgramNotTheCurrentFolder)
{
    WriteImage(u"Image/Common/a.png"_s);
    WriteImage(u"Image/Common/UPPER.PNG"_s);
    ASSERT_TRUE(InitSkinSource(QString(), SKIN_SOURCE_FOLDER));

    const QImage straight = LoadSkinBitmap(u"Image\\Common\\a.png"_s, false);
    ASSERT_FALSE(straight.isNull());
    EXPECT_EQ(straight.format(), QImage::Format_ARGB32);
    EXPECT_EQ(straight.pixel(0, 0), qRgba(50, 100, 200, 128));

    // Premultiplied once, on the lower-cased name's ".png".
    const QImage upper = LoadSkinBitmap(u"Image\\Common\\UPPER.PNG"_s, true);
    ASSERT_FALSE(upper.isNull());
    EXPECT_EQ(upper.format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb p = reinterpret_cast<const QRgb*>(upper.constScanLine(0))[0];
    EXPECT_EQ(p, qRgba(25, 50, 100, 128));

    EXPECT_TRUE(LoadSkinBitmap(u"Image\\Common\\none.png"_s, true).isNull());

    const QImage image = LoadSkinImage(u"Image\\Common\\a.png"_s);
    EXPECT_EQ(image.size(), QSize(2, 1));
    EXPECT_TRUE(LoadSkinImage(u"Image\\Common\\none.png"_s).isNull());
}

} // namespace
