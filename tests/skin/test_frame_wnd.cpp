#include "GXTFrameWnd.h"
#include "QtPrint.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "WidgetTestApp.h"

#include <QCloseEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using Frame = CGXTFrameWnd;

constexpr QSize kIcon(32, 32);
constexpr QSize kButton(26, 20);
constexpr int kWidth = 800;
constexpr unsigned kBothBoxes = Frame::FRAME_MINIMIZEBOX | Frame::FRAME_MAXIMIZEBOX;

// ---- Hit areas --------------------------------------------------------------------------

struct ElementCase
{
    QPoint pt;
    bool bMaximized;
    unsigned nStyle;
    int nElement;
};

// Test names and ctest's listing show the case, not its bytes.
void PrintTo(const ElementCase& c, std::ostream* os)
{
    *os << "at " << c.pt.x() << "," << c.pt.y() << (c.bMaximized ? " maximized" : "") << " style "
        << c.nStyle << " element " << static_cast<int>(c.nElement);
}

class CaptionElements : public ::testing::TestWithParam<ElementCase>
{
};

TEST_P(CaptionElements, PointFindsItsElement)
{
    const ElementCase& c = GetParam();
    EXPECT_EQ(Frame::CaptionElementAt(c.pt, kWidth, kIcon, kButton, c.bMaximized, c.nStyle),
              c.nElement)
        << "at " << c.pt.x() << "," << c.pt.y();
}

