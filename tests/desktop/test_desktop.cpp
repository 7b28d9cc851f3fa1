// Lantern as the desktop sees it once installed: the tree `cmake --install`
// lays out, its desktop entry, image types, icons and AppStream file checked
// by the desktop's own tools, the file manager's choice of program for each
// kind of image, and the Debian package built from this build folder.

#include "FileBytes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kAppId = QStringLiteral(LANTERN_APP_ID);

struct Outcome
{
    int code = -1;
    QString out;
};

Outcome Exec(const QString& program, const QStringList& args,
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
             int timeoutMs = 300000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        return {-1, QStringLiteral("did not finish: ") + program};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

bool Have(const char* tool)
{
    return !QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty();
}

// One install into a temporary prefix, shared by the tests of this program.
class Installed : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        s_prefix = s_dir->filePath(QStringLiteral("prefix"));
        const Outcome r = Exec(QStringLiteral(LANTERN_CMAKE),
                               {QStringLiteral("--install"), QStringLiteral(LANTERN_BUILD_DIR),
                                QStringLiteral("--prefix"), s_prefix});
        s_installed = r.code == 0;
        s_log = r.out;
        // What the install laid out, before the desktop's databases add theirs.
        for (QDirIterator it(s_prefix, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            s_files << QDir(s_prefix).relativeFilePath(it.next());
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override { ASSERT_TRUE(s_installed) << qPrintable(s_log); }
    static QString At(const QString& relative) { return s_prefix + QLatin1Char('/') + relative; }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_prefix;
    static inline bool s_installed = false;
    static inline QString s_log;
    static inline QStringList s_files;
};

// The programs with their companions, module, languages and artwork; both
// programs run through their links on the path, and the machine-wide
// defaults, beside the program and where an administrator keeps them, name
// the folder of the companions. The desktop files are the tools' (below).
TEST_F(Installed, TreeHoldsTheProgramsTheirFilesAndTheDefaults)
{
    const QString lib = At(QStringLiteral("lib/lantern"));
    for (const QString& file :
         QStringLiteral("lib/lantern/VBE.so lib/lantern/Ardent8 lib/lantern/Ardent8.lang "
                        "lib/lantern/Fenmount lib/lantern/Fenmount.lang lib/lantern/ADTRC.lang "
                        "lib/lantern/Language/DEU/ADTRC.lang lib/lantern/Icons/128.png "
                        "lib/lantern/Image/MainFrame/bg_rodoZir_01.png "
                        "share/man/man1/lantern.1.gz share/man/man1/lantern-cli.1.gz "
                        "share/doc/lantern/copyright share/icons/hicolor/scalable/apps/%1.svg")
             .arg(kAppId)
             .split(u' '))
        EXPECT_TRUE(QFileInfo(At(file)).isFile()) << qPrintable(file);
    for (const char* program : {"lantern", "lantern-cli"})
        EXPECT_EQ(QFileInfo(At(QStringLiteral("bin/") + QLatin1String(program))).symLinkTarget(),
                  lib + QLatin1Char('/') + QLatin1String(program));
    const Outcome version =
        Exec(At(QStringLiteral("bin/lantern-cli")), {QStringLiteral("--version")});
    EXPECT_EQ(version.out, QStringLiteral("lantern-cli " LANTERN_VERSION "\n"));
    for (const QString& file : {lib + QStringLiteral("/machine.reg"),
                                At(QStringLiteral("etc/xdg/lantern/registry.reg"))}) {
        const QString text = QString::fromUtf8(ReadBytes(file));
        EXPECT_TRUE(text.contains(QStringLiteral("[Software\\Vantrel\\Ardent8\\Lantern]\n"
                                                 "\"InstallPath\"=sz:\"%1\"")
                                      .arg(lib)))
            << qPrintable(file) << "\n"
            << qPrintable(text);
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString icon =
            At(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId));
        EXPECT_EQ(QImageReader(icon, "png").size(), QSize(size, size)) << qPrintable(icon);
    }
}

TEST_F(Installed, DesktopToolsAcceptTheEntryAndTheDescription)
{
    struct Check
    {
        const char* tool;
        QStringList args;
    } checks[] = {
        {"desktop-file-validate",
         {At(QStringLiteral("share/applications/%1.desktop").arg(kAppId))}},
        {"appstreamcli",
         {QStringLiteral("validate"), QStringLiteral("--no-net"),
          At(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId))}},
    };
    for (const Check& c : checks) {
        if (!Have(c.tool)) {
            ADD_FAILURE() << c.tool << " is not installed (./dev test installs it)";
            continue;
        }
        const Outcome r = Exec(QLatin1String(c.tool), c.args);
        EXPECT_EQ(r.code, 0) << c.tool << ":\n" << qPrintable(r.out);
        EXPECT_FALSE(r.out.contains(QStringLiteral("error"), Qt::CaseInsensitive))
            << qPrintable(r.out);
    }
}

