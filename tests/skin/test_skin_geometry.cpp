#include "SkinGeometry.h"

#include <gtest/gtest.h>

namespace {

TEST(StripFrames, FramesAreEqualSlicesOfTheStrip)
{
    const QSize frame = StripFrameSize(QSize(544, 24), 4);
    EXPECT_EQ(frame, QSize(136, 24));
    EXPECT_EQ(StripFrameRect(frame, 1), QRect(136, 0, 136, 24)) << "hover";
    EXPECT_EQ(StripFrameRect(frame, 3), QRect(408, 0, 136, 24)) << "disabled";
    EXPECT_EQ(StripFrameSize(QSize(80, 20), 4), QSize(20, 20));
    EXPECT_EQ(StripFrameSize(QSize(87, 20), 4), QSize(21, 20)) << "integer division";
    EXPECT_EQ(StripFrameSize(QSize(544, 24), 8), QSize(68, 24));
    EXPECT_EQ(StripFrameSize(QSize(), 4), QSize(0, 0)) << "a missing strip has empty frames";
}

TEST(ButtonTextLayout, OneLineCaptionIsCentredBothWays)
{
    const ButtonTextLayout layout =
        LayOutButtonText(QSize(136, 24), QPoint(0, 0), 20, 14, false, 14, true, true);
    EXPECT_EQ(layout.ptText, QPoint(58, 5));
    EXPECT_EQ(layout.nAddFormat, 0u);
}

TEST(ButtonTextLayout, LineBreakWrapsEvenWhenOneLineWouldFit)
{
    const ButtonTextLayout layout =
        LayOutButtonText(QSize(136, 40), QPoint(0, 0), 50, 14, true, 28, true, true);
    EXPECT_EQ(layout.nAddFormat, unsigned(TF_WORDBREAK));
    EXPECT_EQ(layout.ptText.y(), 6);
    // Up to 3 pixels taller than the button still wraps, placed at the top.
    EXPECT_EQ(
        LayOutButtonText(QSize(60, 24), QPoint(0, 0), 80, 14, false, 27, false, true).nAddFormat,
        unsigned(TF_WORDBREAK));
    EXPECT_EQ(LayOutButtonText(QSize(60, 24), QPoint(0, 0), 80, 14, false, 27, false, true).ptText,
              QPoint(1, 0));
}

TEST(ButtonTextLayout, TooTallCaptionGetsAnEllipsisOnOneLine)
{
    const ButtonTextLayout layout =
        LayOutButtonText(QSize(60, 24), QPoint(0, 0), 200, 14, false, 42, true, true);
    EXPECT_EQ(layout.nAddFormat, unsigned(TF_END_ELLIPSIS));
    EXPECT_EQ(layout.ptText, QPoint(1, 5)) << "not centred across: wider than the button";
}

TEST(ButtonTextLayout, WithoutFittingTheTextSitsSevenPixelsDown)
{
    EXPECT_EQ(LayOutButtonText(QSize(24, 23), QPoint(3, 2), 40, 14, false, 14, true, false).ptText,
              QPoint(3, 9));
}

TEST(ProgressFill, IsTheShareOfTheWidth)
{
    EXPECT_DOUBLE_EQ(ProgressFillWidth(438, 0), 0.0);
    EXPECT_DOUBLE_EQ(ProgressFillWidth(438, 50), 219.0);
    EXPECT_DOUBLE_EQ(ProgressFillWidth(438, 100), 438.0);
    EXPECT_DOUBLE_EQ(ProgressFillWidth(438, 33), 144.54);
}

// Builds an image from rows of characters: 'k' key colour, anything else not.
QImage Picture(const std::vector<const char*>& rows)
{
    const int w = int(strlen(rows[0]));
    QImage image(w, int(rows.size()), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, rows[y][x] == 'k' ? SKIN_KEY_COLOUR : qRgb(61, 63, 64));
    return image;
}

TEST(KeyColourRegion, CutsTheCornersAndStopsAtTheFirstSolidEdge)
{
    const QImage image = Picture({"kk..kk", //
                                  "k....k", //
                                  "......", //
                                  "k....k", // below a solid row: the top scan has stopped
                                  "k....k", //
                                  "kk...."});
    const std::vector<QRect> runs = KeyColourEdgeRuns(image, SKIN_KEY_COLOUR);
    const std::vector<QRect> expected = {
        QRect(0, 0, 2, 1), QRect(0, 1, 1, 1),                    // top, from the left
        QRect(4, 0, 2, 1), QRect(5, 1, 1, 1),                    // top, from the right
        QRect(0, 5, 2, 1), QRect(0, 4, 1, 1), QRect(0, 3, 1, 1), // bottom, from the left
    };
    EXPECT_EQ(runs, expected);
    const QRegion region = KeyColourWindowRegion(image, SKIN_KEY_COLOUR);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(1, 0)));
    EXPECT_TRUE(region.contains(QPoint(2, 0)));
    EXPECT_FALSE(region.contains(QPoint(5, 1)));
    EXPECT_TRUE(region.contains(QPoint(5, 5))) << "the bottom right corner is solid";
    EXPECT_FALSE(region.contains(QPoint(0, 3)));
    EXPECT_TRUE(region.contains(QPoint(5, 3))) << "the right scan from below stops at row 5";
}

TEST(KeyColourRegion, RowOfKeyColourThroughoutStays)
{
    const QImage image = Picture({"kkkk", //
                                  "k..k", //
                                  "....", //
                                  "...."});
    const QRegion region = KeyColourWindowRegion(image, SKIN_KEY_COLOUR);
    for (int x = 0; x < 4; ++x)
        EXPECT_TRUE(region.contains(QPoint(x, 0))) << x;
    EXPECT_FALSE(region.contains(QPoint(0, 1)));
    EXPECT_FALSE(region.contains(QPoint(3, 1)));
    EXPECT_TRUE(region.contains(QPoint(1, 1)));
}

TEST(KeyColourRegion, AlphaDoesNotMatter)
{
    QImage image = Picture({"k.", ".."});
    image.setPixel(0, 0, qRgba(0, 0, 255, 10));
    EXPECT_FALSE(KeyColourWindowRegion(image, SKIN_KEY_COLOUR).contains(QPoint(0, 0)));
    EXPECT_EQ(KeyColourWindowRegion(QImage(), SKIN_KEY_COLOUR), QRegion());
}

} // namespace
