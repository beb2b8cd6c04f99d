#pragma once

// Runs zep-meter-sim for a test: TCP on an ephemeral loopback port, or RTU
// on a pseudo-terminal linked from a private temporary directory.

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class SimProcess
{
public:
    SimProcess() = default;
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool startTcp(const QStringList &extra = {})
    {
        return start(QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")} + extra,
                     QStringLiteral("serving Modbus TCP on 127.0.0.1:(\\d+)"));
    }

    bool startRtu(const QStringList &extra = {})
    {
        linkPath = dir.path() + QStringLiteral("/meter");
        return start(QStringList{QStringLiteral("--rtu"), linkPath} + extra,
                     QStringLiteral("serving Modbus RTU on "));
    }

    // "127.0.0.1:port" for the IP setting.
    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(port); }

    // Stops with SIGTERM; the exit status, or -1 when it did not end cleanly.
    int stop()
    {
        if (process.state() == QProcess::NotRunning)
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(2000);
            return -1;
        }
        collect();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Everything written on standard error so far.
    QString log()
    {
        collect();
        return output;
    }

    // Waits for text on standard error without running the event loop, so
    // that sockets of the test thread see nothing meanwhile, as in the
    // sampling thread.
    bool waitForLog(const QString &text, int timeoutMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!log().contains(text)) {
            if (t.elapsed() > timeoutMs || process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(50);
        }
        return true;
    }

    QProcess process;
    QString linkPath;
    quint16 port = 0;

private:
    bool start(const QStringList &args, const QString &ready)
    {
        process.setProgram(QStringLiteral(ZEP_METER_SIM));
        process.setArguments(args);
        process.start();
        if (!process.waitForStarted(5000))
            return false;
        const QRegularExpression re(ready);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            process.waitForReadyRead(100);
            collect();
            const QRegularExpressionMatch m = re.match(output);
            if (m.hasMatch()) {
                if (m.lastCapturedIndex() >= 1)
                    port = static_cast<quint16>(m.captured(1).toUInt());
                return true;
            }
            if (process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    void collect() { output += QString::fromLocal8Bit(process.readAllStandardError()); }

    QTemporaryDir dir;
    QString output;
};

// The readings the simulator served, one per poll: the reading it logged
// last before each request for block A.
inline QVector<QVector<float>> servedReadings(const QString &log)
{
    QVector<QVector<float>> readings;
    const QRegularExpression reading(QStringLiteral("^reading \\d+:((?: \\S+){31})$"));
    const QRegularExpression blockA(QStringLiteral("^#\\d+ unit \\d+ function 4 address 30001 "));
    QVector<float> last;
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = reading.match(line);
        if (m.hasMatch()) {
            last.clear();
            for (const QString &p : m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                last.append(p.toFloat());
        } else if (blockA.match(line).hasMatch()) {
            readings.append(last);
        }
    }
    return readings;
}

// What a real three-phase supply would show, with room for float rounding
// and the meter's own noise.
inline void checkPlausibleReading(const float *v)
{
    const auto near = [](double a, double b, double relative) { return std::fabs(a - b) <= relative * std::fabs(b); };
    for (int k = 1; k <= 3; ++k)
        QVERIFY2(v[k] >= 218 && v[k] <= 232, qPrintable(QStringLiteral("U%1 = %2").arg(k).arg(v[k])));
    QVERIFY(near(v[4], (v[1] + v[2] + v[3]) / 3.0, 1e-5));
    for (int k = 5; k <= 7; ++k)
        QVERIFY(v[k] > 1.70 * 220 && v[k] < 1.76 * 230);
    QVERIFY(near(v[8], (v[5] + v[6] + v[7]) / 3.0, 1e-5));
    QVERIFY(near(v[8], std::sqrt(3.0) * v[4], 0.01));
    for (int k = 9; k <= 11; ++k)
        QVERIFY(v[k] > 0 && v[k] < 100);
    QVERIFY(near(v[12], (v[9] + v[10] + v[11]) / 3.0, 1e-5));
    QVERIFY(near(double(v[15]) * v[15], double(v[13]) * v[13] + double(v[14]) * v[14], 1e-4));
    QVERIFY(near(v[16], v[13] / v[15], 1e-5));
    QVERIFY(v[16] > 0.5 && v[16] <= 1.0);
    QVERIFY(near(v[15], 3.0 * v[4] * v[12], 0.1));
    QVERIFY(v[17] > 49.9 && v[17] < 50.1);
    for (int k = 18; k <= 23; ++k)
        QVERIFY(v[k] > 0 && v[k] < 30);
    for (int k = 24; k <= 29; ++k)
        QVERIFY(v[k] > 1.3 && v[k] < 2.0);
    QVERIFY(v[30] >= 0 && v[30] < 5);
    QVERIFY(v[31] >= 0 && v[31] < 20);
}
