#include "meterserver.h"

#include "metermodel.h"

#include <QByteArrayList>
#include <QElapsedTimer>

#include <modbus/modbus.h>

#include <algorithm>
#include <arpa/inet.h>
#include <memory>
#include <utility>
#include <vector>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

volatile sig_atomic_t simStopRequested = 0;

namespace {

constexpr int kBlockAStart = 30001;
constexpr int kBlockBStart = 35401;
constexpr int kMappedRegisters = kBlockBStart + kBlockBRegisters - kBlockAStart;

// The simulator's own CRC, bit by bit, deliberately not the program's table
// code, so that the two check each other.
uint16_t bitwiseCrc(const uint8_t *data, int n)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

// Sleeps ms milliseconds unless a stop is requested; false when stopped.
bool sleepMs(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!simStopRequested) {
        const qint64 left = ms - t.elapsed();
        if (left <= 0)
            return true;
        const long slice = static_cast<long>(qMin<qint64>(left, 50));
        timespec ts{slice / 1000, (slice % 1000) * 1000000L};
        nanosleep(&ts, nullptr);
    }
    return false;
}

// One unit on the line or behind the gateway, with its own load, faults
// and request count.
class Meter
{
public:
    Meter(const SimOptions &options, int unit, modbus_t *ctx, bool tcp)
        : opt(options.faultsOf(unit)), unit(unit), ctx(ctx), tcp(tcp)
    {
        map = modbus_mapping_new_start_address(0, 0, 0, 0, 0, 0, kBlockAStart, kMappedRegisters);
        clock.start();
        refresh();
    }
    ~Meter() { modbus_mapping_free(map); }
    Meter(const Meter &) = delete;
    Meter &operator=(const Meter &) = delete;

    bool valid() const { return map != nullptr; }
    void newConnection() { connectionRequests = 0; }

