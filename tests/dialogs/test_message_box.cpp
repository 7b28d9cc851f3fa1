#include "AdtMessageBox.h"
#include "MessageBoxLayout.h"
#include "ModalDialogs.h"
#include "QtPrint.h"
#include "SkinGeometry.h"
#include "WidgetTestApp.h"

#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString kIcons = QStringLiteral("Image\\Dialogs\\MessageBox\\");

QString Icon(const char* name)
{
    return kIcons + QLatin1String(name);
}

TEST(MessageBoxTables, ButtonSetsLeftToRight)
{
    using V = std::vector<int>;
    EXPECT_EQ(MessageBoxButtons(MB_OK), V{ID_MB_OK});
    EXPECT_EQ(MessageBoxButtons(MB_OKCANCEL | MB_ICONERROR), (V{ID_MB_OK, ID_MB_CANCEL}));
    EXPECT_EQ(MessageBoxButtons(MB_ABORTRETRYIGNORE), (V{ID_MB_ABORT, ID_MB_RETRY, ID_MB_IGNORE}));
    EXPECT_EQ(MessageBoxButtons(MB_YESNOCANCEL), (V{ID_MB_YES, ID_MB_NO, ID_MB_CANCEL}));
    EXPECT_EQ(MessageBoxButtons(MB_YESNO), (V{ID_MB_YES, ID_MB_NO}));
    EXPECT_EQ(MessageBoxButtons(MB_RETRYCANCEL), (V{ID_MB_RETRY, ID_MB_CANCEL}));
    EXPECT_EQ(MessageBoxButtons(6 | MB_ICONQUESTION), V{ID_MB_OK});
    EXPECT_EQ(MessageBoxButtons(15 | 0x80), V{}) << "0x80 is not one of the icon bits";
    EXPECT_TRUE(MessageBoxHasCloseButton(MB_YESNO));
    EXPECT_TRUE(MessageBoxHasCloseButton(7 | MB_ICONINFORMATION));
    EXPECT_FALSE(MessageBoxHasCloseButton(7));
}

TEST(MessageBoxTables, EveryCommandHasItsResult)
{
    const std::pair<int, int> table[] = {{ID_MB_OK, IDOK},         {ID_MB_CANCEL, IDCANCEL},
                                         {ID_MB_ABORT, IDABORT},   {ID_MB_RETRY, IDRETRY},
                                         {ID_MB_IGNORE, IDIGNORE}, {ID_MB_YES, IDYES},
                                         {ID_MB_NO, IDNO},         {ID_MB_CLOSE, IDCANCEL}};
    for (const auto& [command, result] : table)
        EXPECT_EQ(MessageBoxResult(command), result) << command;
    EXPECT_EQ(MessageBoxResult(1), 0);
}

TEST(MessageBoxTables, IconDependsOnTheButtonSet)
{
    const QString caller = QStringLiteral("Image\\mine.png");
    EXPECT_EQ(MessageBoxIconPath(MB_OK, caller), Icon("icon_warning.png"));
    EXPECT_EQ(MessageBoxIconPath(MB_YESNO, caller), Icon("icon_question.png"));
    EXPECT_EQ(MessageBoxIconPath(MB_RETRYCANCEL, caller), QString());
    EXPECT_EQ(MessageBoxIconPath(MB_ABORTRETRYIGNORE | 0x50, caller), QString());
    EXPECT_EQ(MessageBoxIconPath(MB_YESNOCANCEL | MB_ICONWARNING, caller),
              Icon("icon_warning.png"));
    EXPECT_EQ(MessageBoxIconPath(MB_OKCANCEL | MB_ICONERROR, caller), Icon("icon_error.png"));
    EXPECT_EQ(MessageBoxIconPath(MB_OK | MB_ICONINFORMATION, caller), Icon("icon_exclamation.png"));
    EXPECT_EQ(MessageBoxIconPath(MB_RETRYCANCEL | MB_ICONQUESTION, caller),
              Icon("icon_question.png"));
    // Sets 6 to 15: the caller's icon, except for information.
    EXPECT_EQ(MessageBoxIconPath(9 | MB_ICONERROR, caller), caller);
    EXPECT_EQ(MessageBoxIconPath(9, caller), caller);
    EXPECT_EQ(MessageBoxIconPath(9 | MB_ICONINFORMATION, caller), Icon("icon_exclamation.png"));
}

TEST(MessageBoxGeometry, ShortTextGivesTheSmallestBox)
{
    // One line of 14 pixels: 5 lines wanted; the wrap width is at least 318.
    const MessageBoxGeometry g = ComputeMessageBoxGeometry(QSize(40, 14), [](int width) {
        EXPECT_EQ(width, 318);
        return QSize(40, 14);
    });
    EXPECT_EQ(g.sizeBox, QSize(468, 208));
    EXPECT_EQ(g.rectText, QRect(100, 89, 40, 14)); // (208 - 77 - 14) / 2 + 31
}

