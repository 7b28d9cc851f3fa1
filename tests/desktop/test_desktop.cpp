// Lantern once installed: the tree `cmake --install` lays out as the desktop's tools see it,
// the file manager's program for each kind of image, and the Debian package.

#include "FileBytes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

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
        return {-1, u"did not finish: "_s + program};
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
        s_prefix = s_dir->filePath(u"prefix"_s);
        const Outcome r =
            Exec(QStringLiteral(LANTERN_CMAKE),
                 {u"--install"_s, QStringLiteral(LANTERN_BUILD_DIR), u"--prefix"_s, s_prefix});
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

// The programs, companions, module, languages and artwork; the links on the path; the
// machine-wide defaults naming the companions' folder; entry and description validated.
TEST_F(Installed, TreeHoldsTheProgramsTheirFilesAndTheDefaults)
{
    const QString lib = At(u"lib/lantern"_s);
    for (const QString& file :
         u"lib/lantern/VBE.so lib/lantern/Ardent8 lib/lantern/Ardent8.lang lib/lantern/Fenmount "
         "lib/lantern/Fenmount.lang lib/lantern/ADTRC.lang lib/lantern/Language/DEU/ADTRC.lang "
         "lib/lantern/Icons/128.png lib/lantern/Image/MainFrame/bg_rodoZir_01.png "
         "share/man/man1/lantern.1.gz share/man/man1/lantern-cli.1.gz "
         "share/doc/lantern/copyright share/icons/hicolor/scalable/apps/%1.svg"_s.arg(kAppId)
             .split(u' '))
        EXPECT_TRUE(QFileInfo(At(file)).isFile()) << qPrintable(file);
    for (const char* program : {"lantern", "lantern-cli"})
        EXPECT_EQ(QFileInfo(At(u"bin/"_s + QLatin1String(program))).symLinkTarget(),
                  lib + QLatin1Char('/') + QLatin1String(program));
    EXPECT_EQ(Exec(At(u"bin/lantern-cli"_s), {u"--version"_s}).out,
              QStringLiteral("lantern-cli " LANTERN_VERSION "\n"));
    for (const QString& file : {lib + u"/machine.reg"_s, At(u"etc/xdg/lantern/registry.reg"_s)})
        EXPECT_TRUE(ReadBytes(file).contains(
            u"[Software\\Vantrel\\Ardent8\\Lantern]\n\"InstallPath\"=sz:\"%1\""_s.arg(lib)
                .toUtf8()))
            << qPrintable(file);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString icon = At(u"share/icons/hicolor/%1x%1/apps/%2.png"_s.arg(size).arg(kAppId));
        EXPECT_EQ(QImageReader(icon, "png").size(), QSize(size, size)) << qPrintable(icon);
    }
    for (const QStringList& check :
         {QStringList{u"desktop-file-validate"_s,
                      At(u"share/applications/%1.desktop"_s.arg(kAppId))},
          QStringList{u"appstreamcli"_s, u"validate"_s, u"--no-net"_s,
                      At(u"share/metainfo/%1.metainfo.xml"_s.arg(kAppId))}}) {
        if (!Have(qPrintable(check[0]))) {
            ADD_FAILURE() << qPrintable(check[0]) << " is not installed (./dev test installs it)";
            continue;
        }
        const Outcome r = Exec(check[0], check.mid(1));
        EXPECT_TRUE(r.code == 0 && !r.out.contains(u"error"_s, Qt::CaseInsensitive))
            << qPrintable(r.out);
    }
}

