#include "LanternApp.h"

#include "AdtMessageBox.h"
#include "EventPump.h"
#include "FileListView.h"
#include "ImageEngine.h"
#include "LanternDoc.h"
#include "MainFrame.h"
#include "ModalDialogs.h"
#include "ProgramPaths.h"
#include "Scale.h"
#include "SkinImages.h"
#include "StoredSettings.h"
#include "TextFit.h"
#include "WindowEndpoint.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <cmath>

namespace {

constexpr int IDS_TITLE = 102;
constexpr int IDS_ALREADY_RUNNING = 657;
constexpr int IDS_INSTANCE_CHECK_FAILED = 7076;
constexpr int IDI_MAINFRAME = 128;
constexpr int IDI_SMALL = 649;

// The application id: the name of the desktop entry, the AppStream
// component and the icon in the desktop's theme.
constexpr auto kDesktopFileName = "org.lantern_viewer.Lantern";

} // namespace

CLanternApp::CLanternApp(int& argc, char** argv) : QApplication(argc, argv) {}

CLanternApp::~CLanternApp() = default;

int CLanternApp::ModalDialogs() const
{
    return GetOpenModalDialogCount();
}

bool LoadLanguageResources(CLangResources* pResources, QString* pTried)
{
    // The user's locale stands in for a language pack: the language the
    // settings name, else the one the locale asks for, else English.
    return LoadLanguageFile(pResources, QStringLiteral("ADTRC.lang"), GetCurrentLang(), pTried);
}

QString MissingResourcesMessage(const QString& triedPath)
{
    return QStringLiteral("The file [%1] is missing.\r\nPlease reinstall application.")
        .arg(QDir::toNativeSeparators(triedPath));
}

void RestoreWindowPlacement(QWidget* pWindow)
{
    WindowPlacement placement;
    if (!ReadWindowPlacement(&placement)) {
        pWindow->resize(800, 400);
    } else if (placement.bMaximized == 1) {
        pWindow->setWindowState(pWindow->windowState() | Qt::WindowMaximized);
    } else {
        pWindow->setGeometry(placement.nLeft, placement.nTop, placement.nWidth, placement.nHeight);
    }
}

bool CLanternApp::LoadLanguage()
{
    m_hResDll = std::make_unique<CLangResources>();
    QString tried;
    if (!LoadLanguageResources(m_hResDll.get(), &tried)) {
        QMessageBox::critical(nullptr, QString(), MissingResourcesMessage(tried));
        m_hResDll.reset();
        return false;
    }
    SetLangResources(m_hResDll.get());
    return true;
}

QString LanternInstanceMutexName()
{
    QString session = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (session.isEmpty())
        session = qEnvironmentVariable("DISPLAY");
    QString name = QStringLiteral("{10E05858-2783-483D-BDBE-A8F6E101F805}");
    if (!session.isEmpty())
        name += QLatin1Char('-') + session;
    return name;
}

bool CLanternApp::CheckSingleInstance()
{
    CNamedMutex::Result result = CNamedMutex::Result::Failed;
    m_hMutex = CNamedMutex::Create(LanternInstanceMutexName(), &result);
    if (result == CNamedMutex::Result::Created)
        return true;
    if (result == CNamedMutex::Result::Failed) {
        ShowSkinnedMessageBox(IDS_INSTANCE_CHECK_FAILED, 0);
        return false;
    }

    // Another instance runs: hand it the image, if any, and end.
    m_hMutex.reset();
    std::int64_t state = 0;
    if (!CWindowEndpoint::Send(LANTERN_WINDOW_CLASS, ENDPOINT_QUERY_STATE, 0, {}, &state)) {
        // A holder without a window (one that hangs, or is still starting):
        // nothing can be handed over, so this copy starts on its own.
        return true;
    }
    if (!(state & 1)) {
        ShowSkinnedMessageBox(IDS_ALREADY_RUNNING, 0);
        return false;
    }
    if (state & 2)
        CWindowEndpoint::Send(LANTERN_WINDOW_CLASS, ENDPOINT_RESTORE, 0, {}, nullptr);
    if (m_strCommandLineImage.isEmpty())
        ShowSkinnedMessageBox(IDS_ALREADY_RUNNING, 0);
    CWindowEndpoint::Send(LANTERN_WINDOW_CLASS, ENDPOINT_FOREGROUND, 0, {}, nullptr);
    if (!m_strCommandLineImage.isEmpty() && QFileInfo::exists(m_strCommandLineImage)) {
        // UTF-16 with its terminating NUL: (characters + 1) * 2 bytes.
        QByteArray data(reinterpret_cast<const char*>(m_strCommandLineImage.utf16()),
                        m_strCommandLineImage.size() * 2);
        data.append(2, '\0');
        CWindowEndpoint::Send(LANTERN_WINDOW_CLASS, WM_COPYDATA_MSG, 1025, data, nullptr,
                              24 * 3600 * 1000);
    }
    return false;
}

