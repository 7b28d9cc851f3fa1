// Plays the suite's burner or virtual drive (Ardent8 or Fenmount, by the name
// it runs under). Logs to $SUITE_DOUBLE_LOG: "start<TAB>name<TAB>args...",
// image-held|image-free (whether its starter holds the image open),
// "request MSG", "broadcast W L", and "ready" once set up. The environment's
// SUITE_DOUBLE_NO_WINDOW=1 (no endpoint), _LIFE_MS=N (ends after N ms, 300),
// _UNTIL_BROADCAST=1 (ends after the first broadcast) and _DAMAGE_IMAGE=1
// (overwrites the volume descriptors) shape what it does.

#include "NamedMutex.h"
#include "SuiteNames.h"
#include "WindowEndpoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void Log(const QString& line)
{
    QFile log(qEnvironmentVariable("SUITE_DOUBLE_LOG"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write((line + QLatin1Char('\n')).toUtf8());
}

bool Flag(const char* name)
{
    return qEnvironmentVariableIntValue(name) == 1;
}

// Whether the process that started us has the file open.
bool ParentHolds(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QDir fds(u"/proc/%1/fd"_s.arg(::getppid()));
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == canonical)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const bool bBurner = name == u"Ardent8"_s;
    QStringList args = app.arguments();
    args[0] = name;
    Log(u"start\t"_s + args.join(QLatin1Char('\t')));
    if (bBurner && args.size() > 1)
        Log(ParentHolds(args[1]) ? u"image-held"_s : u"image-free"_s);

    const auto mutex =
        CNamedMutex::Create(bBurner ? BURNER_MUTEX_NAME : MOUNTER_MUTEX_NAME, nullptr);
    CWindowEndpoint endpoint;
    if (!bBurner && !Flag("SUITE_DOUBLE_NO_WINDOW")) {
        endpoint.Listen(
            MOUNTER_WINDOW_CLASS,
            [](std::uint32_t message, std::uint64_t, const QByteArray&) -> std::int64_t {
                Log(u"request %1"_s.arg(message, 0, 16));
                return message == ENDPOINT_QUERY_STATE ? 1 : 0;
            });
        endpoint.ListenForBroadcast(MOUNTER_BROADCAST_MESSAGE,
                                    [](std::uint64_t wParam, std::int64_t lParam) {
                                        Log(u"broadcast %1 %2"_s.arg(wParam).arg(lParam));
                                        if (Flag("SUITE_DOUBLE_UNTIL_BROADCAST"))
                                            QTimer::singleShot(200, qApp, &QCoreApplication::quit);
                                    });
    }
    if (bBurner && Flag("SUITE_DOUBLE_DAMAGE_IMAGE") && args.size() > 1) {
        QFile image(args[1]);
        if (image.open(QIODevice::ReadWrite)) {
            image.seek(16 * 2048);
            image.write(QByteArray(8 * 2048, '\0'));
        }
    }
    Log(u"ready"_s);
    if (!Flag("SUITE_DOUBLE_UNTIL_BROADCAST"))
        QTimer::singleShot(qEnvironmentVariableIntValue("SUITE_DOUBLE_LIFE_MS") ?: 300, &app,
                           &QCoreApplication::quit);
    return app.exec();
}
