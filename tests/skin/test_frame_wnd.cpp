#include "GXTFrameWnd.h"
#include "QtPrint.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "WidgetHelpers.h"
#include "WidgetTestApp.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

namespace {

using Frame = CGXTFrameWnd;

constexpr QSize kButton(26, 20);
constexpr unsigned kBothBoxes = Frame::FRAME_MINIMIZEBOX | Frame::FRAME_MAXIMIZEBOX;

QPoint ButtonCentre(int nElement, int nWidth)
{
    return Frame::CaptionButtonPos(nElement, nWidth, kButton) +
           QPoint(kButton.width() / 2, kButton.height() / 2);
}

// Every point inside a drawn caption button finds that button; a box the
// style leaves out is plain caption.
TEST(FrameCaption, ButtonsAnswerWhereTheyAreDrawn)
{
    const int W = 800;
    const QSize icon(32, 32);
    auto at = [&](QPoint pt, bool bMaximized = false, unsigned nStyle = kBothBoxes) {
        return Frame::CaptionElementAt(pt, W, icon, kButton, bMaximized, nStyle);
    };
    const struct
    {
        int nDrawn;
        bool bMaximized;
        int nFound;
    } cases[] = {{Frame::ELEMENT_CLOSE, false, Frame::ELEMENT_CLOSE},
                 {Frame::ELEMENT_MAXIMIZE, false, Frame::ELEMENT_MAXIMIZE},
                 {Frame::ELEMENT_RESTORE, true, Frame::ELEMENT_RESTORE},
                 {Frame::ELEMENT_MINIMIZE, false, Frame::ELEMENT_MINIMIZE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nDrawn);
        const QRect inner =
            QRect(Frame::CaptionButtonPos(c.nDrawn, W, kButton), kButton).adjusted(1, 1, -1, -1);
        int misses = 0;
        for (int y = inner.top(); y <= inner.bottom(); ++y)
            for (int x = inner.left(); x <= inner.right(); ++x)
                misses += at({x, y}, c.bMaximized) != c.nFound;
        EXPECT_EQ(misses, 0);
    }
    const QPoint minimize = ButtonCentre(Frame::ELEMENT_MINIMIZE, W);
    const QPoint maximize = ButtonCentre(Frame::ELEMENT_MAXIMIZE, W);
    EXPECT_EQ(at(minimize, false, Frame::FRAME_MAXIMIZEBOX), Frame::ELEMENT_NONE);
    EXPECT_EQ(at(maximize, false, Frame::FRAME_MINIMIZEBOX), Frame::ELEMENT_NONE);
    EXPECT_EQ(at(minimize, false, Frame::FRAME_MINIMIZEBOX), Frame::ELEMENT_MINIMIZE);
    EXPECT_EQ(at({24, 16}), Frame::ELEMENT_ICON);
    EXPECT_EQ(at({400, 16}), Frame::ELEMENT_NONE);
}

TEST(FrameCaption, EdgesResizeUnlessMaximized)
{
    const struct
    {
        QPoint pt;
        bool bMaximized;
        Frame::FrameHit hit;
    } cases[] = {
        {{0, 250}, false, Frame::HIT_LEFT},
        {{799, 250}, false, Frame::HIT_RIGHT},
        {{400, 0}, false, Frame::HIT_TOP},
        {{400, 499}, false, Frame::HIT_BOTTOM},
        {{0, 0}, false, Frame::HIT_TOPLEFT},
        {{799, 0}, false, Frame::HIT_TOPRIGHT},
        {{0, 499}, false, Frame::HIT_BOTTOMLEFT},
        {{799, 499}, false, Frame::HIT_BOTTOMRIGHT},
        {{400, 20}, false, Frame::HIT_CAPTION},
        {{400, 250}, false, Frame::HIT_CLIENT},
        // Maximized: nothing resizes; the top edge is caption.
        {{0, 250}, true, Frame::HIT_CLIENT},
        {{400, 0}, true, Frame::HIT_CAPTION},
        {{799, 499}, true, Frame::HIT_CLIENT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Frame::FrameHitTest(c.pt, QSize(800, 500), c.bMaximized), c.hit)
            << c.pt.x() << "," << c.pt.y() << (c.bMaximized ? " maximized" : "");
}

TEST(FrameSystemMenu, ItemsGreyedByState)
{
    using State = Frame::SystemMenuState; // restore, move, size, minimize, maximize, close
    const struct
    {
        bool bMaximized;
        bool bMinimized;
        unsigned nStyle;
        State state;
    } cases[] = {
        {false, false, kBothBoxes, {false, true, true, true, true, true}},
        {true, false, kBothBoxes, {true, false, false, true, false, true}},
        {false, true, kBothBoxes, {true, false, false, false, true, true}},
        {false, false, Frame::FRAME_MINIMIZEBOX, {false, false, false, true, false, true}},
        {false, false, Frame::FRAME_MAXIMIZEBOX, {false, false, false, false, true, true}},
        {false, false, 0, {false, false, false, false, false, true}},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Frame::SystemMenuItems(c.bMaximized, c.bMinimized, c.nStyle) == c.state)
            << c.bMaximized << c.bMinimized << " style " << c.nStyle;
}

// Maximized, the borders lie just off the screen and the window covers the
// work area, beside a panel on any side; without a panel the last row stays
// free for one that hides itself.
TEST(FrameMaximized, CoversTheWorkAreaWithTheBordersOffScreen)
{
    constexpr int kBorder = 4;
    const QRect screen(0, 0, 1920, 1080);
    const QRect second(1920, 0, 1280, 1024);
    const std::pair<QRect, QRect> cases[] = {
        {screen, {0, 0, 1920, 1040}}, {screen, {60, 0, 1860, 1080}},  {screen, {0, 40, 1920, 1040}},
        {screen, {0, 0, 1860, 1080}}, {second, {1920, 0, 1280, 984}},
    };
    for (const auto& [on, work] : cases)
        EXPECT_EQ(Frame::MaximizedRect(on, work).adjusted(kBorder, kBorder, -kBorder, -kBorder),
                  work)
            << work.x() << "," << work.y() << " " << work.width() << "x" << work.height();
    const QRect free = Frame::MaximizedRect(screen, screen);
    EXPECT_EQ(free.topLeft(), QPoint(-kBorder, -kBorder));
    EXPECT_EQ(free.width(), 1920 + 2 * kBorder);
    EXPECT_EQ(free.bottom(), screen.bottom() - 1);
}

TEST(FrameCorners, OutlineOfAPieceKeepsOnlyTheEndsOfStraightRuns)
{
    QImage image(12, 8, QImage::Format_ARGB32);
    image.fill(SKIN_KEY_COLOUR);
    EXPECT_TRUE(Frame::CornerRegion(image, SKIN_KEY_COLOUR).isEmpty()) << "all key colour";
    image.setPixel(1, 1, 0xFF808080);
    EXPECT_EQ(Frame::TraceOutline(image, SKIN_KEY_COLOUR), QPolygon({QPoint(1, 1)}))
        << "a lone pixel ends the walk";
    image.fill(SKIN_KEY_COLOUR);
    for (int y = 2; y < 6; ++y)
        for (int x = 3; x < 10; ++x)
            image.setPixel(x, y, 0xFF202020);
    EXPECT_EQ(Frame::TraceOutline(image, SKIN_KEY_COLOUR),
              QPolygon({QPoint(3, 2), QPoint(9, 2), QPoint(9, 5), QPoint(3, 5)}));
}

class FrameWindow : public ::testing::Test
{
protected:
    FrameWindow() : m_app({{11268, QStringLiteral("Close")}}) {}
    WidgetTestApp m_app;
};

// The window's shape follows the real corner pieces: their drawn pixels
// are inside, their key-coloured ones outside, and the rest is whole.
TEST_F(FrameWindow, RegionFollowsTheCornerPieces)
{
    Frame frame;
    ASSERT_TRUE(frame.CreateFrame());
    const int W = 600, H = 400;
    frame.resize(W, H);
    const QRegion region = frame.WindowRegion();
    QRegion rest(0, 0, W, H);
    for (const auto& [number, bRight, bBottom] : {std::tuple{"01", false, false},
                                                  {"03", true, false},
                                                  {"07", false, true},
                                                  {"09", true, true}}) {
        const QImage piece =
            LoadSkinImage(
                QStringLiteral("Image\\MainFrame\\bg_rodoZir_%1.png").arg(QLatin1String(number)))
                .convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(piece.isNull()) << number;
        const QPoint origin(bRight ? W - piece.width() : 0, bBottom ? H - piece.height() : 0);
        rest -= QRegion(QRect(origin, piece.size()));
        // A traced outline united with itself moved by (1, 1) can be a pixel
        // off where the curve runs diagonally; a misplaced corner is off by dozens.
        int mismatches = 0;
        for (int y = 0; y < piece.height(); ++y)
            for (int x = 0; x < piece.width(); ++x)
                mismatches += ((piece.pixel(x, y) & 0xFFFFFF) == (SKIN_KEY_COLOUR & 0xFFFFFF)) ==
                              region.contains(origin + QPoint(x, y));
        EXPECT_LE(mismatches, 2) << number;
    }
    EXPECT_TRUE((rest - region).isEmpty()) << "between the corners the window is whole";
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, W, H));
}