// The file manager's view through xdg-mime over the installed databases, and Qt's reading of
// them (*.rdf is claimed by RDF/XML too: the disc's volume descriptors settle it).
TEST_F(Installed, TheDesktopOpensEveryKindOfImageWithLantern)
{
    for (const char* tool :
         {"update-mime-database", "update-desktop-database", "xdg-mime", "genisoimage"})
        if (!Have(tool))
            GTEST_SKIP() << tool << " is not installed (./dev test installs it)";
    const QString share = At(u"share"_s);
    ASSERT_EQ(Exec(u"update-mime-database"_s, {share + u"/mime"_s}).code, 0);
    ASSERT_EQ(Exec(u"update-desktop-database"_s, {share + u"/applications"_s}).code, 0);

    QTemporaryDir work;
    ASSERT_TRUE(WriteBytes(work.filePath(u"tree/readme.txt"_s), "hello\n"));
    const QString iso = work.filePath(u"disc.iso"_s);
    ASSERT_EQ(Exec(u"genisoimage"_s, {u"-quiet"_s, u"-o"_s, iso, work.filePath(u"tree"_s)}).code,
              0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
          "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    env.insert(u"XDG_DATA_DIRS"_s, share + u":/usr/share"_s);
    env.insert(u"XDG_DATA_HOME"_s, work.filePath(u"home/.local/share"_s));
    env.insert(u"XDG_CONFIG_HOME"_s, work.filePath(u"home/.config"_s));
    env.insert(u"HOME"_s, work.filePath(u"home"_s));

    // Our own kinds hold an .iso; other programs' images begin as those programs write them.
    const struct
    {
        const char* suffix;
        const char* type;
        QByteArray start;
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
    const QStringList discImage = {u"application/x-cd-image"_s, u"application/x-iso9660-image"_s,
                                   u"application/vnd.efi.iso"_s};
    for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    QMimeDatabase mimeDb;
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.suffix);
        const QString image = work.filePath(u"Disc Image."_s + QLatin1String(kind.suffix));
        ASSERT_TRUE(kind.start.isEmpty() ? QFile::copy(iso, image) : WriteBytes(image, kind.start));
        const Outcome type = Exec(u"xdg-mime"_s, {u"query"_s, u"filetype"_s, image}, env);
        ASSERT_EQ(type.code, 0) << qPrintable(type.out);
        const QMimeType qtType = mimeDb.mimeTypeForFile(image);
        // `file` knows no descriptions by content: the MIME database names them, as Qt does.
        const QString mime = kind.start.isEmpty()
                                 ? type.out.trimmed().section(QLatin1Char(';'), 0, 0)
                                 : qtType.name();
        const QString ours = QLatin1String(kind.type);
        EXPECT_TRUE(mime == ours || discImage.contains(mime)) << qPrintable(mime);
        EXPECT_TRUE(ours.isEmpty() ? qtType.inherits(u"application/x-cd-image"_s)
                                   : qtType.name() == ours)
            << qPrintable(qtType.name());
        const Outcome app = Exec(u"xdg-mime"_s, {u"query"_s, u"default"_s, mime}, env);
        EXPECT_EQ(app.out.trimmed(), kAppId + u".desktop"_s) << qPrintable(mime);
    }
}

// The package built with CPack, read back with dpkg-deb, and lintian's verdict.
TEST_F(Installed, PackageHoldsTheInstalledTreeAndPassesLintian)
{
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"})
        if (!Have(tool))
            GTEST_SKIP() << tool << " is not installed (./dev test installs it)";
    QTemporaryDir out;
    const Outcome pack =
        Exec(QStringLiteral(LANTERN_CPACK),
             {u"-G"_s, u"DEB"_s, u"--config"_s,
              QStringLiteral(LANTERN_BUILD_DIR "/CPackConfig.cmake"), u"-B"_s, out.path()});
    ASSERT_EQ(pack.code, 0) << qPrintable(pack.out);
    const QStringList debs = QDir(out.path()).entryList({u"lantern_*.deb"_s});
    ASSERT_EQ(debs, QStringList{QStringLiteral("lantern_" LANTERN_VERSION "_amd64.deb")})
        << qPrintable(pack.out);
    const QString deb = out.filePath(debs[0]);

    auto field = [&](const char* name) {
        return Exec(u"dpkg-deb"_s, {u"-f"_s, deb, QLatin1String(name)}).out.trimmed();
    };
    for (const char* dependency :
         {"libqt6widgets6", "libqt6dbus6", "libburn4", "libc6", "shared-mime-info"})
        EXPECT_TRUE(field("Depends").contains(QLatin1String(dependency))) << dependency;
    EXPECT_TRUE(field("Recommends").contains(u"udisks2"_s));
    EXPECT_FALSE(field("Maintainer").isEmpty());

    // Every file of the installed tree, under /usr (the defaults under /etc).
    const Outcome list = Exec(u"dpkg-deb"_s, {u"-c"_s, deb});
    ASSERT_GT(s_files.size(), 50);
    for (const QString& file : s_files) {
        const QString inDeb = file.startsWith(u"etc/"_s) ? file : u"usr/"_s + file;
        EXPECT_TRUE(list.out.contains(u" ./"_s + inDeb)) << qPrintable(inDeb);
    }
    EXPECT_TRUE(list.out.contains(u"./usr/bin/lantern-cli -> ../lib/lantern/lantern-cli"_s));

    // The defaults an administrator may change are kept across upgrades.
    EXPECT_EQ(Exec(u"dpkg-deb"_s, {u"-I"_s, deb, u"conffiles"_s}).out.trimmed(),
              u"/etc/xdg/lantern/registry.reg"_s);
    const Outcome reg =
        Exec(u"sh"_s, {u"-c"_s, QStringLiteral("dpkg-deb --fsys-tarfile '%1' | tar -xO "
                                               "./etc/xdg/lantern/registry.reg")
                                    .arg(deb)});
    EXPECT_TRUE(reg.out.contains(u"\"InstallPath\"=sz:\"/usr/lib/lantern\""_s))
        << qPrintable(reg.out);

    if (!Have("lintian"))
        GTEST_SKIP() << "lintian is not installed (./dev test installs it)";
    const Outcome lint = Exec(u"lintian"_s, {u"--no-cfg"_s, deb});
    EXPECT_FALSE(lint.out.contains(u"\nE: "_s) || lint.out.startsWith(u"E: "_s))
        << qPrintable(lint.out);
}

} // namespace