// Buttons 26 wide: close 764..790, maximize 731..757, minimize 698..724 (open
// intervals, so the shared ends belong to neither), all for 4 < y < 31; the icon
// 8 < x < 40, y < 32.
INSTANTIATE_TEST_SUITE_P(
    Frame, CaptionElements,
    ::testing::Values(ElementCase{{9, 0}, false, kBothBoxes, Frame::ELEMENT_ICON},
                      ElementCase{{39, 31}, false, kBothBoxes, Frame::ELEMENT_ICON},
                      ElementCase{{8, 10}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{40, 10}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{20, 32}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{765, 5}, false, kBothBoxes, Frame::ELEMENT_CLOSE},
                      ElementCase{{789, 30}, false, kBothBoxes, Frame::ELEMENT_CLOSE},
                      ElementCase{{790, 10}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{770, 4}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{770, 31}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{764, 10}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{763, 10}, false, kBothBoxes, Frame::ELEMENT_MAXIMIZE},
                      ElementCase{{732, 10}, false, kBothBoxes, Frame::ELEMENT_MAXIMIZE},
                      ElementCase{{740, 10}, true, kBothBoxes, Frame::ELEMENT_RESTORE},
                      ElementCase{{731, 10}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      ElementCase{{730, 10}, false, kBothBoxes, Frame::ELEMENT_MINIMIZE},
                      ElementCase{{699, 10}, false, kBothBoxes, Frame::ELEMENT_MINIMIZE},
                      ElementCase{{698, 10}, false, kBothBoxes, Frame::ELEMENT_NONE},
                      // Without the boxes their places are plain caption.
                      ElementCase{{710, 10}, false, Frame::FRAME_MAXIMIZEBOX, Frame::ELEMENT_NONE},
                      ElementCase{{740, 10}, false, Frame::FRAME_MINIMIZEBOX, Frame::ELEMENT_NONE},
                      ElementCase{
                          {710, 10}, false, Frame::FRAME_MINIMIZEBOX, Frame::ELEMENT_MINIMIZE}));

struct HitCase
{
    QPoint pt;
    bool bMaximized;
    Frame::FrameHit hit;
};

void PrintTo(const HitCase& c, std::ostream* os)
{
    *os << "at " << c.pt.x() << "," << c.pt.y() << (c.bMaximized ? " maximized" : "") << " hit "
        << static_cast<int>(c.hit);
}

class FrameHits : public ::testing::TestWithParam<HitCase>
{
};

TEST_P(FrameHits, PointFindsItsPart)
{
    const HitCase& c = GetParam();
    EXPECT_EQ(Frame::FrameHitTest(c.pt, QSize(kWidth, 500), c.bMaximized), c.hit)
        << "at " << c.pt.x() << "," << c.pt.y();
}

INSTANTIATE_TEST_SUITE_P(
    Frame, FrameHits,
    ::testing::Values(
        HitCase{{0, 200}, false, Frame::HIT_LEFT}, HitCase{{4, 200}, false, Frame::HIT_LEFT},
        HitCase{{5, 200}, false, Frame::HIT_CLIENT}, HitCase{{795, 200}, false, Frame::HIT_RIGHT},
        HitCase{{794, 200}, false, Frame::HIT_CLIENT}, HitCase{{400, 0}, false, Frame::HIT_TOP},
        HitCase{{400, 5}, false, Frame::HIT_CAPTION}, HitCase{{400, 42}, false, Frame::HIT_CAPTION},
        HitCase{{400, 43}, false, Frame::HIT_CLIENT}, HitCase{{400, 494}, false, Frame::HIT_BOTTOM},
        HitCase{{400, 493}, false, Frame::HIT_CLIENT}, HitCase{{10, 0}, false, Frame::HIT_TOPLEFT},
        HitCase{{799, 10}, false, Frame::HIT_TOPRIGHT},
        HitCase{{2, 490}, false, Frame::HIT_BOTTOMLEFT},
        HitCase{{790, 499}, false, Frame::HIT_BOTTOMRIGHT},
        // Maximized: nothing resizes; the top edge is caption.
        HitCase{{0, 200}, true, Frame::HIT_CLIENT}, HitCase{{400, 0}, true, Frame::HIT_CAPTION},
        HitCase{{799, 499}, true, Frame::HIT_CLIENT}));

// ---- System menu ------------------------------------------------------------------------

struct MenuCase
{
    bool bMaximized;
    bool bMinimized;
    unsigned nStyle;
    Frame::SystemMenuState state; // restore, move, size, minimize, maximize, close
};

void PrintTo(const MenuCase& c, std::ostream* os)
{
    *os << (c.bMaximized   ? "maximized"
            : c.bMinimized ? "minimized"
                           : "normal")
        << " style " << c.nStyle;
}

class SystemMenu : public ::testing::TestWithParam<MenuCase>
{
};

TEST_P(SystemMenu, ItemsGreyedByState)
{
    const MenuCase& c = GetParam();
    const Frame::SystemMenuState state =
        Frame::SystemMenuItems(c.bMaximized, c.bMinimized, c.nStyle);
    EXPECT_EQ(state.bRestore, c.state.bRestore);
    EXPECT_EQ(state.bMove, c.state.bMove);
    EXPECT_EQ(state.bSize, c.state.bSize);
    EXPECT_EQ(state.bMinimize, c.state.bMinimize);
    EXPECT_EQ(state.bMaximize, c.state.bMaximize);
    EXPECT_TRUE(state.bClose);
}

INSTANTIATE_TEST_SUITE_P(
    Frame, SystemMenu,
    ::testing::Values(
        MenuCase{false, false, kBothBoxes, {false, true, true, true, true, true}},
        MenuCase{true, false, kBothBoxes, {true, false, false, true, false, true}},
        MenuCase{false, true, kBothBoxes, {true, false, false, false, true, true}},
        MenuCase{false, false, Frame::FRAME_MINIMIZEBOX, {false, false, false, true, false, true}},
        MenuCase{false, false, Frame::FRAME_MAXIMIZEBOX, {false, false, false, false, true, true}},
        MenuCase{false, false, 0, {false, false, false, false, false, true}}));

// ---- Maximized size ---------------------------------------------------------------------

struct MaximizedCase
{
    const char* side;
    QRect work;
    QRect expected;
};

void PrintTo(const MaximizedCase& c, std::ostream* os)
{
    *os << "task bar " << c.side;
}

class MaximizedSize : public ::testing::TestWithParam<MaximizedCase>
{
};

TEST_P(MaximizedSize, FollowsTheWorkArea)
{
    const QRect screen(0, 0, 1920, 1080);
    EXPECT_EQ(Frame::MaximizedRect(screen, GetParam().work), GetParam().expected)
        << GetParam().side;
}

INSTANTIATE_TEST_SUITE_P(
    Frame, MaximizedSize,
    ::testing::Values(MaximizedCase{"bottom", {0, 0, 1920, 1040}, {-4, -4, 1928, 1048}},
                      MaximizedCase{"left", {60, 0, 1860, 1080}, {56, -4, 1868, 1088}},
                      MaximizedCase{"top", {0, 40, 1920, 1040}, {-4, 36, 1928, 1048}},
                      MaximizedCase{"right", {0, 0, 1860, 1080}, {-4, -4, 1868, 1088}},
                      MaximizedCase{"none", {0, 0, 1920, 1080}, {-4, -4, 1928, 1083}}));

TEST(MaximizedSizeOnASecondScreen, ComparesWithThatScreensEdges)
{
    const QRect screen(1920, 0, 1280, 1024);
    EXPECT_EQ(Frame::MaximizedRect(screen, QRect(1920, 0, 1280, 984)), QRect(1916, -4, 1288, 992));
}

// ---- Corner regions ---------------------------------------------------------------------

QImage KeyImage(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(SKIN_KEY_COLOUR);
    return image;
}

TEST(CornerRegion, AllKeyGivesNoRegion)
{
    EXPECT_TRUE(Frame::CornerRegion(KeyImage({10, 6}), SKIN_KEY_COLOUR).isEmpty());
}

TEST(CornerRegion, LonePixelEnds)
{
    QImage image = KeyImage({5, 5});
    image.setPixel(2, 2, 0xFF808080);
    EXPECT_EQ(Frame::TraceOutline(image, SKIN_KEY_COLOUR), QPolygon({QPoint(2, 2)}));
}

TEST(CornerRegion, StraightRunsKeepOnlyTheirEnds)
{
    QImage image = KeyImage({12, 8});
    for (int y = 2; y < 6; ++y)
        for (int x = 3; x < 10; ++x)
            image.setPixel(x, y, 0xFF202020);
    const QPolygon outline = Frame::TraceOutline(image, SKIN_KEY_COLOUR);
    EXPECT_EQ(outline, QPolygon({QPoint(3, 2), QPoint(9, 2), QPoint(9, 5), QPoint(3, 5)}));
}

// ---- The window's region from the real pieces ------------------------------------------

class FrameWindow : public ::testing::Test
{
protected:
    FrameWindow() : m_app({{11268, QStringLiteral("Close")}}) {}
    WidgetTestApp m_app;
};

// Pixels of a piece that are drawn (not key-coloured) but outside the
// region, and key-coloured ones inside it, with the piece placed at `origin`.
int Mismatches(const QRegion& region, const char* piece, QPoint origin)
{
    const QImage image =
        LoadSkinImage(QString::fromLatin1(piece)).convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool bKey = (image.pixel(x, y) & 0xFFFFFF) == (SKIN_KEY_COLOUR & 0xFFFFFF);
            if (bKey == region.contains(origin + QPoint(x, y)))
                ++n;
        }
    return n;
}

