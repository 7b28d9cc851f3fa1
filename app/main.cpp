// The viewer's program file.

#include "LanternApp.h"

int main(int argc, char** argv)
{
    CLanternApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance(0);
    return app.ExitInstance(app.exec());
}
