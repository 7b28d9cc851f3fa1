#pragma once

// A QApplication for one widget test, with the program folder pointed at the
// built program's folder (where the skin images lie) and a language resource
// set made of the strings the test gives.

#include "LangResources.h"
#include "ProgramPaths.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <map>
#include <memory>

class WidgetTestApp
{
public:
    explicit WidgetTestApp(const std::map<int, QString>& strings = {})
    {
        static int argc = 1;
        static char name[] = "lantern_test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
        QFile file(m_dir.filePath(QStringLiteral("ADTRC.lang")));
        if (file.open(QIODevice::WriteOnly)) {
            QTextStream out(&file);
            out << "[language]\ncode = ENU\nname = English\n[strings]\n";
            for (const auto& [id, text] : strings)
                out << id << " = " << text << "\n";
        }
        file.close();
        m_resources.LoadFile(file.fileName());
        SetLangResources(&m_resources);
    }
    ~WidgetTestApp()
    {
        SetLangResources(nullptr);
        SetProgramFolderForTesting(QString());
    }
    WidgetTestApp(const WidgetTestApp&) = delete;
    WidgetTestApp& operator=(const WidgetTestApp&) = delete;

private:
    QTemporaryDir m_dir;
    CLangResources m_resources;
    std::unique_ptr<QApplication> m_app;
};
