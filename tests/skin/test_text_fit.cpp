#include "QtPrint.h"
#include "TextFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMainWindow>
#include <gtest/gtest.h>

namespace {

TEST(FitTextToWidth, WithoutAnApplicationTheTextStays)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(FitTextToWidth(QStringLiteral("two\nlines"), 5), u"two\nlines");
}

TEST(FitTextToWidth, CutsAtTheEndWithAnEllipsis)
{
    int argc = 1;
    char name[] = "test_skin";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    EXPECT_EQ(FitTextToWidth(QStringLiteral("no window"), 10), u"no window")
        << "no main window, no font: unchanged";

    QMainWindow window;
    QFont font = window.font();
    font.setPixelSize(12);
    window.setFont(font);
    const QFontMetrics metrics(font);

    EXPECT_EQ(FitTextToWidth(QStringLiteral("short\ntext"), 400), u"short text");
    const QString longText = QStringLiteral("/home/user/a/rather/long/path/to/an/image.iso");
    const int width = metrics.horizontalAdvance(longText) / 2;
    const QString fitted = FitTextToWidth(longText, width);
    EXPECT_TRUE(fitted.endsWith(QChar(0x2026))) << fitted;
    EXPECT_TRUE(longText.startsWith(fitted.chopped(1))) << "cut at its end";
    EXPECT_LE(metrics.horizontalAdvance(fitted), width);

    QFont big = font;
    big.setPixelSize(30);
    EXPECT_LT(FitTextToWidth(longText, width, &big).size(), fitted.size())
        << "a given font is the one measured";
}

} // namespace
