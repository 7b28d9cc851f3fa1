#include "SystemVersion.h"

#include <optional>

namespace {

std::optional<OsVersion> g_override;

} // namespace

OsVersion GetOsVersion()
{
    return g_override.value_or(OsVersion{});
}

bool IsOsOlderThan(int nMajor, int nMinor)
{
    const OsVersion v = GetOsVersion();
    return v.nMajor < nMajor || (v.nMajor == nMajor && v.nMinor < nMinor);
}

void SetOsVersionForTesting(const OsVersion& version)
{
    g_override = version;
}

void ResetOsVersionForTesting()
{
    g_override.reset();
}