// The file manager's view: the desktop's MIME and application databases
// built over the installed tree, asked through xdg-mime, and Qt's reading of
// the same MIME database (as KDE and Lantern itself see it: *.rdf is claimed
// by RDF/XML too, and the disc's volume descriptors settle it).
TEST_F(Installed, TheDesktopOpensEveryKindOfImageWithLantern)
{
    for (const char* tool :
         {"update-mime-database", "update-desktop-database", "xdg-mime", "genisoimage"})
        if (!Have(tool))
            GTEST_SKIP() << tool << " is not installed (./dev test installs it)";
    const QString share = At(QStringLiteral("share"));
    ASSERT_EQ(Exec(QStringLiteral("update-mime-database"), {share + QStringLiteral("/mime")}).code,
              0);
    ASSERT_EQ(
        Exec(QStringLiteral("update-desktop-database"), {share + QStringLiteral("/applications")})
            .code,
        0);

    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("tree"));
    ASSERT_TRUE(WriteBytes(tree + QStringLiteral("/readme.txt"), "hello\n"));
    const QString iso = work.filePath(QStringLiteral("disc.iso"));
    ASSERT_EQ(Exec(QStringLiteral("genisoimage"),
                   {QStringLiteral("-quiet"), QStringLiteral("-o"), iso, tree})
                  .code,
              0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
          "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), share + QStringLiteral(":/usr/share"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), work.filePath(QStringLiteral("home/.local/share")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("home/.config")));
    env.insert(QStringLiteral("HOME"), work.filePath(QStringLiteral("home")));

    // The program's own kinds hold what an .iso holds; the images of other
    // disc programs begin as those programs write them.
    struct Kind
    {
        const char* suffix;
        const char* type; // the type of our MIME database, or a disc image's
        QByteArray start; // the file's first bytes; the ISO when empty
    } kinds[] = {
        {"iso", "", {}},
        {"adi", "application/x-lantern-adi", {}},
        {"rdf", "application/x-lantern-rdf", {}},
        {"cue", "application/x-cue", "FILE \"Disc Image.bin\" BINARY\n"},
        {"cso", "application/x-compressed-iso", QByteArray("CISO\x18\0\0\0", 8)},
        {"nrg", "application/x-lantern-nrg", QByteArray(4096, '\0')},
        {"mds", "application/x-lantern-mds", "MEDIA DESCRIPTOR\x01\x05"},
        {"ccd", "application/x-lantern-ccd", "[CloneCD]\r\nVersion=3\r\n"},
    };
    // xdg-mime asks `file` (by content) or the MIME database (by name).
    const QStringList discImage = {QStringLiteral("application/x-cd-image"),
                                   QStringLiteral("application/x-iso9660-image"),
                                   QStringLiteral("application/vnd.efi.iso")};
    qputenv("XDG_DATA_DIRS", env.value(QStringLiteral("XDG_DATA_DIRS")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", env.value(QStringLiteral("XDG_DATA_HOME")).toLocal8Bit());
    QMimeDatabase mimeDb;
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.suffix);
        const QString image =
            work.filePath(QStringLiteral("Disc Image.") + QLatin1String(kind.suffix));
        ASSERT_TRUE(kind.start.isEmpty() ? QFile::copy(iso, image) : WriteBytes(image, kind.start));
        const Outcome type =
            Exec(QStringLiteral("xdg-mime"),
                 {QStringLiteral("query"), QStringLiteral("filetype"), image}, env);
        ASSERT_EQ(type.code, 0) << qPrintable(type.out);
        const QMimeType qtType = mimeDb.mimeTypeForFile(image);
        // `file` knows no descriptions by content: a file manager names them
        // by the MIME database, as Qt does.
        const QString mime = kind.start.isEmpty()
                                 ? type.out.trimmed().section(QLatin1Char(';'), 0, 0)
                                 : qtType.name();
        const QString ours = QLatin1String(kind.type);
        EXPECT_TRUE(mime == ours || discImage.contains(mime)) << qPrintable(mime);
        if (kind.start.isEmpty()) {
            EXPECT_TRUE(qtType.inherits(QStringLiteral("application/x-cd-image")))
                << qPrintable(qtType.name());
        }
        if (!ours.isEmpty()) {
            EXPECT_EQ(qtType.name().toStdString(), ours.toStdString());
        }
        const Outcome app = Exec(QStringLiteral("xdg-mime"),
                                 {QStringLiteral("query"), QStringLiteral("default"), mime}, env);
        EXPECT_EQ(app.out.trimmed(), kAppId + QStringLiteral(".desktop")) << qPrintable(mime);
    }
}