TEST_F(FrameWindow, RegionFollowsTheCornerPieces)
{
    Frame frame;
    ASSERT_TRUE(frame.CreateFrame());
    const int W = 600, H = 400;
    frame.resize(W, H);
    const QRegion region = frame.WindowRegion();
    // A traced outline united with itself moved by (1, 1) can be a pixel off
    // where the curve runs diagonally; a misplaced corner is off by dozens.
    const struct
    {
        const char* piece;
        QPoint origin;
    } corners[] = {{"Image\\MainFrame\\bg_rodoZir_01.png", {0, 0}},
                   {"Image\\MainFrame\\bg_rodoZir_03.png", {W - 130, 0}},
                   {"Image\\MainFrame\\bg_rodoZir_07.png", {0, H - 6}},
                   {"Image\\MainFrame\\bg_rodoZir_09.png", {W - 10, H - 6}}};
    for (const auto& corner : corners)
        EXPECT_LE(Mismatches(region, corner.piece, corner.origin), 2) << corner.piece;
    EXPECT_TRUE(region.contains(QPoint(W - 1, H - 7))) << "the right outline reaches the corner";
    EXPECT_TRUE(region.contains(QPoint(W - 7, H - 1))) << "the bottom outline reaches the corner";
    EXPECT_FALSE(region.contains(QPoint(W - 1, H - 1)));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, W, H));
    EXPECT_TRUE(region.contains(QRect(5, 43, W - 10, H - 49))) << "the client area is whole";
}

// ---- Caption buttons on a shown window ---------------------------------------------------

class RecordingFrame : public Frame
{
public:
    int nCloseEvents = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++nCloseEvents;
        Frame::closeEvent(event);
    }
};

class CaptionClicks : public FrameWindow
{
protected:
    CaptionClicks()
    {
        m_frame.CreateFrame();
        m_frame.setMenuBar(new QMenuBar);
        m_frame.menuBar()->addMenu(QStringLiteral("File"));
        m_frame.setCentralWidget(new QWidget);
        m_frame.resize(kFrameSize);
        m_frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
    }

