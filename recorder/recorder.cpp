#include "recorder/recorder.h"

#include "comm/meterlink.h"
#include "recorder/recordersettings.h"

#include <QDir>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The self-pipe: the handler only writes the signal's number into it, and
// the event loop reads it from there; nothing else is safe in a handler.
int stopPipe[2] = {-1, -1};

// How long the poll in flight may go on after a stop signal.
const int kPollGraceMs = 1500;

void onStopSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &number, 1);
    errno = saved;
}

bool catchStopSignals()
{
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

QString signalName(int signal)
{
    return signal == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
}

} // namespace

Recorder::Recorder(QObject *parent)
    : QObject(parent)
{
    // The station logs every event of the run, failed polls folded into
    // runs, and tells each one here too.
    connect(&station, &Station::eventLogged, this, &Recorder::print);
    connect(&station, &Station::finished, this, &Recorder::stationFinished);
}

Recorder::~Recorder() = default;

QString Recorder::start()
{
    const ConfigOrigin origin = readConfigWithoutWriting();
    QString stationProblem;
    StationConfig config = readStationConfig(AppConfig.comm, &stationProblem);
    if (const QString problem = recorderSettingsProblem(origin, stationProblem, config); !problem.isEmpty())
        return problem;
    const bool folderOfItsOwn = config.dailyFolder.trimmed().isEmpty();
    config = recorderStation(config, QDir::currentPath());
    if (folderOfItsOwn)
        QDir().mkpath(config.dailyFolder);
    if (const QString problem = dailyFolderProblem(config.dailyFolder); !problem.isEmpty())
        return problem;
    if (lock.claim() != AcquisitionLock::Outcome::Taken)
        return lock.problem();
    // A serial port that cannot be opened now is a wrong name or a missing
    // right, not a meter away; a TCP meter away is tried again and again.
    if (config.link.comtype == 0) {
        if (const int result = makeMeterLink(config.link)->open(); result != ComOk)
            return SamplingThread::errorText(result, config.link);
    }
    if (!catchStopSignals())
        return QStringLiteral("无法接收停止信号：%1").arg(QString::fromLocal8Bit(strerror(errno)));
    stopNotifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
    connect(stopNotifier, &QSocketNotifier::activated, this, &Recorder::takeStopSignal);
    if (!station.start(config))
        return QStringLiteral("无法开始采集");
    if (const QString interrupted = lock.interruptedRunText(); !interrupted.isEmpty())
        station.logEvent(-1, interrupted);
    print(-1, {QDateTime::currentDateTime(), QString(),
               QStringLiteral("按天保存到 %1%2")
                   .arg(QDir::toNativeSeparators(config.dailyFolder),
                        config.forwarding.enabled ? QStringLiteral("，转发到 ") + config.forwarding.server : QString())});
    return QString();
}

void Recorder::takeStopSignal()
{
    char number = 0;
    while (::read(stopPipe[0], &number, 1) == 1) {
        if (stopping)
            continue;
        stopping = true;
        station.logEvent(-1, QStringLiteral("收到 %1，停止采集").arg(signalName(number)));
        // The poll in flight ends as it would, unless the meter is slow to
        // answer (the service manager waits a few seconds, not a poll's
        // every attempt); the daily files are synced and closed as the run
        // ends.
        station.finishPollAndStop(kPollGraceMs);
    }
}

void Recorder::stationFinished()
{
    if (!stopping)
        station.logEvent(-1, QStringLiteral("采集意外结束"));
    emit finished(stopping ? 0 : 1);
}

void Recorder::print(int, const EventLine &line)
{
    // As the log on disk has it; one write per line, so that lines of one
    // event never mix with others.
    const QByteArray bytes = line.formatted().toLocal8Bit() + '\n';
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    fflush(stderr);
}