// ---- The caption on a shown window ---------------------------------------------------------

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
        m_frame.resize(600, 400);
        m_frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
    }
    QPoint Centre(int nElement) const { return ButtonCentre(nElement, m_frame.width()); }
    void Click(QPoint press, QPoint release)
    {
        QTest::mousePress(&m_frame, Qt::LeftButton, {}, press);
        QTest::mouseRelease(&m_frame, Qt::LeftButton, {}, release);
        QCoreApplication::processEvents();
    }
    void DoubleClick(QPoint pt)
    {
        QTest::mouseDClick(&m_frame, Qt::LeftButton, {}, pt);
        QCoreApplication::processEvents();
    }

    RecordingFrame m_frame;
};

TEST_F(CaptionClicks, MenuBarAndContentsLieInTheClientArea)
{
    for (const QWidget* inside :
         {static_cast<QWidget*>(m_frame.menuBar()), m_frame.centralWidget()})
        for (const QPoint corner : {inside->geometry().topLeft(), inside->geometry().bottomRight()})
            EXPECT_EQ(Frame::FrameHitTest(corner, m_frame.size(), false), Frame::HIT_CLIENT)
                << inside->metaObject()->className() << " " << corner.x() << "," << corner.y();
    EXPECT_GT(m_frame.centralWidget()->height(), 300);
}