    static QPoint ButtonCentre(int nElement)
    {
        return Frame::CaptionButtonPos(nElement, kFrameSize.width(), kButton) + QPoint(13, 10);
    }

    void Click(QPoint press, QPoint release)
    {
        QTest::mousePress(&m_frame, Qt::LeftButton, {}, press);
        QTest::mouseRelease(&m_frame, Qt::LeftButton, {}, release);
        QCoreApplication::processEvents();
    }

    static constexpr QSize kFrameSize{600, 400};
    RecordingFrame m_frame;
};

TEST_F(CaptionClicks, MenuBarAndContentsSitInsideTheFrame)
{
    EXPECT_EQ(m_frame.menuBar()->geometry().topLeft(), QPoint(5, 43));
    EXPECT_EQ(m_frame.menuBar()->width(), kFrameSize.width() - 10);
    EXPECT_EQ(m_frame.centralWidget()->geometry().bottom(), kFrameSize.height() - 7);
}

TEST_F(CaptionClicks, CloseButtonClosesThroughCloseEvent)
{
    Click(ButtonCentre(Frame::ELEMENT_CLOSE), ButtonCentre(Frame::ELEMENT_CLOSE));
    EXPECT_EQ(m_frame.nCloseEvents, 1);
    EXPECT_FALSE(m_frame.isVisible());
}

TEST_F(CaptionClicks, MinimizeButtonMinimizes)
{
    Click(ButtonCentre(Frame::ELEMENT_MINIMIZE), ButtonCentre(Frame::ELEMENT_MINIMIZE));
    EXPECT_TRUE(m_frame.isMinimized());
    EXPECT_EQ(m_frame.nCloseEvents, 0);
}

TEST_F(CaptionClicks, ReleaseAwayFromThePressedButtonDoesNothing)
{
    for (const QPoint release :
         {QPoint(300, 200), ButtonCentre(Frame::ELEMENT_MINIMIZE), QPoint(300, 20)}) {
        Click(ButtonCentre(Frame::ELEMENT_CLOSE), release);
        EXPECT_EQ(m_frame.nCloseEvents, 0);
        EXPECT_TRUE(m_frame.isVisible());
        EXPECT_FALSE(m_frame.isMinimized());
        EXPECT_EQ(m_frame.HotElement(), Frame::ELEMENT_NONE);
    }
}

TEST_F(CaptionClicks, DoubleClickOnTheCaptionTogglesMaximize)
{
    QTest::mouseDClick(&m_frame, Qt::LeftButton, {}, QPoint(300, 20));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_frame.isMaximized());
    QTest::mouseDClick(&m_frame, Qt::LeftButton, {}, QPoint(300, 20));
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_frame.isMaximized());

    m_frame.SetFrameStyle(Frame::FRAME_MINIMIZEBOX);
    QTest::mouseDClick(&m_frame, Qt::LeftButton, {}, QPoint(300, 20));
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_frame.isMaximized()) << "no maximize box";
}

TEST_F(CaptionClicks, SystemMenuTakesItsTextsFromTheResources)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ADTRC.lang"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[strings]\n9330 = &Verschieben\n9331 = &Größe ändern\n"
                                  "61817 = Wiederherstellen\n11268 = Schließen\n")
                       .toUtf8());
    }
    CLangResources resources;
    ASSERT_TRUE(resources.LoadFile(path));
    SetLangResources(&resources);
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* action : menu->actions())
            if (!action->isSeparator())
                texts << action->text();
        menu->close();
    });
    QTest::mouseClick(&m_frame, Qt::RightButton, {}, QPoint(300, 20));
    SetLangResources(nullptr);
    // Restore, Move, Size, Minimize, Maximize (this set has none), Close.
    EXPECT_EQ(texts, QStringList({QStringLiteral("Wiederherstellen"),
                                  QStringLiteral("&Verschieben"), QStringLiteral("&Größe ändern"),
                                  QString(), QString(), QStringLiteral("Schließen")}));
}

TEST_F(CaptionClicks, DoubleClickOnTheIconCloses)
{
    QTest::mouseDClick(&m_frame, Qt::LeftButton, {}, QPoint(20, 20));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_frame.nCloseEvents, 1);
}

} // namespace
