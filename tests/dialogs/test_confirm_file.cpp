#include "ConfirmFile.h"
#include "Format.h"
#include "LTDataItem.h"
#include "ModalDialogs.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "SkinText.h"
#include "StoredSettings.h"
#include "TempSettings.h"
#include "TimeZone.h"
#include "WidgetHelpers.h"
#include "WidgetTestApp.h"

#include <QMainWindow>
#include <QProcess>
#include <QScreen>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// 22:30 UTC on a day of November 2023; the dialog shows 01:30 the next day, three hours east.
SYSTEMTIME November(int day, int hour)
{
    return {2023, 11, 1, std::uint16_t(day), std::uint16_t(hour), 30};
}

FILETIME64 Utc(int day)
{
    FILETIME64 ft = 0;
    SystemTimeToFileTime(November(day, 22), &ft);
    return ft;
}

QString Shown(int day)
{
    return FormatDateTime(November(day + 1, 1)).trimmed();
}

const std::map<int, QString> kStrings = {{IDS_CONFIRM_CAPTION, u"Confirm Replace"_s},
                                         {IDS_CONFIRM_OEM_MERGE_CAPTION, u"Confirm Folder Merge"_s},
                                         {IDS_CONFIRM_FILE_EXISTS, u"file %s exists"_s},
                                         {IDS_CONFIRM_FOLDER_EXISTS, u"folder %s exists"_s},
                                         {IDS_CONFIRM_REPLACE_FILE, u"replace file"_s},
                                         {IDS_CONFIRM_MERGE_FOLDER, u"merge folder"_s},
                                         {IDS_CONFIRM_DESCRIPTION, u"%s|%s"_s},
                                         {IDS_CONFIRM_WITH_FILE, u"with this file"_s},
                                         {IDS_CONFIRM_WITH_FOLDER, u"with this folder"_s},
                                         {IDS_CONFIRM_OEM_WITH_FILE, u"oem file"_s},
                                         {IDS_CONFIRM_OEM_WITH_FOLDER, u"oem folder"_s},
                                         {IDS_CONFIRM_REPLACE, u"&Replace"_s},
                                         {IDS_CONFIRM_SKIP, u"&Skip"_s},
                                         {IDS_CONFIRM_REPLACE_ALL, u"Replace &All"_s},
                                         {IDS_CONFIRM_SKIP_ALL, u"S&kip All"_s},
                                         {IDS_CONFIRM_CANCEL, u"&Cancel"_s},
                                         {IDS_UNIT_KB, u"KB"_s}};

class ConfirmFile : public ::testing::Test
{
protected:
    ConfirmFile() : m_app(kStrings) { ResetFormatUnitWords(); }
    ~ConfirmFile() override { ResetFormatUnitWords(); }

    // An entry on disk and, with `bWithItem`, its namesake in the image (48213 bytes, a day later).
    void Describe(bool bFolder, const QString& name = u"notes.txt"_s, bool bWithItem = true)
    {
        m_find.cFileName = name;
        m_find.bDirectory = bFolder;
        m_find.nFileSize = bFolder ? 0 : 1536;
        m_find.ftLastWriteTime = Utc(4);
        m_pItem.reset();
        if (bWithItem) {
            m_pItem = std::make_unique<CLTDataItem>(QLatin1Char('\\') + name,
                                                    bFolder ? KIND_FOLDER : KIND_FILE,
                                                    bFolder ? 0 : 48213, 0);
            m_pItem->m_ftModified = Utc(5);
        }
        m_description.pItem = m_pItem.get();
        m_description.strDestPath = u"/out/"_s + name;
        m_description.pFindData = &m_find;
    }

    std::unique_ptr<CConfirmFile> Built(QWidget* pOwner = nullptr)
    {
        auto dialog = std::make_unique<CConfirmFile>(pOwner);
        dialog->m_pDescription = &m_description;
        dialog->InitDialog();
        return dialog;
    }

    static void SetOem(std::uint32_t value)
    {
        DwordReg oem(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"oemConfirmString"_s);
        oem.Set(value);
        ASSERT_TRUE(oem.Write());
    }

    TempSettings m_settings;
    ScopedTimeZone m_zone{"LTN-3"}; // three hours east of UTC, no summer time
    WidgetTestApp m_app;
    FIND_DATA m_find;
    std::unique_ptr<CLTDataItem> m_pItem;
    CONFIRM_DESCRIPTION m_description;
};

// Every way out, by a control's name or by keys typed into the focus: the default has the
// focus, Tab goes round the five answers, access keys work with Alt or alone.
TEST_F(ConfirmFile, EveryWayOutGivesItsAnswer)
{
    Describe(false);
    // Each answer and the ways to it; the caption's close button is 1012.
    const std::pair<int, const char*> cases[] = {
        {IDC_CONFIRM_REPLACE, "Button1006|Return|Num+Enter|Space|Tab Tab Tab Tab Tab Space|"
                              "Tab Alt+R|Tab R"},
        {IDC_CONFIRM_SKIP, "Button1005|Tab Return|Alt+S"},
        {IDC_CONFIRM_REPLACE_ALL, "Button3|Tab Tab Space|Alt+A"},
        {IDC_CONFIRM_SKIP_ALL, "Button5|Tab Tab Tab Return|Alt+K|K"},
        {IDC_CONFIRM_CANCEL, "Button2|Button1012|Esc|Tab Tab Tab Tab Return|Shift+Backtab Space|"
                             "Alt+C"},
    };
    for (const auto& [expected, ways] : cases)
        for (const QString& way : QString::fromLatin1(ways).split(u'|')) {
            SCOPED_TRACE(way.toStdString());
            CConfirmFile dialog;
            dialog.m_pDescription = &m_description;
            const int answer = RunModal(dialog, [way](QWidget* open) {
                EXPECT_EQ(GetOpenModalDialogCount(), 1);
                ASSERT_TRUE(QTest::qWaitForWindowActive(open));
                if (way.startsWith(u"Button")) {
                    QWidget* button = open->findChild<QWidget*>(way);
                    ASSERT_NE(button, nullptr);
                    Click(button);
                    return;
                }
                for (const QString& token : way.split(u' ')) {
                    const QKeyCombination key = QKeySequence::fromString(token)[0];
                    QWidget* target = QApplication::focusWidget();
                    QTest::keyClick(target ? target : open, key.key(), key.keyboardModifiers());
                }
            });
            EXPECT_EQ(answer, expected);
        }
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
}

