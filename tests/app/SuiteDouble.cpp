// Stands in for the suite's burner or virtual-drive program, by the name it
// is started under (Ardent8 or Fenmount), in the hand-off tests. It appends
// what happens to the file named by SUITE_DOUBLE_LOG, one line each:
//   start <name> <argument>...   (tab-separated)
//   image-held | image-free      whether the starting process holds the image open
//   request <message>            a request on its window endpoint
//   broadcast <wParam> <lParam>
//   ready                        its mutex and endpoint are set up
// and behaves as the environment says:
//   SUITE_DOUBLE_NO_WINDOW=1       has no window endpoint
//   SUITE_DOUBLE_LIFE_MS=N         ends after N ms (300 by default)
//   SUITE_DOUBLE_UNTIL_BROADCAST=1 ends shortly after the first broadcast
//   SUITE_DOUBLE_DAMAGE_IMAGE=1    overwrites the image's volume descriptors

#include "NamedMutex.h"
#include "SuiteNames.h"
#include "WindowEndpoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <memory>
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
    if (!Flag("SUITE_DOUBLE_UNTIL_BROADCAST")) {
        const int life = qEnvironmentVariableIsSet("SUITE_DOUBLE_LIFE_MS")
                             ? qEnvironmentVariableIntValue("SUITE_DOUBLE_LIFE_MS")
                             : 300;
        QTimer::singleShot(life, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
