// The viewer's program file.

#include "HeapUse.h"
#include "LanternApp.h"
#include "Scale.h"

int main(int argc, char** argv)
{
    KeepFreedHeapForReuse();
    // A program that declares itself aware of the display's resolution
    // scales its pictures and fonts itself (one and a half times at 144 DPI);
    // otherwise Qt scales the whole window for it.
    if (IsDpiScalingEnabled() && qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    CLanternApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance(0);
    return app.ExitInstance(app.exec());
}
