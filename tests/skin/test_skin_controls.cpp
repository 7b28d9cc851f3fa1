#include "ApProgressCtrl.h"
#include "QtPrint.h"
#include "SkinControls.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "SkinMessages.h"
#include "SkinText.h"
#include "WidgetHelpers.h"
#include "WidgetTestApp.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Messages = std::vector<std::pair<unsigned, std::uintptr_t>>;

// A parent that records the messages posted to it.
class Recorder : public QWidget
{
public:
    Messages messages;

protected:
    bool event(QEvent* event) override
    {
        if (const CPostedMessage* message = AsPostedMessage(event)) {
            messages.emplace_back(message->Message(), message->WParam());
            return true;
        }
        return QWidget::event(event);
    }
};

// The current folder is elsewhere: skin images come from beside the program.
class SkinControls : public ::testing::Test
{
protected:
    SkinControls() : m_app({{8016, u"OK"_s}, {700, u"First line\\nsecond line"_s}})
    {
        m_parent.resize(300, 100);
        QDir::setCurrent(m_elsewhere.path());
    }
    ~SkinControls() override
    {
        ExitSkinSource();
        QDir::setCurrent(m_oldCurrent);
    }

    WidgetTestApp m_app;
    Recorder m_parent;
    CSkinControlFactory m_factory;
    QTemporaryDir m_elsewhere;
    const QString m_oldCurrent = QDir::currentPath();
};

// A half-transparent and an opaque pixel, straight and premultiplied (by the lower-cased name).
TEST_F(SkinControls, BitmapsComeFromBesideTheProgramNotTheCurrentFolder)
{
    QTemporaryDir program;
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(50, 100, 200, 128));
    image.setPixel(1, 0, qRgba(10, 20, 30, 255));
    QDir().mkpath(program.filePath(u"Image/Common"_s));
    for (const QString& name : {u"a.png"_s, u"UPPER.PNG"_s})
        ASSERT_TRUE(image.save(program.filePath(u"Image/Common/"_s + name), "PNG"));
    SetProgramFolderForTesting(program.path()); // m_app sets it back
    ASSERT_TRUE(InitSkinSource(QString(), SKIN_SOURCE_FOLDER));

    const QImage straight = LoadSkinBitmap(u"Image\\Common\\a.png"_s, false);
    EXPECT_EQ(straight.format(), QImage::Format_ARGB32);
    EXPECT_EQ(straight.pixel(0, 0), qRgba(50, 100, 200, 128));
    const QImage upper = LoadSkinBitmap(u"Image\\Common\\UPPER.PNG"_s, true);
    ASSERT_EQ(upper.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(reinterpret_cast<const QRgb*>(upper.constScanLine(0))[0], qRgba(25, 50, 100, 128));
    EXPECT_TRUE(LoadSkinBitmap(u"Image\\Common\\none.png"_s, true).isNull());
    EXPECT_EQ(LoadSkinImage(u"Image\\Common\\a.png"_s).size(), QSize(2, 1));
    EXPECT_TRUE(LoadSkinImage(u"Image\\Common\\none.png"_s).isNull());
}

// Each state shows its frame of the strip; a click posts one command once the mouse goes up,
// a press dragged off or a right click nothing.
TEST_F(SkinControls, EachStateDrawsItsFrameAndAClickPostsOneCommand)
{
    QTemporaryDir folder;
    const QColor colours[4] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    QImage strip(4 * 10, 6, QImage::Format_ARGB32);
    for (int state = 0; state < 4; ++state)
        QPainter(&strip).fillRect(state * 10, 0, 10, 6, colours[state]);
    ASSERT_TRUE(strip.save(folder.filePath(u"strip.png"_s)));
    auto* button = new CAlphaButton;
    button->LoadStateImages(folder.filePath(u"strip.png"_s), false);
    button->Create(QString(), WS_CHILD | WS_VISIBLE, QRect(0, 0, 136, 24), &m_parent, 8016);
    m_parent.show();
    auto shown = [&] { return ShownColour(button, QPoint(68, 12)); };
    EXPECT_EQ(shown(), colours[STATE_NORMAL]);

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseMove(button, QPoint(200, 10));
    EXPECT_EQ(shown(), colours[STATE_NORMAL]) << "pressed, then dragged off";
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(200, 10));
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(20, 10));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_parent.messages.empty());

    QTest::mouseMove(button, QPoint(68, 12));
    EXPECT_EQ(shown(), colours[STATE_HOVER]);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(68, 12));
    EXPECT_EQ(shown(), colours[STATE_PRESSED]);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(68, 12));
    EXPECT_TRUE(m_parent.messages.empty()) << "posted, not sent";
    QCoreApplication::processEvents();
    EXPECT_EQ(m_parent.messages, (Messages{{WM_COMMAND, 8016u}})) << "the ID, notification code 0";
    EXPECT_EQ(shown(), colours[STATE_NORMAL]) << "a four-frame button goes back to normal";

    button->setEnabled(false);
    EXPECT_EQ(shown(), colours[STATE_DISABLED]);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_EQ(shown(), colours[STATE_DISABLED]) << "leaving keeps a disabled button disabled";
    button->setEnabled(true);
    EXPECT_EQ(shown(), colours[STATE_NORMAL]);
}