    // Answers one request as the options say; false when the connection
    // is to be closed.
    bool serve(const uint8_t *req, int length)
    {
        const int hl = modbus_get_header_length(ctx);
        const int function = req[hl];
        const int address = req[hl + 1] << 8 | req[hl + 2];
        const int count = req[hl + 3] << 8 | req[hl + 4];
        const quint64 n = ++requests;
        ++connectionRequests;
        // One poll reads block A and then block B: a new reading for every
        // read of block A, and at least once a second for anyone else.
        if ((function == 4 && address == kBlockAStart) || clock.elapsed() - refreshedAt >= 1000)
            refresh();

        const FaultKind kind = opt.faultFor(n, !tcp);
        const bool faulty = kind != FaultKind::None;
        fprintf(stderr, "#%llu unit %d function %d address %d count %d%s%s\n",
                static_cast<unsigned long long>(n), unit, function, address, count,
                faulty ? " fault " : "", faulty ? qPrintable(faultName(kind)) : "");

        // Broadcasts are never answered, spoiled or not.
        const bool readsMap = (tcp || unit != 0) && function == 4 && count >= 1 && count <= 125 && address >= kBlockAStart
            && address + count <= kBlockAStart + kMappedRegisters;
        switch (kind) {
        case FaultKind::Silent:
        case FaultKind::Dead:
            return true;
        case FaultKind::Close:
            fprintf(stderr, "closing the connection instead of answering\n");
            return false;
        case FaultKind::Slow:
            if (!sleepMs(opt.faultArg))
                return false;
            modbus_reply(ctx, req, length, map);
            break;
        case FaultKind::Exception:
            modbus_reply_exception(ctx, req, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
            break;
        case FaultKind::Crc:
        case FaultKind::Short:
        case FaultKind::Long:
        case FaultKind::WrongUnit:
        case FaultKind::Function:
        case FaultKind::Protocol:
        case FaultKind::Split:
        case FaultKind::Garbage:
            if (readsMap)
                sendSpoiled(req, kind, address, count);
            else
                modbus_reply(ctx, req, length, map);
            break;
        case FaultKind::None:
        case FaultKind::DropAfter:
        case FaultKind::Flaky:
            modbus_reply(ctx, req, length, map);
            break;
        }
        if (opt.fault == FaultKind::DropAfter && connectionRequests >= opt.faultArg) {
            fprintf(stderr, "dropping the connection after %d requests\n", connectionRequests);
            return false;
        }
        return true;
    }

private:
    void refresh()
    {
        const MeterReading r = meterReading(clock.elapsed() / 1000.0, readings++, unit);
        // The served floats, exactly, so that a test can compare what the
        // program shows with what the meter said.
        QByteArray line = "reading " + QByteArray::number(static_cast<qulonglong>(readings));
        if (unit != 1)
            line += " unit " + QByteArray::number(unit);
        line += ":";
        for (int k = 1; k < kColumnCount; ++k)
            line += ' ' + QByteArray::number(double(float(r.column[k])), 'g', 9);
        fprintf(stderr, "%s\n", line.constData());
        fillBlockA(r, map->tab_input_registers);
        fillBlockB(r, map->tab_input_registers + (kBlockBStart - kBlockAStart));
        refreshedAt = clock.elapsed();
    }

    // A reply with the fault built in, written straight to the line.
    void sendSpoiled(const uint8_t *req, FaultKind kind, int address, int count)
    {
        const int hl = modbus_get_header_length(ctx);
        uint8_t frame[320];
        int n = 0;
        if (tcp) {
            frame[n++] = req[0];  // transaction identifier echoed
            frame[n++] = req[1];
            frame[n++] = 0;
            frame[n++] = kind == FaultKind::Protocol ? 1 : 0;
            const int rest = 3 + 2 * count;
            frame[n++] = static_cast<uint8_t>(rest >> 8);
            frame[n++] = static_cast<uint8_t>(rest & 0xFF);
        }
        frame[n++] = static_cast<uint8_t>(kind == FaultKind::WrongUnit ? req[hl - 1] + 1 : req[hl - 1]);
        frame[n++] = kind == FaultKind::Function ? 0x84 : 0x04;
        frame[n++] = static_cast<uint8_t>(2 * count);
        for (int i = 0; i < count; ++i) {
            const uint16_t v = map->tab_input_registers[address - kBlockAStart + i];
            frame[n++] = static_cast<uint8_t>(v >> 8);
            frame[n++] = static_cast<uint8_t>(v & 0xFF);
        }
        if (!tcp) {
            uint16_t crc = bitwiseCrc(frame, n);
            if (kind == FaultKind::Crc)
                crc ^= 0x5A5A;
            frame[n++] = static_cast<uint8_t>(crc & 0xFF);
            frame[n++] = static_cast<uint8_t>(crc >> 8);
        }
        if (kind == FaultKind::Short)
            --n;
        if (kind == FaultKind::Long)
            frame[n++] = 0;
        if (kind == FaultKind::Garbage) {
            // Line noise just ahead of the reply: the frame reaches the
            // master with three stray bytes in front.
            static const uint8_t noise[] = {0xff, 0x00, 0xff};
            memmove(frame + sizeof noise, frame, size_t(n));
            memcpy(frame, noise, sizeof noise);
            n += int(sizeof noise);
        }
        if (kind == FaultKind::Split) {
            // A correct reply whose second half comes 200 ms after the first.
            const int first = n / 2;
            if (!sendBytes(frame, first) || !sleepMs(200))
                return;
            sendBytes(frame + first, n - first);
            return;
        }
        sendBytes(frame, n);
    }

    bool sendBytes(const uint8_t *bytes, int n)
    {
        const int fd = modbus_get_socket(ctx);
        const ssize_t written = tcp ? send(fd, bytes, size_t(n), MSG_NOSIGNAL) : write(fd, bytes, size_t(n));
        if (written != n) {
            fprintf(stderr, "short write of a reply: %s\n", strerror(errno));
            return false;
        }
        return true;
    }

    const FaultSpec &opt;
    const int unit;
    modbus_t *ctx;
    bool tcp;
    modbus_mapping_t *map = nullptr;
    QElapsedTimer clock;
    qint64 refreshedAt = 0;
    uint64_t readings = 0;
    quint64 requests = 0;
    int connectionRequests = 0;
};

// The units served, each a meter of its own.
class Bus
{
public:
    Bus(const SimOptions &options, modbus_t *ctx, bool tcp)
    {
        for (int unit : options.units)
            meters.emplace_back(unit, std::make_unique<Meter>(options, unit, ctx, tcp));
    }

