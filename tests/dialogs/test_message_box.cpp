#include "AdtMessageBox.h"
#include "ModalDialogs.h"
#include "QtPrint.h"
#include "SkinGeometry.h"
#include "WidgetHelpers.h"
#include "WidgetTestApp.h"

#include <gtest/gtest.h>
#include <map>

using namespace Qt::StringLiterals;

namespace {

const QString kCallerIcon = u"Image\\mine.png"_s;

const std::map<int, QString> kStrings = {{100, u"Lantern"_s},
                                         {ID_MB_OK, u"OK"_s},
                                         {ID_MB_CANCEL, u"Cancel"_s},
                                         {ID_MB_ABORT, u"Abort"_s},
                                         {ID_MB_RETRY, u"Retry"_s},
                                         {ID_MB_IGNORE, u"Ignore"_s},
                                         {ID_MB_YES, u"Yes"_s},
                                         {ID_MB_NO, u"No"_s},
                                         {IDS_MB_CLOSE_TIP, u"Close"_s},
                                         {500, u"A message from the resources."_s}};

class MessageBox : public ::testing::Test
{
protected:
    MessageBox() : m_app(kStrings) {}

    static QString Captions(const CAdtMessageBox& box)
    {
        QStringList captions;
        for (const CAlphaButton* button : box.Buttons())
            captions << button->text();
        return captions.join(u' ');
    }

    WidgetTestApp m_app;
};

// Each button set's captions, and every button answers what its caption says.
TEST_F(MessageBox, EachStyleShowsItsButtonsAndEveryButtonAnswersItsCaption)
{
    const std::map<QString, int> answer = {{u"OK"_s, IDOK},         {u"Cancel"_s, IDCANCEL},
                                           {u"Abort"_s, IDABORT},   {u"Retry"_s, IDRETRY},
                                           {u"Ignore"_s, IDIGNORE}, {u"Yes"_s, IDYES},
                                           {u"No"_s, IDNO}};
    const std::pair<unsigned, const char*> cases[] = {
        {MB_OK, "OK"},
        {MB_OKCANCEL | MB_ICONERROR, "OK Cancel"},
        {MB_ABORTRETRYIGNORE, "Abort Retry Ignore"},
        {MB_YESNOCANCEL, "Yes No Cancel"},
        {MB_YESNO | MB_ICONINFORMATION, "Yes No"},
        {MB_RETRYCANCEL | MB_ICONWARNING, "Retry Cancel"},
        // Other sets: the caller's icon, OK with icon bits, else no button, not even close.
        {9 | MB_ICONERROR, "OK"},
        {9, ""},
    };
    for (const auto& [nStyle, captions] : cases) {
        SCOPED_TRACE(nStyle);
        CAdtMessageBox box(u"Delete the files?"_s, nStyle, 100, nullptr, kCallerIcon, false);
        box.InitDialog();
        EXPECT_EQ(Captions(box), QLatin1String(captions)); // left to right
        EXPECT_EQ(box.CloseButton() != nullptr, *captions != 0);
        if ((nStyle & MB_TYPEMASK) > MB_RETRYCANCEL) {
            EXPECT_EQ(box.IconPath(), kCallerIcon);
        }
        for (std::size_t i = 0; i < box.Buttons().size(); ++i) {
            const QString caption = box.Buttons()[i]->text();
            CAdtMessageBox run(u"Delete the files?"_s, nStyle, 100, nullptr, kCallerIcon, false);
            EXPECT_EQ(RunModal(run, [&run, i](QWidget*) { Click(run.Buttons()[i]); }),
                      answer.at(caption))
                << caption;
        }
    }
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
}

// Texts from the resources; Enter, Esc and close answer; open from InitDialog until it goes.
TEST_F(MessageBox, KeysAndTheCloseButtonAnswer)
{
    auto run = [](const std::function<void(CAdtMessageBox&)>& act) {
        CAdtMessageBox box(500, MB_YESNO, 100, nullptr, MESSAGE_BOX_DEFAULT_ICON, false);
        EXPECT_EQ(GetOpenModalDialogCount(), 0);
        return RunModal(box, [&](QWidget* open) {
            EXPECT_EQ(open, &box);
            EXPECT_EQ(GetOpenModalDialogCount(), 1);
            EXPECT_EQ(box.Text(), u"A message from the resources.");
            EXPECT_EQ(box.TitleLabel()->Text(), u"Lantern");
            EXPECT_EQ(box.CloseButton()->TooltipText(), u"Close");
            EXPECT_EQ(box.objectName(), MESSAGE_BOX_CLASS_NAME) << "other programs find it by this";
            act(box);
        });
    };
    EXPECT_EQ(run([](CAdtMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }), IDOK)
        << "Enter gives OK whatever the buttons";
    EXPECT_EQ(run([](CAdtMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }), IDCANCEL);
    EXPECT_EQ(run([](CAdtMessageBox& box) { Click(box.CloseButton()); }), IDCANCEL);
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
}

// The box grows with its text up to a limit, keeps everything inside, and has no holes.
TEST_F(MessageBox, GrowsWithItsTextAndKeepsEverythingInside)
{
    QSize last;
    for (const int repeats : {1, 12, 400, 800}) {
        SCOPED_TRACE(repeats);
        const QString text =
            u"Every word of this message makes the box larger. "_s.repeated(repeats);
        CAdtMessageBox box(text, MB_YESNOCANCEL, 100, nullptr, MESSAGE_BOX_DEFAULT_ICON, false);
        box.InitDialog();
        const QSize size = box.BoxSize();
        EXPECT_EQ(box.size(), size);
        if (repeats == 800) {
            EXPECT_EQ(size, last) << "the largest size";
        } else if (repeats > 1) {
            EXPECT_TRUE(size.width() > last.width() || size.height() > last.height());
        }
        last = size;

        const QRect inside(QPoint(0, 0), size);
        const std::vector<CAlphaButton*> buttons = box.Buttons();
        ASSERT_EQ(buttons.size(), 3u);
        // At the largest size a longer text is cut at the bottom.
        if (repeats < 400) {
            EXPECT_TRUE(inside.contains(box.TextRect()));
            EXPECT_LT(box.TextRect().bottom(), buttons[0]->y());
        }
        EXPECT_LE(box.TextRect().right(), size.width());
        for (const QWidget* shown : std::initializer_list<const QWidget*>{
                 box.IconLabel(), box.CloseButton(), buttons[0], buttons[1], buttons[2]})
            EXPECT_TRUE(inside.contains(shown->geometry())) << shown->objectName().toStdString();
        EXPECT_TRUE(buttons[0]->geometry().right() < buttons[1]->x() &&
                    buttons[1]->geometry().right() < buttons[2]->x());
        EXPECT_GT(buttons[2]->geometry().right(), size.width() - 20) << "at the right edge";

        // The artwork's rounded corners are cut from the window; the rest is drawn.
        const QRegion region = box.WindowRegion();
        EXPECT_TRUE(!region.contains(QPoint(0, 0)) &&
                    region.contains(QPoint(0, size.height() / 2)) &&
                    !region.contains(QPoint(size.width() - 1, size.height() - 1)));
        const QImage background = box.Background().convertToFormat(QImage::Format_RGB32);
        int holes = 0;
        for (const QRect& r : region)
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    holes += (background.pixel(x, y) & 0xFFFFFF) == (SKIN_KEY_COLOUR & 0xFFFFFF);
        EXPECT_EQ(holes, 0);
    }
}

} // namespace
