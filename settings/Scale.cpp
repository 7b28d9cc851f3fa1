#include "Scale.h"

#include "LangResources.h"
#include "RegValues.h"
#include "StoredSettings.h"
#include "SystemVersion.h"

#include <mutex>
#include <optional>

namespace {

std::mutex g_mutex;
std::optional<bool> g_bScalingEnabled;
std::function<double()> g_dpiSource;

double DisplayDpi()
{
    std::lock_guard lock(g_mutex);
    const double dpi = g_dpiSource ? g_dpiSource() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

} // namespace

bool IsDpiScalingEnabled()
{
    std::lock_guard lock(g_mutex);
    if (!g_bScalingEnabled) {
        DwordReg value(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("EnableDPIAware"));
        value.Read();
        g_bScalingEnabled = value.Get() != 0;
    }
    return *g_bScalingEnabled;
}

double GetDpiScale(bool bForce)
{
    if (!IsDpiScalingEnabled() && !bForce)
        return 1.0;
    return DisplayDpi() / 96.0;
}

double GetImageScale()
{
    if (!IsDpiScalingEnabled())
        return 1.0;
    return GetDpiScale() >= 1.5 ? 1.5 : 1.0;
}

QString GetUIFontName(const QString& defaultFace)
{
    const QString face = LoadResString(IDS_UI_FONT_FACE);
    if (face.isEmpty() || (face == u"Segoe UI" && IsOsOlderThan(6)))
        return defaultFace;
    return face;
}

void SetDisplayDpiSource(std::function<double()> source)
{
    std::lock_guard lock(g_mutex);
    g_dpiSource = std::move(source);
}

void ResetScaleSettingsForTesting()
{
    std::lock_guard lock(g_mutex);
    g_bScalingEnabled.reset();
}