TEST(MessageBoxGeometry, GrowsWithTheTextUpToItsLimits)
{
    // 3000 pixels on one line: 5 lines of 600.
    const MessageBoxGeometry mid = ComputeMessageBoxGeometry(
        QSize(3000, 14), [](int width) { return QSize(width - 7, 5 * 14); });
    EXPECT_EQ(mid.nWrapWidth, 600);
    EXPECT_EQ(mid.sizeBox, QSize(468 + 593 - 318, 208));

    const MessageBoxGeometry big = ComputeMessageBoxGeometry(QSize(100000, 14), [](int width) {
        EXPECT_EQ(width, 874);
        return QSize(874, 2000);
    });
    EXPECT_EQ(big.sizeBox, QSize(1024, 768));

    // Lines taller than 76 pixels, or none at all, count as one line.
    EXPECT_EQ(
        ComputeMessageBoxGeometry(QSize(500, 90), [](int w) { return QSize(w, 90); }).nWrapWidth,
        500);
    EXPECT_EQ(ComputeMessageBoxGeometry(QSize(0, 0), [](int) { return QSize(0, 0); }).sizeBox,
              QSize(468, 208));
}

TEST(MessageBoxBackground, TilesEndFlushAndEdgesSitAtTheBorder)
{
    EXPECT_EQ(MessageBoxTileOffsets(0, 456), std::vector<int>{406});
    EXPECT_EQ(MessageBoxTileOffsets(120, 456), (std::vector<int>{456, 506, 526}));
    EXPECT_EQ(MessageBoxTileOffsets(100, 162), (std::vector<int>{162, 212, 212}));

    // Pieces in flat colours, each its own.
    MessageBoxPieces pieces;
    const int widths[3] = {456, 50, 12};
    const int heights[3] = {162, 50, 46};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            QImage piece(widths[column], heights[row], QImage::Format_ARGB32);
            piece.fill(qRgb(row * 80 + 10, column * 80 + 10, 40));
            pieces.piece[row][column] = piece;
        }
    pieces.piece[2][2] = QImage(); // a missing piece shows the key colour
    const QSize size(468 + 120, 208 + 75);
    const QImage image = ComposeMessageBoxBackground(size, pieces);
    auto at = [&](int x, int y) { return image.pixel(x, y) & 0xFFFFFF; };
    auto colour = [](int row, int column) {
        return QRgb(qRgb(row * 80 + 10, column * 80 + 10, 40)) & 0xFFFFFF;
    };
    EXPECT_EQ(at(0, 0), colour(0, 0));
    EXPECT_EQ(at(456 + 120 - 1, 0), colour(0, 1)) << "the last middle tile ends flush";
    EXPECT_EQ(at(size.width() - 12, 0), colour(0, 2));
    EXPECT_EQ(at(0, 162 + 75 - 1), colour(1, 0));
    EXPECT_EQ(at(500, size.height() - 46), colour(2, 1));
    EXPECT_EQ(at(size.width() - 1, size.height() - 1), SKIN_KEY_COLOUR & 0xFFFFFF);
}

TEST(MessageBoxButtons, SitRightToLeftAlongTheBottom)
{
    EXPECT_EQ(MessageBoxButtonRect(QSize(468, 208), 0), QRect(322, 174, 136, 24));
    EXPECT_EQ(MessageBoxButtonRect(QSize(468, 208), 1), QRect(176, 174, 136, 24));
}

class MessageBox : public ::testing::Test
{
protected:
    MessageBox()
        : m_app({{100, QStringLiteral("Lantern")},
                 {8016, QStringLiteral("OK")},
                 {6084, QStringLiteral("Cancel")},
                 {11323, QStringLiteral("Yes")},
                 {11320, QStringLiteral("No")},
                 {11268, QStringLiteral("Close")},
                 {500, QStringLiteral("A message from the resources.")}})
    {
    }

    // Runs a Yes/No box and does `act` to it once it is open.
    int RunYesNo(const std::function<void(CAdtMessageBox&)>& act)
    {
        CAdtMessageBox box(QStringLiteral("Delete the files?"), MB_YESNO, 100, nullptr,
                           MESSAGE_BOX_DEFAULT_ICON, false);
        QTimer::singleShot(0, [&] {
            EXPECT_EQ(QApplication::activeModalWidget(), &box);
            EXPECT_EQ(GetOpenModalDialogCount(), 1);
            act(box);
        });
        return box.DoModal();
    }

    WidgetTestApp m_app;
};

