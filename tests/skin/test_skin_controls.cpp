#include "ApProgressCtrl.h"
#include "QtPrint.h"
#include "SkinControls.h"
#include "SkinMessages.h"
#include "SkinText.h"
#include "WidgetHelpers.h"
#include "WidgetTestApp.h"

#include <QPainter>
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

class SkinControls : public ::testing::Test
{
protected:
    SkinControls() : m_app({{8016, u"OK"_s}, {700, u"First line\\nsecond line"_s}})
    {
        m_parent.resize(300, 100);
    }

    WidgetTestApp m_app;
    Recorder m_parent;
    CSkinControlFactory m_factory;
};

// A strip of four flat frames in known colours: the button shows the frame
// of its state, stretched over itself. A click posts one command after the
// mouse goes up; a press dragged off the button or a right click posts nothing.
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

// The marked caption takes the room of its plain text and differs from it
// only by the underline below the baseline.
TEST_F(SkinControls, AccessKeyIsUnderlinedNotShown)
{
    const QFont font = SkinControlFont(90);
    EXPECT_EQ(MeasureSkinText(font, u"&Skip"_s, 0, TF_SINGLELINE | TF_ACCESS_KEY),
              MeasureSkinText(font, u"Skip"_s, 0, TF_SINGLELINE));
    auto draw = [&](const QString& text, unsigned flags) {
        QImage image(80, 20, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setPen(Qt::white);
        DrawSkinText(painter, font, image.rect(), text, TF_SINGLELINE | flags);
        return image;
    };
    const QImage marked = draw(u"&Skip"_s, TF_ACCESS_KEY);
    const QImage plain = draw(u"Skip"_s, 0);
    const int baseline = QFontMetrics(font).ascent();
    EXPECT_EQ(marked.copy(0, 0, 80, baseline), plain.copy(0, 0, 80, baseline));
    EXPECT_NE(marked, plain) << "the underline";
}

TEST_F(SkinControls, TooltipIsTheFirstLineOfTheCommandsString)
{
    CAlphaButton* button = nullptr;
    ASSERT_EQ(m_factory.CreateAlphaButton(u"Image\\Common\\button\\btn.png"_s, QString(),
                                          WS_CHILD | WS_VISIBLE, QRect(10, 10, 136, 24), &m_parent,
                                          700, Qt::white, &button),
              SKIN_OK);
    EXPECT_EQ(button->TooltipText(), u"First line");
    EXPECT_TRUE(button->IsTooltipActive());
    CAlphaButton* silent = nullptr;
    m_factory.CreateAlphaButton(u"x.png"_s, QString(), 0, QRect(), &m_parent, 9999, Qt::white,
                                &silent);
    EXPECT_TRUE(silent->TooltipText().isEmpty()) << "no string, no tooltip";
    EXPECT_EQ(silent->FrameSize(), QSize(0, 0)) << "a missing strip draws nothing";
}

TEST_F(SkinControls, ImageLabelTakesTheImagesSizeAndBlendsOverTheBackground)
{
    ASSERT_EQ(m_factory.SetBackground(u"Image\\Dialogs\\MessageBox\\bg_re_04.png"_s), SKIN_OK);
    CGStatic* label = nullptr;
    ASSERT_EQ(m_factory.CreateImageLabelAt(u"Image\\Dialogs\\MessageBox\\icon_warning.png"_s,
                                           QPoint(50, 84), &m_parent, 1, &label),
              SKIN_OK);
    EXPECT_EQ(label->geometry(), QRect(50, 84, 40, 40));
    // The icon's transparent corner shows the background at the label's place.
    const QImage drawn = label->Render();
    EXPECT_EQ(drawn.pixel(0, 0), m_factory.Background().pixel(50, 84));
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
