#include "ComponentLoader.h"

#include <QFile>
#include <dlfcn.h>

CComponentLoader::~CComponentLoader()
{
    if (m_nStatus >= 0 && m_pfnCanUnloadNow && m_pfnCanUnloadNow() == 0)
        Unload();
}

void CComponentLoader::Unload()
{
    if (m_hModule)
        ::dlclose(m_hModule);
    m_hModule = nullptr;
    m_pfnGetClassObject = nullptr;
    m_pfnCanUnloadNow = nullptr;
}

void* CComponentLoader::Symbol(const char* name) const
{
    return m_hModule ? ::dlsym(m_hModule, name) : nullptr;
}

STATUS CComponentLoader::Load(const QString& modulePath)
{
    if (m_hModule)
        return m_nStatus;
    m_nStatus = STATUS_FAIL;
    m_hModule = ::dlopen(QFile::encodeName(modulePath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_hModule) {
        const char* error = ::dlerror();
        m_strError = QString::fromLocal8Bit(error ? error : "cannot load the module");
        return m_nStatus;
    }
    m_pfnGetClassObject =
        reinterpret_cast<VbeDllGetClassObject>(::dlsym(m_hModule, "DllGetClassObject"));
    m_pfnCanUnloadNow = reinterpret_cast<VbeDllCanUnloadNow>(::dlsym(m_hModule, "DllCanUnloadNow"));
    if (!m_pfnGetClassObject || !m_pfnCanUnloadNow) {
        m_strError =
            QStringLiteral("%1 lacks DllGetClassObject or DllCanUnloadNow").arg(modulePath);
        Unload();
        return m_nStatus;
    }
    m_nStatus = STATUS_OK;
    return m_nStatus;
}

STATUS CComponentLoader::CreateObject(const vbe::Guid& clsid, const vbe::Guid& iid, void** ppObject)
{
    if (!ppObject)
        return STATUS_INVALID_ARG;
    *ppObject = nullptr;
    if (m_nStatus < 0 || !m_pfnGetClassObject)
        return STATUS_FAIL;
    vbe::IClassFactory* factory = nullptr;
    if (m_pfnGetClassObject(clsid, vbe::IID_IClassFactory, reinterpret_cast<void**>(&factory)) <
            0 ||
        !factory)
        return STATUS_FAIL;
    const STATUS result = factory->CreateInstance(nullptr, iid, ppObject);
    factory->Release();
    return result;
}
