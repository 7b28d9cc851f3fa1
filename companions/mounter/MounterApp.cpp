#include "MounterApp.h"

#include "AdtMessageBox.h"
#include "LangResources.h"
#include "MounterWnd.h"
#include "NamedMutex.h"
#include "ProgramPaths.h"
#include "SkinWindow.h"
#include "StoredSettings.h"
#include "SuiteNames.h"
#include "WindowEndpoint.h"

#include <QFileInfo>

CMounterArgs ParseMounterArgs(const QStringList& args)
{
    CMounterArgs parsed;
    for (const QString& arg : args) {
        if (arg.compare(MOUNTER_INTEROP_SWITCH, Qt::CaseInsensitive) == 0)
            parsed.bInterop = true;
        else if (parsed.strImage.isEmpty() && !arg.isEmpty())
            parsed.strImage = QFileInfo(arg).absoluteFilePath();
    }
    // The switch means nothing without an image to wait on.
    parsed.bInterop = parsed.bInterop && !parsed.strImage.isEmpty();
    return parsed;
}

namespace {

constexpr int IDS_MOUNTER_NOT_ANSWERING = 30230;

} // namespace

bool LoadMounterLanguage()
{
    // The language the settings name, else the one the locale asks for,
    // when there is a set for it (Language/DEU/...), else English.
    static CLangResources s_resources;
    if (!LoadLanguageFile(&s_resources, QStringLiteral("Fenmount.lang"), GetCurrentLang()))
        return false;
    SetLangResources(&s_resources);
    return true;
}

std::unique_ptr<CMounterInstance> CMounterInstance::Start(const CMounterArgs& args)
{
    CNamedMutex::Result result = CNamedMutex::Result::Failed;
    std::unique_ptr<CNamedMutex> mutex = CNamedMutex::Create(MOUNTER_MUTEX_NAME, &result);
    // Another copy holds the lock but no window of this user answers: a copy
    // that hangs, or another user's. Say so, and go on alone if asked to.
    if (result == CNamedMutex::Result::AlreadyExists &&
        !CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_QUERY_STATE, 0, QByteArray(),
                               nullptr)) {
        if (ShowSkinnedMessageBox(LoadResString(IDS_MOUNTER_NOT_ANSWERING), MB_YESNO) != IDYES)
            return nullptr;
        result = CNamedMutex::Result::Failed;
    }
    if (result == CNamedMutex::Result::AlreadyExists) {
        if (!args.strImage.isEmpty())
            CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, WM_COPYDATA_MSG, 0, args.strImage.toUtf8(),
                                  nullptr);
        CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_RESTORE, 0, QByteArray(), nullptr);
        CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_FOREGROUND, 0, QByteArray(), nullptr);
        CWindowEndpoint::Broadcast(MOUNTER_BROADCAST_MESSAGE, 0, 0);
        return nullptr;
    }
    // Without a mutex (no folder for it) the program still runs, alone or not.
    std::unique_ptr<CMounterInstance> instance(new CMounterInstance);
    instance->m_pMutex = std::move(mutex);
    instance->m_pWnd = std::make_unique<CMounterWnd>();
    instance->m_pWnd->Listen();
    instance->m_pWnd->SetEndWhenUnmounted(args.bInterop);
    // Placed before it is shown, so that a message from the first mount
    // opens over the window rather than where the window manager had yet
    // to put it.
    CentreOverOwner(instance->m_pWnd.get());
    instance->m_pWnd->show();
    if (!args.strImage.isEmpty())
        instance->m_pWnd->MountImage(args.strImage);
    return instance;
}

CMounterInstance::~CMounterInstance() = default;
