#pragma once

// Loads the image-reading module from a file and creates its objects
// through its class factory. The module must export both DllGetClassObject
// and DllCanUnloadNow; it is unloaded only when it says it can be.

#include "EngineTypes.h"
#include "VbeSdk.h"

#include <QString>

class CComponentLoader
{
public:
    CComponentLoader() = default;
    ~CComponentLoader();

    CComponentLoader(const CComponentLoader&) = delete;
    CComponentLoader& operator=(const CComponentLoader&) = delete;

    // Loads the module file. A missing file or a missing export leaves the
    // loader without a module and gives STATUS_FAIL.
    STATUS Load(const QString& modulePath);
    STATUS GetStatus() const { return m_nStatus; }

    // Creates an object of class `clsid` and returns interface `iid` of it;
    // STATUS_FAIL without a module or a class factory.
    STATUS CreateObject(const vbe::Guid& clsid, const vbe::Guid& iid, void** ppObject);

    // A further export of the loaded module by name, or null.
    void* Symbol(const char* name) const;

    // The reason the last Load failed, for diagnostics.
    QString LastError() const { return m_strError; }

private:
    void Unload();

    void* m_hModule = nullptr;
    VbeDllGetClassObject m_pfnGetClassObject = nullptr;
    VbeDllCanUnloadNow m_pfnCanUnloadNow = nullptr;
    STATUS m_nStatus = STATUS_FAIL;
    QString m_strError;
};
