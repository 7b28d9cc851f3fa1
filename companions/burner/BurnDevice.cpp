#include "BurnDevice.h"

#include "BurnerTexts.h"
#include "LangResources.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

// libburn's header declares everything inside namespace burn under C++.
#include <libburn/libburn.h>

using namespace burn;

namespace {
constexpr qint64 kBlock = 2048;
// Blocks a stdio: drive writes between two fsync calls when its speed is
// limited: libburn keeps to the speed at each fsync, so a short rhythm makes
// the pace even and a cancel take effect soon.
constexpr int kStdioSyncBlocks = 32;
constexpr qint64 kVerifyChunk = 32 * kBlock;
// libburn's code for "A drive operation is still going on".
constexpr int kDriveStillBusy = 0x20102;
// Polls a refused write is tried again (ten seconds at the window's pace).
constexpr int kStartRetries = 100;

// Severities as libburn names them, mildest first.
const char* const kSeverities[] = {"DEBUG", "UPDATE",  "NOTE",  "HINT", "WARNING",
                                   "SORRY", "FAILURE", "FATAL", "ABORT"};
int SeverityRank(const char* severity)
{
    for (int i = 0; i < int(std::size(kSeverities)); ++i)
        if (std::strcmp(severity, kSeverities[i]) == 0)
            return i;
    return 0;
}

MediumKind KindOfProfile(int profile)
{
    if (profile == 0xffff)
        return MediumKind::File;
    if (profile >= 0x08 && profile <= 0x0a)
        return MediumKind::CD;
    if (profile >= 0x10 && profile <= 0x2b)
        return MediumKind::DVD;
    if (profile >= 0x40 && profile <= 0x43)
        return MediumKind::BD;
    return profile == 0 ? MediumKind::None : MediumKind::Other;
}

qint64 RoundUpToBlock(qint64 n)
{
    return (n + kBlock - 1) / kBlock * kBlock;
}
} // namespace

bool InitBurnLibrary()
{
    static const bool ok = [] {
        if (!burn_initialize())
            return false;
        char queue[] = "ALL", print[] = "NEVER", prefix[] = "Ardent8: ";
        burn_msgs_set_severities(queue, print, prefix);
        return true;
    }();
    return ok;
}

void FinishBurnLibrary()
{
    if (InitBurnLibrary())
        burn_finish();
}

QStringList TakeBurnFailureMessages(bool* pDriveBusy)
{
    if (pDriveBusy)
        *pDriveBusy = false;
    QStringList out;
    char minimum[] = "ALL";
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    int code = 0, osErrno = 0;
    while (burn_msgs_obtain(minimum, &code, text, &osErrno, severity) == 1) {
        if (SeverityRank(severity) >= SeverityRank("SORRY"))
            out << QString::fromLocal8Bit(text).trimmed();
        if (code == kDriveStillBusy && pDriveBusy)
            *pDriveBusy = true;
    }
    out.removeDuplicates();
    return out;
}

// ---------------------------------------------------------------------------

CBurnDevices::~CBurnDevices()
{
    for (std::size_t i = 0; i < m_handles.size(); ++i)
        if (m_grabbed[i])
            burn_drive_release(m_handles[i], 0);
    if (m_pExtra)
        burn_drive_info_free(m_pExtra);
    if (m_pScanned)
        burn_drive_info_free(m_pScanned);
    TakeBurnFailureMessages();
}

void CBurnDevices::Scan(const QString& extraAddress, QString* pError)
{
    unsigned count = 0;
    if (InitBurnLibrary()) {
        while (burn_drive_scan(&m_pScanned, &count) == 0) {
        }
    }
    QStringList known;
    for (unsigned i = 0; i < count && m_pScanned; ++i) {
        char adr[BURN_DRIVE_ADR_LEN] = {};
        burn_drive_get_adr(&m_pScanned[i], adr);
        DriveEntry entry;
        entry.strAddress = QString::fromLocal8Bit(adr);
        entry.strName =
            QStringLiteral("%1 %2").arg(QString::fromLatin1(m_pScanned[i].vendor).trimmed(),
                                        QString::fromLatin1(m_pScanned[i].product).trimmed());
        m_drives << entry;
        m_handles.push_back(m_pScanned[i].drive);
        m_grabbed.push_back(false);
        known << entry.strAddress;
    }
    if (extraAddress.isEmpty() || known.contains(extraAddress) || !InitBurnLibrary())
        return;
    QByteArray adr = extraAddress.toLocal8Bit();
    if (burn_drive_scan_and_grab(&m_pExtra, adr.data(), 0) <= 0 || !m_pExtra) {
        m_pExtra = nullptr;
        if (pError)
            *pError = TakeBurnFailureMessages().join(QLatin1Char('\n'));
        return;
    }
    DriveEntry entry;
    entry.strAddress = extraAddress;
    entry.bStdio = burn_drive_get_drive_role(m_pExtra[0].drive) != 1;
    entry.strName =
        entry.bStdio
            ? extraAddress
            : QStringLiteral("%1 %2").arg(QString::fromLatin1(m_pExtra[0].vendor).trimmed(),
                                          QString::fromLatin1(m_pExtra[0].product).trimmed());
    // The drive named on purpose comes first.
    m_drives.prepend(entry);
    m_handles.insert(m_handles.begin(), m_pExtra[0].drive);
    m_grabbed.insert(m_grabbed.begin(), true);
}