    bool valid() const
    {
        return std::all_of(meters.begin(), meters.end(), [](const auto &m) { return m.second->valid(); });
    }
    void newConnection()
    {
        for (auto &m : meters)
            m.second->newConnection();
    }
    // The meter of a unit, or null for one that is not on the line.
    Meter *meter(int unit)
    {
        for (auto &m : meters) {
            if (m.first == unit)
                return m.second.get();
        }
        return nullptr;
    }
    QByteArray unitList() const
    {
        QByteArrayList list;
        for (const auto &m : meters)
            list << QByteArray::number(m.first);
        return (list.size() == 1 ? "unit " : "units ") + list.join(',');
    }

    // Answers a request with the meter it is for; false when the
    // connection is to be closed.
    bool serve(modbus_t *ctx, const uint8_t *req, int length)
    {
        const int unit = req[modbus_get_header_length(ctx) - 1];
        if (Meter *m = meter(unit))
            return m->serve(req, length);
        // On a bus, nobody answers for a meter that is not there.
        fprintf(stderr, "request for unit %d ignored (serving %s)\n", unit, unitList().constData());
        return true;
    }

private:
    std::vector<std::pair<int, std::unique_ptr<Meter>>> meters;
};

// Receives and answers requests on the context's current TCP connection
// until it closes, the meter drops it, or a stop is requested.
void serveLine(modbus_t *ctx, Bus &bus)
{
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_set_indication_timeout(ctx, 0, 200000);
    while (!simStopRequested) {
        const int rc = modbus_receive(ctx, query);
        if (rc > 0) {
            if (!bus.serve(ctx, query, rc))
                return;
        } else if (rc < 0 && errno != ETIMEDOUT && errno != EMBBADCRC && errno != EMBBADDATA
                   && errno != EINTR) {
            return;
        }
    }
}

// The length a request frame with this function code has, once its first
// 7 bytes are in; 0 when the frame tells no length.
int rtuRequestLength(const uint8_t *frame, int n)
{
    if (n < 2)
        return 0;
    const int function = frame[1];
    if (function >= 1 && function <= 6)
        return 8;
    if ((function == 15 || function == 16) && n >= 7)
        return 9 + frame[6];
    return 0;
}

// One request frame from the serial line, whatever unit it is for (a
// library slave hears only its own address): bytes up to the frame's
// length, or up to a pause; false on no whole frame with a good CRC.
bool readRtuRequest(int fd, uint8_t *frame, int capacity, int *length)
{
    int n = 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        // 200 ms for a frame to begin, so that a stop is noticed; within a
        // frame, a pause of 20 ms ends it.
        if (poll(&p, 1, n == 0 ? 200 : 20) <= 0)
            break;
        const ssize_t got = read(fd, frame + n, size_t(capacity - n));
        if (got <= 0)
            break;
        n += int(got);
        const int expected = rtuRequestLength(frame, n);
        if ((expected > 0 && n >= expected) || n >= capacity)
            break;
    }
    if (n < 4)
        return false;
    const int expected = rtuRequestLength(frame, n);
    if (expected > 0 && n > expected)
        n = expected;
    const uint16_t crc = bitwiseCrc(frame, n - 2);
    if (frame[n - 2] != (crc & 0xFF) || frame[n - 1] != (crc >> 8)) {
        fprintf(stderr, "request with a bad CRC ignored\n");
        return false;
    }
    *length = n;
    return true;
}

} // namespace

