#include "BurnerStart.h"

#include "AdtMessageBox.h"
#include "BurnDevice.h"
#include "BurnerTexts.h"
#include "BurnerWindow.h"
#include "FileDialogEX.h"
#include "LangResources.h"
#include "NamedMutex.h"
#include "ProgramPaths.h"
#include "StoredSettings.h"
#include "SuiteNames.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace {
// "4700000000", "700M", "64k": bytes, with an optional binary multiple.
qint64 ParseSize(QString text)
{
    text = text.trimmed().toUpper();
    qint64 factor = 1;
    if (text.endsWith(QLatin1Char('K')))
        factor = 1024;
    else if (text.endsWith(QLatin1Char('M')))
        factor = 1024 * 1024;
    else if (text.endsWith(QLatin1Char('G')))
        factor = qint64(1024) * 1024 * 1024;
    if (factor > 1)
        text.chop(1);
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok && n > 0 ? n * factor : -1;
}

void Print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}
} // namespace

BurnerArguments ParseBurnerArguments(const QStringList& args)
{
    BurnerArguments out;
    for (qsizetype i = 1; i < args.size() && out.strError.isEmpty(); ++i) {
        const QString& arg = args[i];
        auto value = [&]() -> QString {
            if (i + 1 < args.size())
                return args[++i];
            out.strError = FormatResText(LoadResString(IDS_ARG_NEEDS_VALUE), {arg});
            return QString();
        };
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            out.bHelp = true;
        } else if (arg == QLatin1String("--drive")) {
            out.strDrive = value();
        } else if (arg == QLatin1String("--medium-size")) {
            const QString text = value();
            if (out.strError.isEmpty() && (out.nMediumSize = ParseSize(text)) < 0)
                out.strError = FormatResText(LoadResString(IDS_ARG_BAD_SIZE), {text});
        } else if (arg.startsWith(QLatin1String("--")) || !out.strImage.isEmpty()) {
            out.strError = FormatResText(LoadResString(IDS_ARG_UNKNOWN), {arg});
        } else {
            out.strImage = arg;
        }
    }
    return out;
}

QString BurnerHelpText()
{
    QStringList lines;
    for (int id :
         {IDS_HELP_USAGE, IDS_HELP_ABOUT, IDS_HELP_DRIVE, IDS_HELP_MEDIUM_SIZE, IDS_HELP_HELP})
        lines << LoadResString(id);
    lines.insert(2, QString());
    return lines.join(QLatin1Char('\n'));
}

bool LoadBurnerTexts()
{
    // The language the settings name, else the one the locale asks for,
    // when there is a set for it (Language/DEU/...), else English.
    static CLangResources texts;
    if (!LoadLanguageFile(&texts, QStringLiteral("Ardent8.lang"), GetCurrentLang()))
        return false;
    SetLangResources(&texts);
    return true;
}

std::unique_ptr<CNamedMutex> TakeBurnerMutex(QWidget* pOwner, bool* pRefused)
{
    CNamedMutex::Result result = CNamedMutex::Result::Failed;
    auto mutex = CNamedMutex::Create(BURNER_MUTEX_NAME, &result);
    *pRefused = result == CNamedMutex::Result::AlreadyExists;
    if (*pRefused)
        ShowSkinnedMessageBox(IDS_MSG_ALREADY_RUNNING, MB_OK | MB_ICONWARNING,
                              IDS_MESSAGE_BOX_CAPTION, pOwner);
    // A mutex that cannot be made (no runtime folder) does not stop a burn.
    return mutex;
}

QString ChooseBurnerImage(QWidget* pOwner)
{
    CFileDialogEX dialog(true, LoadResString(IDS_MSG_IMAGE_FILTER), pOwner);
    dialog.setWindowTitle(LoadResString(IDS_MSG_CHOOSE_IMAGE));
    dialog.setDirectory(QDir::homePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

int RunBurner(const QStringList& args)
{
    if (!LoadBurnerTexts()) {
        // Without its texts the burner can say only this, in English.
        const QString text =
            QStringLiteral("Ardent8 cannot start: its texts (Ardent8.lang) are missing beside "
                           "the program.");
        Print(stderr, text);
        CAdtMessageBox box(text, QStringLiteral("Ardent8"), MB_OK | MB_ICONERROR, nullptr,
                           MESSAGE_BOX_DEFAULT_ICON, false);
        box.DoModal();
        return 1;
    }
    const BurnerArguments parsed = ParseBurnerArguments(args);
    if (parsed.bHelp) {
        Print(stdout, BurnerHelpText());
        return 0;
    }
    if (!parsed.strError.isEmpty()) {
        Print(stderr, parsed.strError);
        Print(stderr, LoadResString(IDS_HELP_USAGE));
        return 2;
    }
    bool bRefused = false;
    const std::unique_ptr<CNamedMutex> mutex = TakeBurnerMutex(nullptr, &bRefused);
    if (bRefused)
        return 3;
    QString image = parsed.strImage;
    if (image.isEmpty()) {
        image = ChooseBurnerImage(nullptr);
        if (image.isEmpty()) {
            ShowSkinnedMessageBox(IDS_MSG_NO_IMAGE, MB_OK | MB_ICONINFORMATION);
            return 1;
        }
    }
    const QFileInfo info(image);
    if (!info.isFile() || !info.isReadable()) {
        ShowSkinnedMessageBox(FormatResText(LoadResString(IDS_MSG_IMAGE_UNREADABLE),
                                            {QDir::toNativeSeparators(image)}),
                              MB_OK | MB_ICONERROR);
        return 1;
    }
    int rc = 0;
    {
        CBurnerWindow window(info.absoluteFilePath(), parsed.strDrive, parsed.nMediumSize);
        window.show();
        rc = QApplication::exec();
    }
    FinishBurnLibrary();
    return rc;
}