bool CBurnDevices::Select(int index, QString* pError)
{
    if (index < 0 || index >= int(m_handles.size()))
        return false;
    if (m_nSelected >= 0 && m_nSelected != index && m_grabbed[m_nSelected] &&
        !m_drives[m_nSelected].bStdio) {
        burn_drive_release(m_handles[m_nSelected], 0);
        m_grabbed[m_nSelected] = false;
    }
    const bool bAgain = m_nSelected == index && m_grabbed[index];
    m_nSelected = index;
    if (bAgain) {
        // The same drive chosen again: its disc may have changed meanwhile.
        Refresh();
    } else if (!m_grabbed[index]) {
        if (burn_drive_grab(m_handles[index], 1) <= 0) {
            if (pError)
                *pError = TakeBurnFailureMessages().join(QLatin1Char('\n'));
            return false;
        }
        m_grabbed[index] = true;
    }
    return true;
}

burn_drive* CBurnDevices::Drive() const
{
    return m_nSelected >= 0 && m_grabbed[m_nSelected] ? m_handles[m_nSelected] : nullptr;
}

bool CBurnDevices::SelectedIsStdio() const
{
    return m_nSelected >= 0 && m_drives[m_nSelected].bStdio;
}

MediumInfo CBurnDevices::Medium() const
{
    MediumInfo info = ReadMedium();
    if (m_probe && Drive())
        m_probe(info);
    return info;
}

MediumInfo CBurnDevices::ReadMedium() const
{
    MediumInfo info;
    burn_drive* d = Drive();
    if (!d)
        return info;
    info.nStatus = burn_disc_get_status(d);
    if (info.nStatus == BURN_DISC_EMPTY || info.nStatus == BURN_DISC_UNGRABBED)
        return info;
    int profile = 0;
    char name[80] = {};
    if (burn_disc_get_profile(d, &profile, name) > 0) {
        info.kind = KindOfProfile(profile);
        info.strProfile = QString::fromLatin1(name);
    }
    if (info.kind == MediumKind::None)
        info.kind = MediumKind::Other;
    info.bErasable = burn_disc_erasable(d) != 0;
    info.nFreeBytes = burn_disc_available_space(d, nullptr);
    if (SelectedIsStdio() && m_nStdioCapacity > 0)
        info.nFreeBytes = std::min(info.nFreeBytes, m_nStdioCapacity);
    burn_speed_descriptor* list = nullptr;
    if (burn_drive_get_speedlist(d, &list) > 0) {
        std::set<int, std::greater<int>> speeds;
        for (auto* s = list; s; s = s->next)
            if (s->write_speed > 0)
                speeds.insert(s->write_speed);
        info.writeSpeeds = QList<int>(speeds.begin(), speeds.end());
        burn_drive_free_speedlist(&list);
    }
    return info;
}

void CBurnDevices::Refresh()
{
    if (burn_drive* d = Drive())
        burn_drive_re_assess(d, 0);
}

void CBurnDevices::ReleaseSelected(bool bEject)
{
    if (m_nSelected < 0 || !m_grabbed[m_nSelected] || m_drives[m_nSelected].bStdio)
        return;
    burn_drive_release(m_handles[m_nSelected], bEject ? 1 : 0);
    m_grabbed[m_nSelected] = false;
}

// ---------------------------------------------------------------------------

CBurnJob::~CBurnJob()
{
    StopAndWait();
}