QString ChooseIconTheme()
{
    // Where the platform gives no search path, look where Linux keeps themes.
    QStringList paths = QIcon::themeSearchPaths();
    const QStringList dataDirs =
        qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
            .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& dir : dataDirs) {
        const QString icons = dir + QStringLiteral("/icons");
        if (!paths.contains(icons))
            paths << icons;
    }
    QIcon::setThemeSearchPaths(paths);
    auto installed = [&](const QString& theme) {
        for (const QString& path : paths) {
            if (QFileInfo::exists(path + QLatin1Char('/') + theme + QStringLiteral("/index.theme")))
                return true;
        }
        return false;
    };
    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != u"hicolor" && installed(current))
        return current;
    for (const char* theme : {"Adwaita", "breeze", "elementary", "Papirus", "gnome", "oxygen"}) {
        const QString name = QString::fromLatin1(theme);
        if (installed(name)) {
            QIcon::setThemeName(name);
            return name;
        }
    }
    return {};
}

bool CLanternApp::InitInstance()
{
    InitSkinSource(QString(), SKIN_SOURCE_FOLDER);
    if (!LoadLanguage())
        return false;
    setApplicationName(LoadResString(IDS_TITLE));
    // The desktop matches the window to its entry and icon by this name.
    setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    InstallScreenDpiSource();
    ChooseIconTheme();

    const QStringList args = arguments();
    if (args.size() > 1 && QFileInfo(args[1]).isFile())
        m_strCommandLineImage = QFileInfo(args[1]).absoluteFilePath();

    if (!CheckSingleInstance())
        return false;

    m_bNoWebSite = GetDisconnectToDARevErod() != 0;
    // The update notifier is not part of this program: nothing to start.

    // The global font follows the display scale.
    QFont font = QApplication::font();
    const int height = QFontInfo(font).pixelSize();
    const int scaled = static_cast<int>(std::floor(height / GetDpiScale() * GetImageScale()));
    if (scaled > 0 && scaled != height) {
        font.setPixelSize(scaled);
        QApplication::setFont(font);
    }

    g_pImageEngine = new CImageEngine();
    g_pImageEngine->SetMessagePump([] { ServeWaitingEvents(); });

    m_pDoc = std::make_unique<CLanternDoc>();
    m_pMainFrame = std::make_unique<CMainFrame>(m_pDoc.get());
    if (!m_pMainFrame->Create())
        return false;
    m_pMainFrame->setWindowTitle(LoadResString(IDS_TITLE));

    RestoreWindowPlacement(m_pMainFrame.get());
    m_pMainFrame->show();

    // The program's icon (128) for the task switcher and the window list,
    // with its small form (649) where the desktop draws icons small.
    QIcon windowIcon;
    for (int id : {IDI_MAINFRAME, IDI_SMALL}) {
        const QString icon = m_hResDll->IconPath(id);
        if (!icon.isEmpty() && QFileInfo::exists(icon))
            windowIcon.addFile(icon);
    }
    if (!windowIcon.isNull())
        m_pMainFrame->setWindowIcon(windowIcon);

    if (!m_strCommandLineImage.isEmpty() && QFileInfo::exists(m_strCommandLineImage)) {
        const STATUS r = m_pMainFrame->OpenImageFromFrame(m_strCommandLineImage);
        if (r < 0 && r != STATUS_CANCELLED)
            ShowSkinnedMessageBox(m_pMainFrame->ListView()->OpenFailureText(), 0,
                                  IDS_MESSAGE_BOX_CAPTION, nullptr);
    }
    return true;
}

int CLanternApp::ExitInstance(int nCode)
{
    m_pMainFrame.reset();
    m_pDoc.reset();
    ExitSkinSource();
    m_hMutex.reset();
    delete g_pImageEngine;
    g_pImageEngine = nullptr;
    SetLangResources(nullptr);
    m_hResDll.reset();
    return nCode;
}
