#include "SkinGeometry.h"

#include <gtest/gtest.h>

namespace {

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

// The window keeps what is not key-coloured, cutting each corner's key
// colour up to the first solid row from the edge; whatever the alpha.
TEST(KeyColourRegion, CutsTheCornersAndStopsAtTheFirstSolidEdge)
{
    QImage image = Picture({"kk..kk", //
                            "k....k", //
                            "......", //
                            "k....k", // below a solid row: the top scan has stopped
                            "k....k", //
                            "kk...."});
    image.setPixel(0, 0, qRgba(0, 0, 255, 10));
    const QRegion region = KeyColourWindowRegion(image, SKIN_KEY_COLOUR);
    for (const QPoint out : {QPoint(0, 0), QPoint(1, 0), QPoint(5, 1), QPoint(0, 3)})
        EXPECT_FALSE(region.contains(out)) << out.x() << "," << out.y();
    EXPECT_TRUE(region.contains(QPoint(2, 0)));
    EXPECT_TRUE(region.contains(QPoint(5, 5))) << "the bottom right corner is solid";
    EXPECT_TRUE(region.contains(QPoint(5, 3))) << "the right scan from below stops at row 5";

    // A row of key colour throughout is no corner: it stays.
    const QRegion band =
        KeyColourWindowRegion(Picture({"kkkk", "k..k", "....", "...."}), SKIN_KEY_COLOUR);
    EXPECT_TRUE(band.contains(QRect(0, 0, 4, 1)));
    EXPECT_FALSE(band.contains(QPoint(0, 1)));
    EXPECT_TRUE(band.contains(QPoint(1, 1)));
    EXPECT_EQ(KeyColourWindowRegion(QImage(), SKIN_KEY_COLOUR), QRegion());
}

} // namespace