bool CBurnJob::Start(burn_drive* pDrive, const Options& options, QString* pError)
{
    if (IsBusy() || !pDrive)
        return false;
    m_pDrive = pDrive;
    m_options = options;
    m_bCancel = false;
    m_strError.clear();
    m_nMismatchAt = -1;
    m_bReadError = false;
    m_nDone = 0;
    m_nStartRetries = 0;
    TakeBurnFailureMessages(); // what an earlier job left
    if (options.bBlankFirst) {
        m_phase = Phase::Blanking;
        m_nTotal = 0x10000;
        burn_disc_erase(pDrive, 1);
        return true;
    }
    return StartWrite(pError);
}

bool CBurnJob::StartWrite(QString* pError)
{
    const QByteArray path = QFile::encodeName(m_options.strImage);
    burn_source* file = burn_file_source_new(path.constData(), nullptr);
    burn_source* fifo = file ? burn_fifo_source_new(file, 2048, 2048, 1) : nullptr;
    if (!fifo) {
        if (file)
            burn_source_free(file);
        m_phase = Phase::Idle;
        if (pError)
            *pError = TakeBurnFailureMessages().join(QLatin1Char('\n'));
        return false;
    }
    m_pTrack = burn_track_create();
    burn_track_define_data(m_pTrack, 0, 0, 1, BURN_MODE1);
    burn_track_set_source(m_pTrack, fifo);
    burn_source_free(fifo);
    burn_source_free(file);
    m_pSession = burn_session_create();
    burn_session_add_track(m_pSession, m_pTrack, BURN_POS_END);
    m_pDisc = burn_disc_create();
    burn_disc_add_session(m_pDisc, m_pSession, BURN_POS_END);

    m_pOpts = burn_write_opts_new(m_pDrive);
    burn_write_opts_set_multi(m_pOpts, 0);
    burn_write_opts_set_underrun_proof(m_pOpts, 1);
    burn_write_opts_set_simulate(m_pOpts, 0);
    if (m_options.bStdio && m_options.nSpeed > 0)
        burn_write_opts_set_stdio_fsync(m_pOpts, kStdioSyncBlocks);
    burn_drive_set_speed(m_pDrive, 0, m_options.nSpeed);
    char reasons[BURN_REASONS_LEN] = {};
    if (burn_write_opts_auto_write_type(m_pOpts, m_pDisc, reasons, 0) == BURN_WRITE_NONE) {
        QStringList why = TakeBurnFailureMessages();
        why << QString::fromLocal8Bit(reasons).trimmed();
        why.removeAll(QString());
        FreeDisc();
        m_phase = Phase::Idle;
        if (pError)
            *pError = why.join(QLatin1Char('\n'));
        return false;
    }
    m_phase = Phase::Writing;
    m_nDone = 0;
    m_nTotal = RoundUpToBlock(m_options.nImageSize);
    TakeBurnFailureMessages();
    burn_disc_write(m_pOpts, m_pDisc);
    bool bDriveBusy = false;
    const QStringList messages = TakeBurnFailureMessages(&bDriveBusy);
    if (bDriveBusy && burn_drive_get_status(m_pDrive, nullptr) == BURN_DRIVE_IDLE) {
        FreeDisc();
        if (++m_nStartRetries > kStartRetries) {
            m_phase = Phase::Idle;
            if (pError)
                *pError = messages.join(QLatin1Char('\n'));
            return false;
        }
        m_phase = Phase::Starting;
        return true;
    }
    m_nStartRetries = 0;
    return true;
}

void CBurnJob::StartVerify()
{
    m_phase = Phase::Verifying;
    m_nDone = 0;
    m_nTotal = m_options.nImageSize;
    m_nVerified = 0;
    m_bVerifyEnded = false;
    m_bStopVerify = false;
    burn_drive_re_assess(m_pDrive, 0);
    m_verifier = std::thread([this] {
        QFile image(m_options.strImage);
        std::vector<char> want(kVerifyChunk), got(kVerifyChunk);
        qint64 at = 0;
        if (!image.open(QIODevice::ReadOnly)) {
            m_nMismatchAt = 0;
            m_bReadError = true;
        }
        while (m_nMismatchAt < 0 && at < m_options.nImageSize && !m_bStopVerify) {
            const qint64 n = std::min(kVerifyChunk, m_options.nImageSize - at);
            off_t count = 0;
            if (image.read(want.data(), n) != n ||
                burn_read_data(m_pDrive, at, got.data(), n, &count, 0) <= 0 || count != n) {
                m_nMismatchAt = at + std::max<qint64>(0, count);
                m_bReadError = true;
                break;
            }
            if (std::memcmp(want.data(), got.data(), std::size_t(n)) != 0) {
                const auto diff = std::mismatch(want.begin(), want.begin() + n, got.begin());
                m_nMismatchAt = at + (diff.first - want.begin());
                break;
            }
            at += n;
            m_nVerified = at;
        }
        m_bVerifyEnded = true;
    });
}

