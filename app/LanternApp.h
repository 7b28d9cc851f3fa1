#pragma once

// The application object: prepares the process, loads the language
// resources, keeps to one instance, creates the engine, the document and the
// main window, restores the placement and opens an image named on the
// command line; and undoes it all at exit.

#include "LangResources.h"
#include "NamedMutex.h"

#include <QApplication>
#include <memory>

class CLanternDoc;
class CMainFrame;

// The single-instance mutex: one per user and graphical session, since a
// second copy can hand its image only to a window of its own user and
// display; a machine-wide one would only lock other users out.
QString LanternInstanceMutexName();

// Loads the language resources: ADTRC.lang beside the program, else the set
// of the language the machine's settings name. `pTried` gets the last path
// tried, for the message when none loads.
bool LoadLanguageResources(CLangResources* pResources, QString* pTried);
// The system message shown when no language resources could be loaded.
QString MissingResourcesMessage(const QString& triedPath);
// Restores the main window's stored placement: maximized when it was, the
// stored rectangle otherwise, and 800 x 400 where it stands when any of the
// five values is missing.
void RestoreWindowPlacement(QWidget* pWindow);

// Makes file-type icons come from an icon theme: the desktop's own, or where
// the platform names none (a bare X server, no desktop session) the first
// installed of a few common themes, so files of different types look
// different everywhere. The name of the theme in use, or empty.
QString ChooseIconTheme();

class CLanternApp : public QApplication
{
    Q_OBJECT
public:
    CLanternApp(int& argc, char** argv);
    ~CLanternApp() override;

    // True to run the event loop; false ends the process (ExitInstance still
    // runs).
    bool InitInstance();
    int ExitInstance(int nCode);

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    // The number of modal dialogs now open.
    int ModalDialogs() const;

    std::unique_ptr<CNamedMutex> m_hMutex;
    std::unique_ptr<CLangResources> m_hResDll;
    QString m_strCommandLineImage;
    bool m_bNoWebSite = false;

private:
    bool LoadLanguage();
    // False when this instance must end (another one runs, or the check
    // failed).
    bool CheckSingleInstance();

    std::unique_ptr<CLanternDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainFrame;
};