TEST_F(MessageBox, OneWordGivesTheSmallestBoxWithTheWarningIconAndOk)
{
    CAdtMessageBox box(QStringLiteral("Done."), MB_OK, 100, nullptr, MESSAGE_BOX_DEFAULT_ICON,
                       false);
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
    box.InitDialog();
    EXPECT_EQ(box.objectName(), u"Ardent Message Box");
    EXPECT_EQ(box.BoxSize(), QSize(468, 208));
    EXPECT_EQ(box.size(), QSize(468, 208));
    EXPECT_EQ(box.TextRect().left(), 100);
    EXPECT_EQ(box.IconPath(), Icon("icon_warning.png"));
    ASSERT_NE(box.IconLabel(), nullptr);
    EXPECT_EQ(box.IconLabel()->geometry(), QRect(50, 84, 40, 40)) << "centred at y = 104";
    ASSERT_EQ(box.Buttons().size(), 1u);
    EXPECT_EQ(box.Buttons()[0]->Id(), ID_MB_OK);
    EXPECT_EQ(box.Buttons()[0]->text(), u"OK");
    EXPECT_EQ(box.Buttons()[0]->geometry(), QRect(322, 174, 136, 24));
    ASSERT_NE(box.CloseButton(), nullptr);
    EXPECT_EQ(box.CloseButton()->geometry(), QRect(438, 5, 20, 20));
    EXPECT_EQ(box.CloseButton()->TooltipText(), u"Close");
    ASSERT_NE(box.TitleLabel(), nullptr);
    EXPECT_EQ(box.TitleLabel()->Text(), u"Lantern");
    EXPECT_EQ(box.TitleLabel()->geometry(), QRect(34, 6, 400, 20));
    EXPECT_EQ(box.TextFont().pixelSize(), 12);
    EXPECT_EQ(box.CaptionFont().pixelSize(), 15);
    EXPECT_EQ(GetOpenModalDialogCount(), 1) << "raised while the box exists";

    // The artwork's rounded corners are cut from the window; the middle stays.
    const QRegion region = box.WindowRegion();
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(467, 207)));
    EXPECT_TRUE(region.contains(QPoint(234, 104)));
    EXPECT_TRUE(region.contains(QPoint(0, 104)));
}

TEST_F(MessageBox, ModalCountFallsWhenTheBoxGoes)
{
    {
        CAdtMessageBox box(500, MB_OK, 100, nullptr, MESSAGE_BOX_DEFAULT_ICON, false);
        box.InitDialog();
        EXPECT_EQ(GetOpenModalDialogCount(), 1);
    }
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
}

TEST_F(MessageBox, VeryLongTextStopsAtTheLargestBox)
{
    QString text;
    for (int i = 0; i < 400; ++i)
        text += QStringLiteral("Every word of this message makes the box larger. ");
    CAdtMessageBox box(text, MB_OKCANCEL, 100, nullptr, MESSAGE_BOX_DEFAULT_ICON, false);
    box.InitDialog();
    EXPECT_EQ(box.BoxSize(), QSize(1024, 768));
    EXPECT_LE(box.TextRect().width(), 874);
    ASSERT_EQ(box.Buttons().size(), 2u);
    EXPECT_EQ(box.Buttons()[1]->geometry(), QRect(1024 - 146, 768 - 34, 136, 24));
}

TEST_F(MessageBox, NoButtonSetWithoutIconBitsHasNoButtonsAndClosesByKeysOnly)
{
    CAdtMessageBox box(QStringLiteral("Working."), 8, 100, nullptr, QString(), false);
    box.InitDialog();
    EXPECT_TRUE(box.Buttons().empty());
    EXPECT_EQ(box.CloseButton(), nullptr);
    EXPECT_EQ(box.IconLabel(), nullptr) << "no caller icon";
}

TEST_F(MessageBox, YesNoAnswers)
{
    EXPECT_EQ(RunYesNo([](CAdtMessageBox& box) {
                  QTest::mouseClick(box.Buttons()[0], Qt::LeftButton, {}, QPoint(10, 10));
              }),
              IDYES);
    EXPECT_EQ(RunYesNo([](CAdtMessageBox& box) {
                  QTest::mouseClick(box.Buttons()[1], Qt::LeftButton, {}, QPoint(10, 10));
              }),
              IDNO);
    EXPECT_EQ(RunYesNo([](CAdtMessageBox& box) {
                  QTest::mouseClick(box.CloseButton(), Qt::LeftButton, {}, QPoint(10, 10));
              }),
              IDCANCEL);
    EXPECT_EQ(RunYesNo([](CAdtMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }), IDOK)
        << "Enter gives OK whatever the buttons";
    EXPECT_EQ(RunYesNo([](CAdtMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }),
              IDCANCEL);
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
}

TEST_F(MessageBox, ButtonsSitRightToLeftWithQuestionIcon)
{
    CAdtMessageBox box(QStringLiteral("Continue?"), MB_YESNOCANCEL, 100, nullptr, QString(), false);
    box.InitDialog();
    const std::vector<CAlphaButton*> buttons = box.Buttons();
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0]->Id(), ID_MB_YES);
    EXPECT_EQ(buttons[2]->Id(), ID_MB_CANCEL);
    EXPECT_EQ(buttons[2]->x(), 468 - 146);
    EXPECT_EQ(buttons[0]->x(), 468 - 3 * 146);
    EXPECT_EQ(box.IconPath(), Icon("icon_question.png"));
}

TEST_F(MessageBox, DraggingAnyFreePointMovesTheBox)
{
    CAdtMessageBox box(QStringLiteral("Move me."), MB_OK, 100, nullptr, QString(), true);
    box.InitDialog();
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint) << "asked to be topmost";
    box.show();
    const QPoint start = box.pos();
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(200, 120));
    QTest::mouseMove(&box, QPoint(230, 140));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(230, 140));
    EXPECT_EQ(box.pos(), start + QPoint(30, 20));
}

} // namespace
