// The burner's window offscreen, writing to a stdio: drive (a plain file); and its mutex.

#include "ApProgressCtrl.h"
#include "BurnerFixtures.h"
#include "BurnerStart.h"
#include "BurnerTexts.h"
#include "BurnerWindow.h"
#include "FileBytes.h"
#include "LangResources.h"
#include "ModalAnswerer.h"
#include "NamedMutex.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "SkinControls.h"
#include "SuiteNames.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <libburn/libburn.h>
#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
class Burner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
        ASSERT_TRUE(LoadBurnerTexts());
        ASSERT_TRUE(m_dir.isValid());
        m_strDrive = m_dir.filePath(u"drive.bin"_s);
    }
    void TearDown() override
    {
        m_window.reset();
        burn::burn_drive_clear_whitelist();
        SetLangResources(nullptr);
        SetProgramFolderForTesting(QString());
    }

    void Open(qint64 nImageBytes, qint64 nCapacity = 0)
    {
        m_strImage = MakeBurnerImage(m_dir.path(), nImageBytes);
        ASSERT_FALSE(m_strImage.isEmpty());
        m_window = std::make_unique<CBurnerWindow>(m_strImage, u"stdio:"_s + m_strDrive, nCapacity);
        m_window->show();
        ASSERT_EQ(m_window->DriveChooser()->currentText(), u"stdio:"_s + m_strDrive);
    }
    // Waits until the message boxes `answerer` answers are answered.
    static bool Answered(const ModalAnswerer& answerer)
    {
        return WaitUntil(
            [&] { return !answerer.m_texts.isEmpty() && !QApplication::activeModalWidget(); });
    }
    void Click(CAlphaButton* button)
    {
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    void ChooseSpeed(int kbps)
    {
        const int index = m_window->SpeedChooser()->findData(kbps);
        ASSERT_GE(index, 0);
        m_window->SpeedChooser()->setCurrentIndex(index);
    }
    void BurnToTheEnd()
    {
        Click(m_window->BurnButton());
        ASSERT_TRUE(m_window->IsBusy());
        ASSERT_TRUE(WaitUntil([&] { return !m_window->IsBusy(); }));
    }
    QByteArray Written() const { return ReadBytes(m_strDrive).left(QFileInfo(m_strImage).size()); }
    QByteArray Image() const { return ReadBytes(m_strImage); }

    QTemporaryDir m_dir;
    QString m_strDrive;
    QString m_strImage;
    std::unique_ptr<CBurnerWindow> m_window;
};
} // namespace

TEST_F(Burner, ImageLargerThanTheMediumIsRefusedAndNothingIsWritten)
{
    Open(3 * 1024 * 1024, 2 * 1024 * 1024);
    EXPECT_TRUE(m_window->MediumText().contains(LoadResString(IDS_MEDIUM_TOO_SMALL)));
    const auto answer = ModalAnswerer::Always(ClickOk());
    Click(m_window->BurnButton());
    ASSERT_TRUE(Answered(*answer));
    const QString text = answer->m_texts.front();
    EXPECT_TRUE(text.contains(FormatBurnSize(QFileInfo(m_strImage).size())) &&
                text.contains(FormatBurnSize(2 * 1024 * 1024)))
        << text;
    EXPECT_FALSE(m_window->IsBusy());
    EXPECT_FALSE(QFileInfo::exists(m_strDrive));
}

// A used disc put in after the window opened is seen at Burn; only an erasable one is blanked.
TEST_F(Burner, UsedDiscsAreRefusedOrBlankedFirst)
{
    struct Case
    {
        const char* profile;
        int nStatus;
        bool bErasable;
        int nMessageId;
    } cases[] = {
        {"CD-R", burn::BURN_DISC_APPENDABLE, false, IDS_MSG_APPENDABLE_WRITE_ONCE},
        {"DVD-R sequential recording", burn::BURN_DISC_FULL, false, IDS_MSG_NOT_ERASABLE},
        {"CD-RW", burn::BURN_DISC_APPENDABLE, true, IDS_MSG_ASK_BLANK},
    };
    Open(64 * 1024);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        m_window->Devices().SetMediumProbe([&c](MediumInfo& m) {
            m.kind = MediumKind::CD;
            m.strProfile = QString::fromLatin1(c.profile);
            m.nStatus = c.nStatus;
            m.bErasable = c.bErasable;
        });
        const auto answer = ModalAnswerer::Always(ClickLast());
        Click(m_window->BurnButton());
        ASSERT_TRUE(Answered(*answer));
        EXPECT_EQ(answer->m_texts, QStringList{LoadResString(c.nMessageId)});
        EXPECT_FALSE(m_window->IsBusy());
        EXPECT_FALSE(QFileInfo::exists(m_strDrive));
    }
}