int serveTcp(const SimOptions &options)
{
    modbus_t *ctx = modbus_new_tcp(options.tcpHost.toLatin1().constData(), options.tcpPort);
    if (!ctx) {
        fprintf(stderr, "zep-meter-sim: %s\n", modbus_strerror(errno));
        return 1;
    }
    int listenFd = modbus_tcp_listen(ctx, 1);
    if (listenFd < 0) {
        fprintf(stderr, "zep-meter-sim: cannot listen on %s:%d: %s\n", qPrintable(options.tcpHost),
                options.tcpPort, modbus_strerror(errno));
        modbus_free(ctx);
        return 1;
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    getsockname(listenFd, reinterpret_cast<sockaddr *>(&bound), &len);
    Bus bus(options, ctx, true);
    if (!bus.valid()) {
        close(listenFd);
        modbus_free(ctx);
        return 1;
    }
    fprintf(stderr, "zep-meter-sim: serving Modbus TCP on %s:%d, %s\n", qPrintable(options.tcpHost),
            ntohs(bound.sin_port), bus.unitList().constData());

    while (!simStopRequested) {
        pollfd p{listenFd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        const int fd = modbus_tcp_accept(ctx, &listenFd);
        if (fd < 0)
            continue;
        fprintf(stderr, "client connected\n");
        bus.newConnection();
        serveLine(ctx, bus);
        close(fd);
        modbus_set_socket(ctx, -1);
        fprintf(stderr, "client disconnected\n");
    }
    close(listenFd);
    modbus_free(ctx);
    fprintf(stderr, "zep-meter-sim: stopped\n");
    return 0;
}

namespace {

speed_t termiosSpeed(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

// The line settings go on the slave side, where a real port would have them;
// raw, so that nothing is echoed or held back before the program opens it.
void configureLine(int fd, const SimOptions &o)
{
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, termiosSpeed(o.baud));
    t.c_cflag &= ~(PARENB | PARODD | CSTOPB);
    if (o.parity != 'N')
        t.c_cflag |= PARENB;
    if (o.parity == 'O')
        t.c_cflag |= PARODD;
    if (o.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);
}

// Only ever replace or remove a symbolic link, never a file that happens to
// have the name.
bool removeLink(const QByteArray &path)
{
    struct stat st;
    if (lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISLNK(st.st_mode))
        return false;
    return unlink(path.constData()) == 0;
}

} // namespace

int serveRtu(const SimOptions &options)
{
    const QByteArray linkPath = options.rtuPath.toLocal8Bit();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        fprintf(stderr, "zep-meter-sim: no pseudo-terminal: %s\n", strerror(errno));
        if (master >= 0)
            close(master);
        return 1;
    }
    const QByteArray slaveName = ptsname(master);
    // Holding the slave side open keeps the line up while no program has
    // it open, so the master side never reports a hang-up.
    const int slave = open(slaveName.constData(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        fprintf(stderr, "zep-meter-sim: cannot open %s: %s\n", slaveName.constData(), strerror(errno));
        close(master);
        return 1;
    }
    configureLine(slave, options);
    if (!removeLink(linkPath) || symlink(slaveName.constData(), linkPath.constData()) != 0) {
        fprintf(stderr, "zep-meter-sim: cannot make %s a link to %s (an existing file is never replaced)\n",
                linkPath.constData(), slaveName.constData());
        close(slave);
        close(master);
        return 1;
    }

    modbus_t *ctx = modbus_new_rtu(slaveName.constData(), options.baud, options.parity, 8, options.stopBits);
    int status = 1;
    if (ctx) {
        modbus_set_socket(ctx, master);
        Bus bus(options, ctx, false);
        if (bus.valid()) {
            fprintf(stderr, "zep-meter-sim: serving Modbus RTU on %s (%s), %d 8%c%d, %s\n",
                    linkPath.constData(), slaveName.constData(), options.baud, options.parity,
                    options.stopBits, bus.unitList().constData());
            uint8_t frame[MODBUS_RTU_MAX_ADU_LENGTH];
            int length = 0;
            while (!simStopRequested) {
                if (readRtuRequest(master, frame, sizeof frame, &length))
                    bus.serve(ctx, frame, length);
            }
            status = 0;
        }
        modbus_set_socket(ctx, -1);
        modbus_free(ctx);
    }
    removeLink(linkPath);
    close(slave);
    close(master);
    fprintf(stderr, "zep-meter-sim: stopped\n");
    return status;
}
