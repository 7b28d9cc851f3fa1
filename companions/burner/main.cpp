// The burner's program file.

#include "BurnerStart.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return RunBurner(QApplication::arguments());
}
