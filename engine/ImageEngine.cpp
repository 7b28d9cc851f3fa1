#include "ImageEngine.h"

#include "ProgramPaths.h"
#include "Registry.h"
#include "StoredSettings.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

CImageEngine* g_pImageEngine = nullptr;

namespace {

const char16_t* Utf16(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

template <class T>
void ReleaseAndClear(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

} // namespace

CImageEngine::CImageEngine()
{
    // The module lies beside the program file, whatever the current folder.
    Construct(ProgramFolder() + QStringLiteral("/VBE.so"));
}

CImageEngine::CImageEngine(const QString& modulePath)
{
    Construct(modulePath);
}

void CImageEngine::Construct(const QString& modulePath)
{
    m_pLoader = std::make_unique<CComponentLoader>();
    if (m_pLoader->Load(modulePath) >= 0)
        ConfigureSdk();
}

CImageEngine::~CImageEngine()
{
    m_copy.Stop();
    ReleaseSdk();
    m_pLoader.reset(); // may unload the module
}

STATUS CImageEngine::ConfigureSdk()
{
    STATUS result = STATUS_UNEXPECTED;
    if (m_pLoader && !m_pEngine) {
        result = m_pLoader->CreateObject(vbe::CLSID_SdkEngine, vbe::IID_ISdkEngine,
                                         reinterpret_cast<void**>(&m_pEngine));
    }
    if (!m_pEngine)
        return STATUS_UNEXPECTED;
    vbe::ISdkSettings* settings = nullptr;
    if (m_pEngine->QueryInterface(vbe::IID_ISdkSettings, reinterpret_cast<void**>(&settings)) >=
            0 &&
        settings) {
        settings->SetRegistryKey(HKEY_LOCAL_MACHINE, Utf16(SETTINGS_KEY),
                                 static_cast<std::uint32_t>(SETTINGS_KEY.size()), 1);
        settings->Release();
    }
    return result;
}

STATUS CImageEngine::ReleaseSdk()
{
    DetachImage();
    ReleaseAndClear(m_pEngine);
    return STATUS_OK;
}

QString CImageEngine::ImageMutexName(const QString& imagePath)
{
    // Linux paths are case-sensitive, and "/" is their only separator: the
    // path is kept as it is (the named mutex makes a file name of any text).
    // Links, "." and ".." are resolved so that one file has one name.
    const QFileInfo info(imagePath);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

void CImageEngine::Notify(std::uint32_t nCode, const QString* pParam)
{
    if (!m_pfnNotify)
        return;
    // The callback gets its own copy of the text.
    const QString copy = pParam ? *pParam : QString();
    m_pfnNotify(nCode, pParam ? Utf16(copy) : nullptr, m_pNotifyContext);
}

void CImageEngine::Pump()
{
    if (m_pfnPump)
        m_pfnPump();
}

STATUS CImageEngine::AttachImage(const QString& imagePath, int nTopPercent)
{
    if (!m_pEngine)
        return STATUS_UNEXPECTED;

    if (m_bImageMutexUsed) {
        CNamedMutex::Result created = CNamedMutex::Result::Failed;
        m_hImageMutex = CNamedMutex::Create(ImageMutexName(imagePath), &created);
        if (created == CNamedMutex::Result::AlreadyExists) {
            m_hImageMutex.reset();
            return STATUS_FAIL;
        }
    }

    STATUS result = STATUS_OK;
    // Each step either succeeds or ends the attach with its failure.
    auto run = [&]() -> STATUS {
        STATUS r = m_pEngine->OpenImage(0, vbe::kReadAccess, Utf16(imagePath), &m_pImage);
        if (r < 0)
            return r;
        if (!m_pImage)
            return STATUS_UNEXPECTED;
        Notify(NOTIFY_OPEN_BEGIN, &imagePath);
        r = m_pEngine->CreateReader(vbe::IID_ISdkReader, &m_pReader);
        if (r < 0)
            return r;
        if (!m_pReader)
            return STATUS_UNEXPECTED;
        if ((r = m_pReader->SetSource(m_pImage)) < 0)
            return r;
        m_bSourceSet = true;
        if ((r = m_pReader->Open()) < 0)
            return r;
        m_bReaderOpen = true;
        r = m_pReader->QueryInterface(vbe::IID_ISdkBrowser, reinterpret_cast<void**>(&m_pBrowser));
        if (r < 0)
            return r;
        if (!m_pBrowser)
            return STATUS_UNEXPECTED;

        r = m_pReader->StartTask(vbe::kTaskScan, 0, 0);
        while (!m_bCancel) {
            float progress = 0;
            std::uint32_t status = 0;
            if (m_pReader->WaitTask(100, &status, &progress) != SDK_TASK_RUNNING)
                break;
            // Clamp before converting: a progress above 1 (or not a number)
            // must not push the percent past the top.
            double share = progress;
            if (!(share >= 0.0))
                share = 0.0;
            const double scaled = nTopPercent * std::min(share, 1.0);
            m_nLoadPercent = std::min(nTopPercent, static_cast<int>(scaled));
            Pump();
        }
        if (m_bCancel) {
            Notify(NOTIFY_CANCELLING, nullptr);
            m_pReader->AbortTask();
            while (m_pReader->WaitTask(100, nullptr, nullptr) == SDK_TASK_RUNNING)
                Pump();
            r = m_pReader->EndTask() | r;
            return r >= 0 ? STATUS_CANCELLED : r;
        }
        return m_pReader->EndTask() | r;
    };
    result = run();
    if (result < 0)
        DetachImage();
    return result;
}

void CImageEngine::DetachImage()
{
    m_hImageMutex.reset();
    ReleaseAndClear(m_pBrowser);
    if (m_pReader) {
        if (m_bReaderOpen) {
            m_pReader->Close();
            m_bReaderOpen = false;
        }
        if (m_bSourceSet) {
            m_pReader->ClearSource();
            m_bSourceSet = false;
        }
        ReleaseAndClear(m_pReader);
    }
    ReleaseAndClear(m_pImage);
}

STATUS CImageEngine::ReattachImage()
{
    if (m_szImagePath.isEmpty() || !QFileInfo::exists(m_szImagePath))
        return STATUS_UNEXPECTED;
    m_bLoading = true;
    DetachImage();
    const STATUS r = AttachImage(m_szImagePath, 100);
    if (r < 0)
        DetachImage();
    m_bLoading = false;
    return r;
}

STATUS CImageEngine::CanOpenImage(const QString& imagePath)
{
    if (!m_pEngine || !QFileInfo::exists(imagePath))
        return STATUS_UNEXPECTED;
    vbe::ISdkImage* image = nullptr;
    const STATUS r = m_pEngine->OpenImage(0, vbe::kReadAccess, Utf16(imagePath), &image);
    ReleaseAndClear(image);
    return r;
}

vbe::Result CImageEngine::ReadImageFacts(const QString& imagePath, VbeImageFacts* pFacts) const
{
    auto read = m_pLoader
                    ? reinterpret_cast<VbeReadImageFactsFn>(m_pLoader->Symbol("VbeReadImageFacts"))
                    : nullptr;
    if (!read)
        return vbe::kNotImplemented;
    *pFacts = VbeImageFacts{};
    pFacts->structSize = sizeof *pFacts;
    const QString absolute = QFileInfo(imagePath).absoluteFilePath();
    return read(reinterpret_cast<const char16_t*>(absolute.utf16()), pFacts);
}

vbe::Result CImageEngine::ReadEntryFacts(const QString& imagePath, const QString& entryPath,
                                         VbeEntryFacts* pFacts) const
{
    auto read = m_pLoader
                    ? reinterpret_cast<VbeReadEntryFactsFn>(m_pLoader->Symbol("VbeReadEntryFacts"))
                    : nullptr;
    if (!read)
        return vbe::kNotImplemented;
    *pFacts = VbeEntryFacts{};
    pFacts->structSize = sizeof *pFacts;
    const QString absolute = QFileInfo(imagePath).absoluteFilePath();
    return read(reinterpret_cast<const char16_t*>(absolute.utf16()),
                reinterpret_cast<const char16_t*>(entryPath.utf16()), pFacts);
}

QString CImageEngine::OpenFailureReason(const QString& imagePath) const
{
    auto facts = std::make_unique<VbeImageFacts>();
    if (ReadImageFacts(imagePath, facts.get()) >= 0)
        return QString();
    return QString::fromUtf16(facts->firstDamage);
}

STATUS CImageEngine::GetProgress(std::uint32_t nCode, int* pValue) const
{
    if (!pValue)
        return STATUS_OK;
    if (nCode == PROGRESS_LOAD)
        *pValue = m_nLoadPercent;
    else if (nCode == PROGRESS_EXTRACT)
        *pValue = m_nExtractPercent;
    return STATUS_OK;
}

int CImageEngine::SetNotify(PFN_LANTERN_NOTIFY pfnNotify, void* pContext)
{
    m_pfnNotify = pfnNotify;
    m_pNotifyContext = pContext;
    return 1;
}

void CImageEngine::SetCancel(bool bCancel)
{
    m_bCancel = bCancel;
    if (bCancel)
        m_copy.Wake();
}

STATUS CImageEngine::ReadImageFile(const QString& sourcePath,
                                   const std::function<bool(const char*, std::size_t)>& consume)
{
    if (!m_pBrowser)
        return STATUS_UNEXPECTED;
    Notify(NOTIFY_READ_BEGIN, &sourcePath);
    std::uint64_t size = 0;
    STATUS r = m_pBrowser->OpenFile(Utf16(sourcePath), &size);
    if (r < 0)
        return r;
    constexpr std::uint32_t kBlock = 1u << 20;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlock]);
    if (!buffer) {
        m_pBrowser->CloseFile();
        return STATUS_OUT_OF_MEMORY;
    }
    for (std::uint64_t offset = 0; offset < size && r >= 0;) {
        Pump();
        if (m_bCancel) {
            r = STATUS_CANCELLED;
            break;
        }
        const auto wanted =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlock, size - offset));
        std::uint32_t read = 0;
        r = m_pBrowser->ReadFile(buffer.get(), wanted, &read, 0);
        if (r >= 0 && (read == 0 || read > wanted))
            r = vbe::kReadFault; // the module promised progress and no overrun
        if (r < 0)
            break;
        if (!consume(buffer.get(), read))
            r = STATUS_CANCELLED;
        offset += read;
        CountBytesRead(read);
    }
    m_pBrowser->CloseFile();
    return r;
}

void CImageEngine::CountBytesRead(std::uint64_t n)
{
    const std::uint64_t done = m_nBytesWritten += n;
    if (const std::uint64_t total = m_nBytesTotal; total > 0)
        m_nExtractPercent = static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
}
