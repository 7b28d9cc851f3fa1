// File > Open Recent through the window's menu: its order and limit, its entries, a lost image.

#include "AppFixtures.h"
#include "FileListView.h"
#include "RecentImages.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

constexpr int ID_FILE_MRU_FILE1 = 0xE110;
constexpr int ID_RECENT_NONE = 9300;
constexpr int ID_RECENT_CLEAR = 9301;

class OpenRecent : public Frame
{
protected:
    // The menu as a user sees it when it opens: the visible entries' texts.
    QStringList Shown()
    {
        QStringList texts;
        QMenu* menu = m_frame->RecentMenu();
        if (!menu)
            return {u"no menu"_s};
        Q_EMIT menu->aboutToShow();
        for (QAction* action : menu->actions())
            if (action->isVisible() && !action->isSeparator())
                texts << action->text();
        return texts;
    }
    QAction* Entry(int id)
    {
        for (QAction* action : m_frame->RecentMenu()->actions())
            if (action->data().toInt() == id)
                return action;
        return nullptr;
    }
    QString Image(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(WriteBytes(path, "label " + name.toUtf8() + "\nfile A.TXT 3\n"));
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(OpenRecent, OpeningImagesFillsTheListMostRecentFirstUpToTen)
{
    const QString menuTitle = m_frame->RecentMenu() ? m_frame->RecentMenu()->title() : QString();
    EXPECT_EQ(menuTitle, u"Open &Recent"_s);
    EXPECT_EQ(Shown(), (QStringList{u"(No recent images)"_s, u"&Clear List"_s}));
    EXPECT_FALSE(Entry(ID_RECENT_CLEAR)->isEnabled());

    QStringList opened;
    for (int i = 0; i < 12; ++i) {
        opened.prepend(Image(u"disc%1.iso"_s.arg(i)));
        ASSERT_EQ(m_frame->OpenImageFromFrame(opened.front()), STATUS_OK);
    }
    // Opening one again moves it to the top; a failed open adds nothing.
    ASSERT_EQ(m_frame->OpenImageFromFrame(opened[4]), STATUS_OK);
    opened.move(4, 0);
    EXPECT_NE(m_frame->OpenImageFromFrame(m_dir.filePath(u"none.iso"_s)), STATUS_OK);

    const QStringList expected = opened.mid(0, RECENT_IMAGES_MAX);
    EXPECT_EQ(LoadRecentImages(), expected);
    const QStringList shown = Shown();
    ASSERT_EQ(shown.size(), RECENT_IMAGES_MAX + 1); // the entries and Clear List
    EXPECT_EQ(shown[0], u"&1 "_s + expected[0]);
    EXPECT_EQ(shown[9], u"1&0 "_s + expected[9]);
    EXPECT_TRUE(Entry(ID_RECENT_CLEAR)->isEnabled());

    // The list outlives the window: it is in the user's settings file.
    EXPECT_TRUE(ReadBytes(m_settings.UserFile()).contains("Recent File List"));
}

TEST_F(OpenRecent, AnEntryOpensItsImageAndAMissingOneLeavesWithAMessage)
{
    const QString first = Image(u"first.iso"_s);
    const QString second = Image(u"second & more.adi"_s);
    ASSERT_EQ(m_frame->OpenImageFromFrame(first), STATUS_OK);
    ASSERT_EQ(m_frame->OpenImageFromFrame(second), STATUS_OK);
    EXPECT_EQ(Shown().value(0), u"&1 "_s + m_dir.filePath(u"second && more.adi"_s));

    // The second entry is the first image: the window opens it.
    Entry(ID_FILE_MRU_FILE1 + 1)->trigger();
    EXPECT_EQ(m_frame->ListView()->GetOpenImagePath(), first);
    EXPECT_EQ(LoadRecentImages(), (QStringList{first, second}));
    EXPECT_TRUE(m_warnings.isEmpty());

    QFile::remove(second);
    Shown();
    Entry(ID_FILE_MRU_FILE1 + 1)->trigger();
    ASSERT_EQ(m_warnings.size(), 1);
    EXPECT_TRUE(m_warnings[0].contains(second)) << m_warnings[0].toStdString();
    EXPECT_TRUE(m_warnings[0].contains(u"removed from the list"_s));
    EXPECT_EQ(m_frame->ListView()->GetOpenImagePath(), first);
    EXPECT_EQ(LoadRecentImages(), QStringList{first});

    Shown();
    Entry(ID_RECENT_CLEAR)->trigger();
    EXPECT_TRUE(LoadRecentImages().isEmpty());
    EXPECT_EQ(Shown(), (QStringList{u"(No recent images)"_s, u"&Clear List"_s}));
    EXPECT_FALSE(Entry(ID_RECENT_NONE)->isEnabled());
}

} // namespace