// File and folder texts; oemConfirmString 1 picks the alternative ones, other values do not.
TEST_F(ConfirmFile, FileAndFolderTexts)
{
    const struct
    {
        std::uint32_t oem;
        bool bFolder;
        bool bWithItem;
        const char* with;
        const char* caption;
        const char* existingSize;
        const char* imageSize;
    } cases[] = {
        {0, false, true, "with this file", "Confirm Replace", "1.50 KB", "47.08 KB"},
        {0, true, true, "with this folder", "Confirm Replace", "", ""},
        // Without the image's record the disk entry is described twice.
        {0, false, false, "with this file", "Confirm Replace", "1.50 KB", "1.50 KB"},
        {1, false, true, "oem file", "Confirm Replace", "1.50 KB", "47.08 KB"},
        {1, true, true, "oem folder", "Confirm Folder Merge", "", ""},
        {2, true, true, "with this folder", "Confirm Replace", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.oem << c.bFolder << c.bWithItem);
        SetOem(c.oem);
        Describe(c.bFolder, u"notes.txt"_s, c.bWithItem);
        const auto dialog = Built();
        EXPECT_EQ(dialog->Label(IDC_CONFIRM_EXISTS)->Text(),
                  c.bFolder ? u"folder notes.txt exists" : u"file notes.txt exists");
        EXPECT_EQ(dialog->Label(IDC_CONFIRM_QUESTION)->Text(),
                  c.bFolder ? u"merge folder" : u"replace file");
        EXPECT_EQ(dialog->Label(IDC_CONFIRM_WITH)->Text(), QLatin1String(c.with));
        EXPECT_EQ(dialog->TitleLabel()->Text(), QLatin1String(c.caption));
        // Times are shown in local time, three hours ahead of UTC here.
        EXPECT_EQ(dialog->Label(IDC_CONFIRM_EXISTING_INFO)->Text(),
                  QLatin1String(c.existingSize) + u'|' + Shown(4));
        EXPECT_EQ(dialog->Label(IDC_CONFIRM_REPLACEMENT_INFO)->Text(),
                  QLatin1String(c.imageSize) + u'|' + (c.bWithItem ? Shown(5) : Shown(4)));
        for (int id : {IDC_CONFIRM_EXISTING_ICON, IDC_CONFIRM_REPLACEMENT_ICON})
            EXPECT_FALSE(dialog->IconLabel(id)->Overlay().isNull()) << id;
    }
}

TEST_F(ConfirmFile, LongTextsStayInsideTheirPlaces)
{
    const QString name = u"An extraordinarily long file name "_s.repeated(8) + u"end.txt"_s;
    Describe(false, name);
    SetOem(1);
    const auto plain = Built();
    const ScopedLangSet texts(
        "6035 = This folder already contains a file named %s.\n"
        "61863 = with this file from the image, which is newer than the one above?\n"
        "6673 = A caption far too long for the band of two hundred pixels\n"
        "6043 = Skip this one\n");
    ASSERT_TRUE(texts.Loaded());
    const auto dialog = Built();

    // The name is cut in its middle so that the text keeps to its lines.
    const CAlphaStatic* exists = dialog->Label(IDC_CONFIRM_EXISTS);
    EXPECT_LE(MeasureSkinText(exists->LabelFont(), exists->Text(), exists->width(), TF_WORDBREAK)
                  .height(),
              exists->height());
    EXPECT_TRUE(exists->Text().contains(QChar(0x2026)));
    EXPECT_TRUE(exists->Text().endsWith(u"end.txt."));

    // One-line texts take the free room beside them, then end in an ellipsis.
    const CAlphaStatic* with = dialog->Label(IDC_CONFIRM_WITH);
    EXPECT_GT(with->width(), plain->Label(IDC_CONFIRM_WITH)->width());
    EXPECT_LE(with->geometry().right(), exists->geometry().right());
    const CAlphaStatic* title = dialog->TitleLabel();
    EXPECT_GT(title->width(), plain->TitleLabel()->width());
    EXPECT_NEAR(title->x() + title->width() / 2.0, dialog->width() / 2.0, 1) << "still centred";
    for (const CAlphaStatic* label : {with, title})
        EXPECT_LE(MeasureSkinText(label->LabelFont(), label->Text(), 0, TF_SINGLELINE).width(),
                  label->width());

    // A caption too long for its button is shortened; the tooltip has it all.
    const CAlphaButton* skip = dialog->Button(IDC_CONFIRM_SKIP);
    EXPECT_NE(skip->text(), u"Skip this one");
    EXPECT_EQ(skip->TooltipText(), u"Skip this one");
}

} // namespace