TEST_F(SkinControls, FocusableButtonsAnswerTheKeyboard)
{
    CAlphaButton* first = nullptr;
    CAlphaButton* second = nullptr;
    const QString strip = u"Image\\Common\\button\\btn.png"_s;
    m_factory.CreateAlphaButton(strip, u"&OK"_s, WS_CHILD | WS_VISIBLE, QRect(10, 10, 136, 24),
                                &m_parent, 8016, Qt::white, &first);
    m_factory.CreateAlphaButton(strip, u"&Later"_s, WS_CHILD | WS_VISIBLE, QRect(150, 10, 136, 24),
                                &m_parent, 7, Qt::white, &second);
    first->SetTakesFocus(true);
    second->SetTakesFocus(true);
    m_parent.show();
    m_parent.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_parent));
    const QImage plain = second->grab().toImage();

    // A click gives no focus; a focus set by the program shows no frame.
    QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_FALSE(second->hasFocus());
    second->setFocus();
    EXPECT_EQ(second->grab().toImage(), plain);

    // Tab goes round the two and the focused one is framed.
    QTest::keyClick(second, Qt::Key_Tab);
    ASSERT_TRUE(first->hasFocus());
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(second->hasFocus());
    EXPECT_NE(second->grab().toImage(), plain) << "the focus frame";
    QCoreApplication::processEvents();
    m_parent.messages.clear();

    // Space shows the pressed look until it is let go.
    QTest::keyPress(second, Qt::Key_Space);
    EXPECT_EQ(second->State(), STATE_PRESSED);
    QTest::keyRelease(second, Qt::Key_Space);
    EXPECT_EQ(second->State(), STATE_NORMAL);
    // The access key of the other button clicks it and takes the focus there.
    QTest::keyClick(second, Qt::Key_O, Qt::AltModifier);
    QCoreApplication::processEvents();
    EXPECT_TRUE(first->hasFocus());
    EXPECT_EQ(m_parent.messages, (Messages{{WM_COMMAND, 7u}, {WM_COMMAND, 8016u}}));
}

TEST_F(SkinControls, ProgressBarFillsItsShareAndRepaintsTheParentWhenGoingBack)
{
    CApProgressCtrl* bar = nullptr;
    ASSERT_EQ(m_factory.CreateProgressBar(QRect(0, 0, 438, 28), &m_parent, &bar,
                                          u"Image\\Common\\progressCtrl\\progress_bg_438.png"_s,
                                          u"Image\\Common\\progressCtrl\\progress_unit_438.png"_s),
              SKIN_OK);
    const QImage empty = bar->grab().toImage();
    bar->SetPos(50);
    const QImage half = bar->grab().toImage();
    // Half of the 438 pixels: the unit image up to 219, the background beyond.
    EXPECT_EQ(half.pixel(226, 14), empty.pixel(226, 14)) << "beyond the fill: background";
    EXPECT_NE(half.pixel(212, 14), empty.pixel(212, 14)) << "inside the fill: the unit image";
    bar->SetPos(100);
    EXPECT_NE(bar->grab().toImage().pixel(430, 14), empty.pixel(430, 14));

    QCoreApplication::processEvents();
    EXPECT_TRUE(m_parent.messages.empty()) << "going forward posts nothing";
    bar->SetPos(80);
    bar->SetPos(20);
    bar->SetPos(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_parent.messages.size(), 2u) << "one message per step back";
    EXPECT_EQ(m_parent.messages.at(0).first, WM_PROGRESS_WENT_BACK);
}

} // namespace