void CBurnJob::FreeDisc()
{
    if (m_pOpts)
        burn_write_opts_free(m_pOpts);
    if (m_pDisc)
        burn_disc_free(m_pDisc);
    if (m_pSession)
        burn_session_free(m_pSession);
    if (m_pTrack)
        burn_track_free(m_pTrack);
    m_pOpts = nullptr;
    m_pDisc = nullptr;
    m_pSession = nullptr;
    m_pTrack = nullptr;
}

CBurnJob::Outcome CBurnJob::Finish(Outcome outcome)
{
    FreeDisc();
    m_phase = Phase::Idle;
    if (outcome == Outcome::Failed && m_strError.isEmpty())
        m_strError = TakeBurnFailureMessages().join(QLatin1Char('\n'));
    TakeBurnFailureMessages();
    return outcome;
}

CBurnJob::Outcome CBurnJob::Poll()
{
    switch (m_phase) {
    case Phase::Idle:
        return Outcome::Done;
    case Phase::Blanking: {
        burn_progress p{};
        if (burn_drive_get_status(m_pDrive, &p) != BURN_DRIVE_IDLE) {
            m_nDone = std::clamp<qint64>(p.sector, 0, m_nTotal);
            return Outcome::Running;
        }
        if (!burn_drive_wrote_well(m_pDrive))
            return Finish(Outcome::Failed);
        if (m_bCancel)
            return Finish(Outcome::Cancelled);
        burn_drive_re_assess(m_pDrive, 0);
        qint64 nFree = burn_disc_available_space(m_pDrive, nullptr);
        if (m_options.nCapacity > 0)
            nFree = std::min(nFree, m_options.nCapacity);
        if (RoundUpToBlock(m_options.nImageSize) > nFree) {
            m_strError = LoadResString(IDS_MEDIUM_TOO_SMALL);
            return Finish(Outcome::Failed);
        }
        QString error;
        if (!StartWrite(&error)) {
            m_strError = error;
            return Finish(Outcome::Failed);
        }
        return Outcome::Running;
    }
    case Phase::Starting: {
        if (m_bCancel)
            return Finish(Outcome::Cancelled);
        QString error;
        if (!StartWrite(&error)) {
            m_strError = error;
            return Finish(Outcome::Failed);
        }
        return Outcome::Running;
    }
    case Phase::Writing:
    case Phase::Closing: {
        burn_progress p{};
        const burn_drive_status status = burn_drive_get_status(m_pDrive, &p);
        if (status != BURN_DRIVE_IDLE) {
            if (m_bCancel)
                burn_drive_cancel(m_pDrive); // only heard while writing; said again
            if (status == BURN_DRIVE_WRITING && p.sectors > 0)
                m_nDone = std::clamp<qint64>(qint64(p.sector) * kBlock, 0, m_nTotal);
            else if (status == BURN_DRIVE_CLOSING_TRACK || status == BURN_DRIVE_CLOSING_SESSION ||
                     status == BURN_DRIVE_WRITING_LEADOUT)
                m_phase = Phase::Closing;
            return Outcome::Running;
        }
        if (m_bCancel)
            return Finish(Outcome::Cancelled);
        if (!burn_drive_wrote_well(m_pDrive))
            return Finish(Outcome::Failed);
        m_nDone = m_nTotal;
        FreeDisc();
        if (!m_options.bVerify)
            return Finish(Outcome::Done);
        StartVerify();
        return Outcome::Running;
    }
    case Phase::Verifying:
        m_nDone = m_nVerified;
        if (!m_bVerifyEnded)
            return Outcome::Running;
        m_verifier.join();
        if (m_bCancel)
            return Finish(Outcome::Cancelled);
        return Finish(m_nMismatchAt >= 0 ? Outcome::Mismatch : Outcome::Done);
    }
    return Outcome::Running;
}

void CBurnJob::Cancel()
{
    if (!IsBusy())
        return;
    m_bCancel = true;
    m_bStopVerify = true;
    if (m_phase == Phase::Writing || m_phase == Phase::Closing)
        burn_drive_cancel(m_pDrive);
}

void CBurnJob::StopAndWait()
{
    Cancel();
    while (IsBusy() && Poll() == Outcome::Running)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