// Stopping mid-write by Cancel or by closing (which asks) leaves the drive idle and usable:
// a burn after it writes the whole image and reads it back.
TEST_F(Burner, StoppingMidWriteLeavesTheDriveReady)
{
    // At 1x DVD pace the image takes seconds, so the stop lands mid-write.
    Open(6 * 1024 * 1024);
    ASSERT_TRUE(m_window->VerifyBox()->isChecked());
    EXPECT_TRUE(m_window->MediumText().contains(LoadResString(IDS_MEDIUM_FITS)));
    auto startSlowly = [&] {
        ChooseSpeed(1385);
        Click(m_window->BurnButton());
        ASSERT_TRUE(WaitUntil([&] { return m_window->ProgressBar()->Pos() > 0; }));
    };
    startSlowly();
    {
        ModalAnswerer no({ClickLast()}); // "No" keeps the burn going
        m_window->close();
        ASSERT_TRUE(Answered(no));
        EXPECT_EQ(no.m_texts.front(), LoadResString(IDS_MSG_ASK_STOP));
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_TRUE(m_window->IsBusy());
    }
    Click(m_window->CancelButton());
    ASSERT_TRUE(WaitUntil([&] { return !m_window->IsBusy(); }));
    EXPECT_EQ(m_window->StatusText(), LoadResString(IDS_STATE_CANCELLED));
    EXPECT_EQ(m_window->ProgressBar()->Pos(), 0);
    EXPECT_LT(QFileInfo(m_strDrive).size(), QFileInfo(m_strImage).size());
    EXPECT_TRUE(m_window->DriveChooser()->isEnabled());
    EXPECT_TRUE(m_window->SpeedChooser()->isEnabled());

    // A second burn at full speed works.
    {
        const auto unexpected = ModalAnswerer::Always(ClickOk());
        ChooseSpeed(0);
        BurnToTheEnd();
        EXPECT_EQ(unexpected->m_texts, QStringList());
        EXPECT_EQ(m_window->StatusText(), LoadResString(IDS_STATE_DONE_VERIFIED));
        EXPECT_EQ(m_window->ProgressBar()->Pos(), 100);
        ASSERT_GT(Image().size(), 6 * 1024 * 1024);
        EXPECT_TRUE(Written() == Image());
        // Ready for the next disc, or to be closed: by its button or by Esc.
        EXPECT_TRUE(m_window->BurnButton()->isEnabled());
        EXPECT_EQ(m_window->CancelButton()->text(), LoadResString(IDS_BURNER_CLOSE));
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        EXPECT_FALSE(m_window->isVisible());
        m_window->show();
    }

    // Closing during a third, answered Yes, stops it and closes the window.
    startSlowly();
    const auto yes = ModalAnswerer::Always(ClickOk());
    m_window->close();
    ASSERT_TRUE(WaitUntil([&] { return !m_window->isVisible(); }));
    EXPECT_FALSE(m_window->IsBusy());
    EXPECT_EQ(m_window->StatusText(), LoadResString(IDS_STATE_CANCELLED));
}

TEST_F(Burner, WithoutADriveTheWindowSaysSoAndCannotBurn)
{
    // Only a drive that does not exist may be scanned, whatever the machine has.
    ASSERT_TRUE(InitBurnLibrary());
    char none[] = "/dev/lantern-no-such-burner";
    burn::burn_drive_add_whitelist(none);
    m_strImage = MakeBurnerImage(m_dir.path(), 64 * 1024);
    m_window = std::make_unique<CBurnerWindow>(m_strImage, QString(), 0);
    m_window->show();
    EXPECT_EQ(m_window->DriveMessage(), LoadResString(IDS_BURNER_NO_DRIVE));
    EXPECT_EQ(m_window->StatusText(), QString());
    EXPECT_FALSE(m_window->DriveChooser()->isVisible());
    EXPECT_FALSE(m_window->BurnButton()->isEnabled());
}

// The program holds its mutex while it runs, and a second one is refused.
TEST_F(Burner, OneBurnerAtATime)
{
    m_strImage = MakeBurnerImage(m_dir.path(), 64 * 1024);
    QProcess first; // offscreen, as this program is
    first.start(QStringLiteral(LANTERN_BURNER),
                {m_strImage, u"--drive"_s, u"stdio:"_s + m_strDrive});
    ASSERT_TRUE(first.waitForStarted());
    // From the kernel's lock table: a probe taking the mutex could make the program refuse itself.
    auto heldBy = [](qint64 pid) {
        struct stat st = {};
        const bool bFile =
            ::stat(QFile::encodeName(CNamedMutex::LockFilePath(BURNER_MUTEX_NAME)), &st) == 0;
        const QByteArray inode = ':' + QByteArray::number(quint64(st.st_ino)) + ' ';
        const QByteArray owner = ' ' + QByteArray::number(pid) + ' ';
        for (const QByteArray& line : ReadBytes(u"/proc/locks"_s).split('\n'))
            if (bFile && line.contains(owner) && (line + ' ').contains(inode))
                return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil(
        [&] { return heldBy(first.processId()) || first.state() == QProcess::NotRunning; }));
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();

    bool bRefused = false;
    const auto ok = ModalAnswerer::Always(ClickOk());
    EXPECT_EQ(TakeBurnerMutex(nullptr, &bRefused), nullptr);
    EXPECT_TRUE(bRefused);
    EXPECT_EQ(ok->m_texts, QStringList{LoadResString(IDS_MSG_ALREADY_RUNNING)});

    first.kill();
    first.waitForFinished();
    CNamedMutex::Result result = CNamedMutex::Result::Failed;
    EXPECT_NE(CNamedMutex::Create(BURNER_MUTEX_NAME, &result), nullptr);
}