// The package: built with CPack from this build folder, its control fields
// and contents read back with dpkg-deb, and lintian's verdict.
TEST_F(Installed, PackageHoldsTheInstalledTreeAndPassesLintian)
{
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"})
        if (!Have(tool))
            GTEST_SKIP() << tool << " is not installed (./dev test installs it)";
    QTemporaryDir out;
    const Outcome pack = Exec(
        QStringLiteral(LANTERN_CPACK),
        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
         QStringLiteral(LANTERN_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out.path()});
    ASSERT_EQ(pack.code, 0) << qPrintable(pack.out);
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("lantern_*.deb")});
    ASSERT_EQ(debs.size(), 1) << qPrintable(pack.out);
    const QString deb = out.filePath(debs[0]);
    EXPECT_EQ(debs[0], QStringLiteral("lantern_" LANTERN_VERSION "_amd64.deb"));

    auto field = [&](const char* name) {
        return Exec(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QLatin1String(name)})
            .out.trimmed();
    };
    EXPECT_EQ(field("Package"), QStringLiteral("lantern"));
    EXPECT_EQ(field("Version"), QStringLiteral(LANTERN_VERSION));
    EXPECT_EQ(field("Architecture"), QStringLiteral("amd64"));
    const QString depends = field("Depends");
    for (const char* dependency :
         {"libqt6widgets6", "libqt6dbus6", "libburn4", "libc6", "shared-mime-info"})
        EXPECT_TRUE(depends.contains(QLatin1String(dependency)))
            << dependency << " in " << qPrintable(depends);
    EXPECT_TRUE(field("Recommends").contains(QStringLiteral("udisks2")));
    EXPECT_FALSE(field("Maintainer").isEmpty());

    // Every file of the installed tree, under /usr (the defaults under /etc).
    const Outcome list = Exec(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    ASSERT_GT(s_files.size(), 50);
    for (const QString& file : s_files) {
        const QString inDeb =
            file.startsWith(QStringLiteral("etc/")) ? file : QStringLiteral("usr/") + file;
        EXPECT_TRUE(list.out.contains(QStringLiteral(" ./") + inDeb)) << qPrintable(inDeb);
    }
    EXPECT_TRUE(
        list.out.contains(QStringLiteral("./usr/bin/lantern-cli -> ../lib/lantern/lantern-cli")));

    // The defaults an administrator may change are kept across upgrades.
    const Outcome conffiles =
        Exec(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), deb, QStringLiteral("conffiles")});
    EXPECT_EQ(conffiles.out.trimmed(), QStringLiteral("/etc/xdg/lantern/registry.reg"));
    const Outcome reg =
        Exec(QStringLiteral("sh"),
             {QStringLiteral("-c"), QStringLiteral("dpkg-deb --fsys-tarfile '%1' | tar -xO "
                                                   "./etc/xdg/lantern/registry.reg")
                                        .arg(deb)});
    EXPECT_TRUE(reg.out.contains(QStringLiteral("\"InstallPath\"=sz:\"/usr/lib/lantern\"")))
        << qPrintable(reg.out);

    if (!Have("lintian"))
        GTEST_SKIP() << "lintian is not installed (./dev test installs it)";
    const Outcome lint = Exec(QStringLiteral("lintian"), {QStringLiteral("--no-cfg"), deb});
    EXPECT_FALSE(lint.out.contains(QStringLiteral("\nE: ")) ||
                 lint.out.startsWith(QStringLiteral("E: ")))
        << qPrintable(lint.out);
}

} // namespace
