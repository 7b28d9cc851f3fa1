#include "GXTFrameWnd.h"
#include "QtPrint.h"
#include "RecordingFrame.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "WidgetHelpers.h"
#include "WidgetTestApp.h"

#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Frame = CGXTFrameWnd;

constexpr QSize kButton(26, 20);

// Corners, edges, middle and caption; maximized, nothing resizes and the top is caption.
TEST(FrameCaption, EdgesResizeUnlessMaximized)
{
    using F = Frame;
    std::vector<F::FrameHit> normal, maximized;
    for (const QPoint pt :
         {QPoint(0, 0), QPoint(400, 0), QPoint(799, 0), QPoint(0, 250), QPoint(400, 250),
          QPoint(799, 250), QPoint(0, 499), QPoint(400, 499), QPoint(799, 499), QPoint(400, 20)}) {
        normal.push_back(F::FrameHitTest(pt, QSize(800, 500), false));
        maximized.push_back(F::FrameHitTest(pt, QSize(800, 500), true));
    }
    EXPECT_EQ(normal, (std::vector{F::HIT_TOPLEFT, F::HIT_TOP, F::HIT_TOPRIGHT, F::HIT_LEFT,
                                   F::HIT_CLIENT, F::HIT_RIGHT, F::HIT_BOTTOMLEFT, F::HIT_BOTTOM,
                                   F::HIT_BOTTOMRIGHT, F::HIT_CAPTION}));
    EXPECT_EQ(maximized, (std::vector{F::HIT_CAPTION, F::HIT_CAPTION, F::HIT_CAPTION, F::HIT_CLIENT,
                                      F::HIT_CLIENT, F::HIT_CLIENT, F::HIT_CLIENT, F::HIT_CLIENT,
                                      F::HIT_CLIENT, F::HIT_CAPTION}));
}

class FrameWindow : public ::testing::Test
{
protected:
    FrameWindow() : m_app({{11268, u"Close"_s}}) {}
    WidgetTestApp m_app;
};

// ---- The caption on a shown window ---------------------------------------------------------

class CaptionClicks : public FrameWindow
{
protected:
    CaptionClicks()
    {
        m_frame.CreateFrame();
        m_frame.setMenuBar(new QMenuBar);
        m_frame.menuBar()->addMenu(u"File"_s);
        m_frame.setCentralWidget(new QWidget);
        m_frame.resize(600, 400);
        m_frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
    }
    QPoint Centre(int nElement) const
    {
        return Frame::CaptionButtonPos(nElement, m_frame.width(), kButton) +
               QPoint(kButton.width() / 2, kButton.height() / 2);
    }
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

// A box the style leaves out does nothing, by button or double click; a double click on the
// icon closes.
TEST_F(CaptionClicks, BoxesFollowTheStyleAndADoubleClickOnTheIconCloses)
{
    m_frame.SetFrameStyle(Frame::FRAME_MAXIMIZEBOX);
    Click(Centre(Frame::ELEMENT_MINIMIZE), Centre(Frame::ELEMENT_MINIMIZE));
    EXPECT_FALSE(m_frame.isMinimized());
    DoubleClick({300, 20});
    EXPECT_TRUE(m_frame.isMaximized());
    DoubleClick({300, 20});
    m_frame.SetFrameStyle(Frame::FRAME_MINIMIZEBOX);
    DoubleClick({300, 20});
    EXPECT_FALSE(m_frame.isMaximized()) << "no maximize box";
    Click(Centre(Frame::ELEMENT_MINIMIZE), Centre(Frame::ELEMENT_MINIMIZE));
    EXPECT_TRUE(m_frame.isMinimized());
    EXPECT_EQ(m_frame.nCloseEvents, 0);
    m_frame.showNormal();
    DoubleClick({20, 20});
    EXPECT_EQ(m_frame.nCloseEvents, 1);
}

// The caption's menu: texts from the resources, items greyed by state and style.
TEST_F(CaptionClicks, SystemMenuTextsAndItemsGreyedByState)
{
    const ScopedLangSet german("9330 = &Verschieben\n9331 = &Größe ändern\n"
                               "61817 = Wiederherstellen\n11268 = Schließen\n");
    ASSERT_TRUE(german.Loaded());
    auto open = [&] {
        QStringList texts;
        QString enabled;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (const QAction* action : menu->actions())
                if (!action->isSeparator()) {
                    texts << action->text();
                    enabled += action->isEnabled() ? u'+' : u'-';
                }
            menu->close();
        });
        QTest::mouseClick(&m_frame, Qt::RightButton, {}, QPoint(300, 20));
        return std::pair{texts, enabled};
    };
    // Restore, Move, Size, Minimize, Maximize (this set has none), Close.
    EXPECT_EQ(open().first,
              QStringList({u"Wiederherstellen"_s, u"&Verschieben"_s, u"&Größe ändern"_s, QString(),
                           QString(), u"Schließen"_s}));
    EXPECT_EQ(open().second, u"-+++++");
    m_frame.showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(open().second, u"+--+-+");
    m_frame.showNormal();
    m_frame.SetFrameStyle(Frame::FRAME_MINIMIZEBOX);
    QCoreApplication::processEvents();
    EXPECT_EQ(open().second, u"---+-+");
}

} // namespace
