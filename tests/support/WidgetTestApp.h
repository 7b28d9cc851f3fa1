#pragma once

// A QApplication for one widget test, the program folder at the built one (skin images),
// and a language set of the strings given.

#include "ProgramPaths.h"
#include "WidgetHelpers.h"

#include <QApplication>
#include <map>
#include <memory>

class WidgetTestApp
{
public:
    explicit WidgetTestApp(const std::map<int, QString>& strings = {})
        : m_app(std::make_unique<QApplication>(s_argc, s_argv)), m_strings(Lines(strings))
    {
        SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
    }
    ~WidgetTestApp() { SetProgramFolderForTesting(QString()); }
    WidgetTestApp(const WidgetTestApp&) = delete;
    WidgetTestApp& operator=(const WidgetTestApp&) = delete;

private:
    static QByteArray Lines(const std::map<int, QString>& strings)
    {
        QByteArray lines;
        for (const auto& [id, text] : strings)
            lines += QByteArray::number(id) + " = " + text.toUtf8() + '\n';
        return lines;
    }

    static inline int s_argc = 1;
    static inline char s_name[] = "lantern_test";
    static inline char* s_argv[] = {s_name, nullptr};
    std::unique_ptr<QApplication> m_app;
    ScopedLangSet m_strings;
};
