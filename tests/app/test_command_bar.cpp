// The command bar in the real window: which buttons are enabled in each
// state of the window, and that clicking them runs the command of the pane
// the user worked in without taking that pane's place.

#include "AppFixtures.h"
#include "CommandView.h"
#include "SkinControls.h"
#include "StoredSettings.h"

#include <QMenu>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const int kBarCommands[] = {ID_IMAGE_OPEN, ID_FILE_VIEW,  ID_EXTRACT,
                            ID_VIEW_MODE,  ID_BURN_IMAGE, ID_MOUNT_IMAGE};

class Bar : public Frame
{
protected:
    CLTCommandView* View() const { return m_frame->CommandView(); }
    CAlphaButton* Button(int id) const { return View()->Button(id); }
    // The enabled buttons, after the bar has had an idle moment.
    std::vector<int> Enabled() const
    {
        QTest::qWait(COMMAND_BAR_IDLE_MS * 2);
        std::vector<int> ids;
        for (const int id : kBarCommands) {
            if (Button(id)->isEnabled())
                ids.push_back(id);
        }
        return ids;
    }
    QTreeWidgetItem* Root() const { return Tree()->topLevelItem(0); }
    void ClickBar(int id)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return Button(id)->isEnabled(); })) << id;
        QTest::mouseClick(Button(id), Qt::LeftButton);
        QCoreApplication::processEvents();
    }
};

TEST_F(Bar, EnablingInEachStateOfTheWindow)
{
    const std::vector<int> always = {ID_IMAGE_OPEN, ID_VIEW_MODE};
    // Before any event the pass at start has run: no image, nothing to burn.
    EXPECT_TRUE(!Button(ID_BURN_IMAGE)->isEnabled() && !Button(ID_MOUNT_IMAGE)->isEnabled() &&
                Button(ID_IMAGE_OPEN)->isEnabled());

    SelectRows({});
    EXPECT_EQ(Enabled(), always) << "no image";

    OpenScript(u"dir A\nfile A\\B.TXT 10\nfile R.BIN 5\n"_s);
    const std::vector<int> withImage = {ID_IMAGE_OPEN, ID_VIEW_MODE, ID_BURN_IMAGE, ID_MOUNT_IMAGE};
    struct Case
    {
        const char* state;
        std::function<void()> enter;
        std::vector<int> extra; // enabled besides those of an open image
    };
    const Case cases[] = {
        {"list, nothing selected", [&] { SelectRows({}); }, {}},
        {"list, one row", [&] { SelectRows({u"A"_s}); }, {ID_FILE_VIEW, ID_EXTRACT}},
        {"list, two rows",
         [&] {
             SelectRows({u"A"_s, u"R.BIN"_s});
         },
         {ID_EXTRACT}},
        // The list keeps its one selected row: View still needs the list.
        {"tree on the root",
         [&] {
             SelectRows({u"A"_s});
             FocusTree(Root());
             ASSERT_EQ(List()->SelectedCount(), 1);
         },
         {}},
        {"tree on a folder", [&] { FocusTree(Root()->child(0)); }, {ID_EXTRACT}},
        // The list now shows the folder.
        {"back to the list's one row",
         [&] { SelectRows({u"B.TXT"_s}); },
         {ID_FILE_VIEW, ID_EXTRACT}},
    };
    for (const Case& c : cases) {
        c.enter();
        std::vector<int> expected = withImage;
        expected.insert(expected.end(), c.extra.begin(), c.extra.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Enabled(), expected) << c.state;
    }
}

TEST_F(Bar, ExtractRunsTheActivePanesVariant)
{
    OpenScript(u"dir SUB\nfile SUB\\X.TXT 7\nfile TOP 3\n"_s);

    // From the tree: the selected folder, whatever the list holds.
    QTemporaryDir fromTree;
    FocusTree(Root()->child(0));
    ModalAnswerer treeAnswers({ChooseFile(fromTree.path())});
    ClickBar(ID_EXTRACT);
    EXPECT_EQ(treeAnswers.Handled(), 1);
    EXPECT_EQ(ReadBytes(fromTree.filePath(u"SUB/X.TXT"_s)), FakeBytes(u"SUB\\X.TXT"_s, 7));
    EXPECT_EQ(GetExtractPath(), fromTree.path());
    EXPECT_FALSE(QFileInfo::exists(fromTree.filePath(u"X.TXT"_s)));
    EXPECT_EQ(m_frame->ActiveView(), m_frame->TreeView());

    // From the list: the selected rows, not the tree's folder.
    FocusTree(Root());
    QTemporaryDir fromList;
    SelectRows({u"TOP"_s});
    ModalAnswerer listAnswers({ChooseFile(fromList.path())});
    ClickBar(ID_EXTRACT);
    EXPECT_EQ(listAnswers.Handled(), 1);
    EXPECT_TRUE(QFileInfo::exists(fromList.filePath(u"TOP"_s)));
    EXPECT_FALSE(QFileInfo::exists(fromList.filePath(u"SUB"_s)));
    EXPECT_EQ(m_frame->ActiveView(), List());
}

TEST_F(Bar, ClickingTheBarLeavesTheActivePaneAndFocus)
{
    OpenScript(u"dir A\nfile A\\B.TXT 10\nfile R.BIN 5\n"_s);
    for (const bool bTree : {true, false}) {
        if (bTree)
            FocusTree(Root());
        else
            SelectRows({u"A"_s});
        QWidget* active = m_frame->ActiveView();
        QWidget* focus = QApplication::focusWidget();

        // The bar's own background, then a button.
        QTest::mouseClick(View(), Qt::LeftButton, {}, QPoint(View()->RowRight() + 30, 5));
        // No burner is installed here: its message is answered.
        ModalAnswerer answers({ClickOk()});
        ClickBar(ID_BURN_IMAGE);
        EXPECT_EQ(answers.Handled(), 1);
        // The window is activated again once the box has gone.
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == focus; }, 2000));
        EXPECT_EQ(m_frame->ActiveView(), active) << bTree;
        EXPECT_EQ(QApplication::focusWidget(), focus) << bTree;

        // The View mode button shows the menu of list styles at the pointer.
        std::vector<int> items;
        QTimer::singleShot(50, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions()) {
                    if (action->data().isValid())
                        items.push_back(action->data().toInt());
                }
                menu->close();
            }
        });
        ClickBar(ID_VIEW_MODE);
        std::sort(items.begin(), items.end());
        EXPECT_EQ(items, (std::vector<int>{ID_VIEW_SMALLICON, ID_VIEW_LIST, ID_VIEW_DETAILS,
                                           ID_VIEW_LARGEICON}));
        EXPECT_EQ(m_frame->ActiveView(), active) << bTree;
        EXPECT_EQ(QApplication::focusWidget(), focus) << bTree;
    }
}

} // namespace