TEST_F(CaptionClicks, CloseButtonClosesThroughCloseEventOnlyWhenReleasedOnIt)
{
    for (const QPoint release :
         {QPoint(300, 200), Centre(Frame::ELEMENT_MINIMIZE), QPoint(300, 20)}) {
        Click(Centre(Frame::ELEMENT_CLOSE), release);
        EXPECT_EQ(m_frame.nCloseEvents, 0);
        EXPECT_TRUE(m_frame.isVisible());
        EXPECT_FALSE(m_frame.isMinimized());
        EXPECT_EQ(m_frame.HotElement(), Frame::ELEMENT_NONE);
    }
    Click(Centre(Frame::ELEMENT_CLOSE), Centre(Frame::ELEMENT_CLOSE));
    EXPECT_EQ(m_frame.nCloseEvents, 1);
    EXPECT_FALSE(m_frame.isVisible());
}

TEST_F(CaptionClicks, MinimizeButtonMinimizes)
{
    Click(Centre(Frame::ELEMENT_MINIMIZE), Centre(Frame::ELEMENT_MINIMIZE));
    EXPECT_TRUE(m_frame.isMinimized());
    EXPECT_EQ(m_frame.nCloseEvents, 0);
}

TEST_F(CaptionClicks, DoubleClickOnTheCaptionTogglesMaximizeAndOnTheIconCloses)
{
    DoubleClick({300, 20});
    EXPECT_TRUE(m_frame.isMaximized());
    DoubleClick({300, 20});
    EXPECT_FALSE(m_frame.isMaximized());
    m_frame.SetFrameStyle(Frame::FRAME_MINIMIZEBOX);
    DoubleClick({300, 20});
    EXPECT_FALSE(m_frame.isMaximized()) << "no maximize box";
    DoubleClick({20, 20});
    EXPECT_EQ(m_frame.nCloseEvents, 1);
}

TEST_F(CaptionClicks, SystemMenuTakesItsTextsFromTheResources)
{
    const ScopedLangSet german("9330 = &Verschieben\n9331 = &Größe ändern\n"
                               "61817 = Wiederherstellen\n11268 = Schließen\n");
    ASSERT_TRUE(german.Loaded());
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
    // Restore, Move, Size, Minimize, Maximize (this set has none), Close.
    EXPECT_EQ(texts, QStringList({QStringLiteral("Wiederherstellen"),
                                  QStringLiteral("&Verschieben"), QStringLiteral("&Größe ändern"),
                                  QString(), QString(), QStringLiteral("Schließen")}));
}

} // namespace
