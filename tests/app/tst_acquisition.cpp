#include "../comm/brokertesting.h"
#include "../comm/linktesting.h"
#include "../comm/simprocess.h"
#include "app/documents.h"
#include "app/eventview.h"
#include "app/journalrecovery.h"
#include "realtime/livejournal.h"
#include "comm/comcfgdlg.h"
#include "comm/forwardcfgdlg.h"
#include "mainwindowtest.h"
#include "comm/modbusframe.h"
#include "data/appconfig.h"
#include "data/datafile.h"
#include "data/datafiletestutil.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "views/legendtitle.h"
#include "testsupport.h"

#include <qwt_plot_curve.h>
#include <qwt_text.h>

#include <algorithm>
#include <atomic>

#include <sys/wait.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QScopeGuard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLockFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStandardItemModel>
#include <QStatusBar>

namespace {

// The shape of the application's override cursor, -1 for none.
int overrideCursorShape()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

QString hexOf(const uint8_t *bytes, int n)
{
    return hexReport(bytes, n);
}

} // namespace

class TestAcquisition : public zeptest::MainWindowTest
{
    Q_OBJECT

    std::unique_ptr<SimProcess> sim;

    bool startEnabled() const { return action("action_Start")->isEnabled(); }
    bool stopEnabled() const { return action("action_Stop")->isEnabled(); }

    int storeSize() const
    {
        SignalData &s = liveSeries();
        s.lock();
        const int n = s.size();
        s.unlock();
        return n;
    }

    void startSimulator(bool tcp, const QStringList &extra = {})
    {
        sim = std::make_unique<SimProcess>();
        QVERIFY(tcp ? sim->startTcp(extra) : sim->startRtu(extra));
        AppConfig.comm.comtype = tcp ? 1 : 0;
        if (tcp)
            copyToField(AppConfig.comm.IP, sim->address());
        else
            copyToField(AppConfig.comm.com, sim->linkPath.toLocal8Bit());
    }

    // N of the status bar's "正在采集…（N 条）" (of "正在采集 M 台电表…（N 条）"
    // for M meters), -1 while it is hidden.
    int indicatorCount(int meters = 0) const
    {
        const QRegularExpression shown(meters ? QStringLiteral("^正在采集 %1 台电表…（(\\d+) 条）$").arg(meters)
                                              : QStringLiteral("^正在采集…（(\\d+) 条）$"));
        for (QLabel *label : window->statusBar()->findChildren<QLabel *>())
            if (label->isVisible() && shown.match(label->text()).hasMatch())
                return shown.match(label->text()).captured(1).toInt();
        return -1;
    }

    QMdiSubWindow *realTimeSubWindow() const
    {
        for (QMdiSubWindow *w : window->findChild<QMdiArea *>()->subWindowList())
            if (w->windowTitle() == QStringLiteral("实时通讯 - 电表1 - 趋势图"))
                return w;
        return nullptr;
    }

private slots:
    void init()
    {
        startLiveWindow();
    }

    void cleanup()
    {
        window.reset();
        sim.reset();
    }

    void acquireWatchStopSave_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("tcp") << true;
        QTest::newRow("serial") << false;
    }

    void acquireWatchStopSave()
    {
        QFETCH(bool, tcp);
        startSimulator(tcp);
        QVERIFY(!startEnabled() && !stopEnabled());

        action("action_Event")->trigger();
        EventView *log = window->findChild<EventView *>();
        QVERIFY(log);

        action("action_ReadCom")->trigger();
        RealPlot *plot = window->realTimeWindow();
        QVERIFY(plot);
        QVERIFY(startEnabled() && !stopEnabled());
        QVERIFY(!action("action_save")->isEnabled());

        action("action_Start")->trigger();
        QVERIFY(!startEnabled() && stopEnabled());
        // Ctrl+S works once there is a sample, the File menu never opened.
        QTRY_VERIFY_WITH_TIMEOUT(action("action_save")->isEnabled(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= 2, 15000);
        // Wait for a refresh that shows at least two polls.
        QTRY_VERIFY_WITH_TIMEOUT(plot->footer().text().contains(QLatin1String("->"))
                                     && !plot->footer().text().endsWith(plot->footer().text().mid(5, 19)),
                                 5000);
        const QList<QwtPlotItem *> curves = plot->itemList(QwtPlotItem::Rtti_PlotCurve);
        QStringList titles;
        for (QwtPlotItem *c : curves)
            titles << c->title().text();

        const QString pngDir = QStringLiteral(ZEP_SCREENSHOT_DIR);
        QDir().mkpath(pngDir);
        window->grab().save(pngDir + (tcp ? QStringLiteral("/realtime-tcp.png") : QStringLiteral("/realtime-serial.png")));

        action("action_Stop")->trigger();
        QVERIFY(startEnabled() && !stopEnabled());
        QVERIFY(!window->isAcquiring());
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        QVERIFY(startEnabled() && !stopEnabled());

        // Every sample is a reading the meter served, in order, in every store.
        const QVector<QVector<float>> served = servedReadings(sim->log());
        const int n = storeSize();
        QVERIFY(n >= 2);
        QCOMPARE(served.size(), n);
        for (int k = 0; k < kValueCount; ++k) {
            SignalData &s = liveSeries();
            s.lock();
            QCOMPARE(s.size(), n);
            for (int i = 0; i < n; ++i)
                QCOMPARE(float(s.value(k, i).y()), served[i][k]);
            QCOMPARE(s.value(k, n - 1).x(), liveSeries().value(0, n - 1).x());
            s.unlock();
        }
        // The legend showed one served reading, every quantity of it.
        bool matched = false;
        for (const QVector<float> &reading : served) {
            bool all = true;
            for (int k = 0; k < kValueCount && all; ++k)
                all = titles[k] == parameterValueTitle(k + 1, QString::number(double(reading[k]), 'g', 6));
            matched = matched || all;
        }
        QVERIFY2(matched, qPrintable(titles.join(QLatin1Char('|'))));

        // The event log holds the start, the link opened, every request and
        // reply, in order, and the stop; over TCP each request with the next
        // transaction id.
        const int replyA = tcp ? tcpReplyLength(MeterBlock::A) : rtuReplyLength(MeterBlock::A);
        const int replyB = tcp ? tcpReplyLength(MeterBlock::B) : rtuReplyLength(MeterBlock::B);
        QStandardItemModel *rows = log->model();
        QCOMPARE(rows->rowCount(), 4 * n + 3);
        QVERIFY(rows->item(0, 3)->text().startsWith(QStringLiteral("开始采集：")));
        QVERIFY(rows->item(1, 3)->text().startsWith(QStringLiteral("连接已打开：")));
        QCOMPARE(rows->item(4 * n + 2, 3)->text(), QStringLiteral("停止采集"));
        for (int p = 0; p < n; ++p) {
            uint8_t request[16];
            const QString requestA = hexOf(request, tcp ? buildTcpRequest(request, 1, MeterBlock::A, uint16_t(2 * p + 1))
                                                        : buildRtuRequest(request, 1, MeterBlock::A));
            const QString requestB = hexOf(request, tcp ? buildTcpRequest(request, 1, MeterBlock::B, uint16_t(2 * p + 2))
                                                        : buildRtuRequest(request, 1, MeterBlock::B));
            QCOMPARE(rows->item(2 + 4 * p, 3)->text(), requestA);
            QCOMPARE(rows->item(2 + 4 * p + 1, 3)->text().size(), 3 * replyA);
            QCOMPARE(rows->item(2 + 4 * p + 2, 3)->text(), requestB);
            QCOMPARE(rows->item(2 + 4 * p + 3, 3)->text().size(), 3 * replyB);
        }

        QVERIFY(action("action_save")->isEnabled());
        const QString path = dir->filePath(QStringLiteral("live.txt"));
        plot->setSaveFileNameProvider([path] { return path; });
        action("action_save")->trigger();
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已保存 %1 条记录到 %2").arg(n).arg(path));
        QCOMPARE(countRecords(path), n);
        DataFile file(path, quint32(n));
        QCOMPARE(readRecords(&file), n);
        for (int i = 0; i < n; ++i) {
            QCOMPARE(double(file.records[i].time), liveSeries().value(0, i).x());
            for (int c = 1; c <= kValueCount; ++c) {
                const float expected = QString::number(double(served[i][c - 1]), 'f', columnDecimals(c)).toFloat();
                QCOMPARE(file.records[i].value(c), expected);
            }
        }

        // Saved and nothing new: the main window closes without a question.
        zeptest::MessageBoxLog boxes;
        boxes.start();
        QVERIFY(window->close());
        boxes.stop();
        QVERIFY(boxes.seen.isEmpty());
    }

    void faultShowsWarning_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("text");
        QTest::newRow("crc") << false << QStringList{"--fault", "crc"} << "CRC校验错误";
        QTest::newRow("exception") << true << QStringList{"--fault", "exception"} << "接收的数据包长度有误";
        QTest::newRow("wrong unit") << false << QStringList{"--fault", "wrong-unit"} << "接收数据失败";
    }

    void faultShowsWarning()
    {
        QFETCH(bool, tcp);
        QFETCH(QStringList, fault);
        QFETCH(QString, text);
        startSimulator(tcp, fault);
        action("action_ReadCom")->trigger();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        action("action_Start")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 1, 20000);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("错误"));
        QCOMPARE(boxes.seen.at(0).text, text);
        QCOMPARE(boxes.seen.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        boxes.stop();
        QVERIFY(startEnabled() && !stopEnabled());
        QCOMPARE(storeSize(), 0);
    }

    // Kept on, faults show no box: the footer counts them, the event log tells them.
    void keepAcquiringThroughFaults()
    {
        storeStation([](StationConfig &c) { c.keepAcquiring = true; });
        startSimulator(true, {"--fault", "flaky=3"});
        action("action_Event")->trigger();
        action("action_ReadCom")->trigger();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        action("action_Start")->trigger();
        const QRegularExpression tally(QStringLiteral("    通讯错误 1 次，漏采 \\d+ 次（\\d+%），最近 "));
        QTRY_VERIFY_WITH_TIMEOUT(window->realTimeWindow()->footer().text().contains(tally), 15000);
        action("action_Stop")->trigger();
        boxes.stop();
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(window->findChild<EventView *>()->model()->findItems(QStringLiteral("连接失败：发送数据失败"), Qt::MatchExactly, 3).size(), 1);
    }

    // Publishing shows in the footer and, once per change, in the event log,
    // and its settings cannot change meanwhile; the password shows nowhere.
    void forwardingShowsItsState()
    {
        BrokerProcess broker;
        QVERIFY(broker.start());
        storeStation([&broker](StationConfig &c) {
            c.forwarding = {true, broker.address(), QStringLiteral("meter"), QStringLiteral("s3cret"), QStringLiteral("zep/t"), false};
        });
        startSimulator(true);
        action("action_Event")->trigger();
        action("action_ReadCom")->trigger();
        action("action_Start")->trigger();
        RealPlot *plot = window->realTimeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(plot->footer().text().endsWith(QStringLiteral("    转发：已连接")), 10000);
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(plot->footer().text().contains(QStringLiteral("    转发：未连接（")), 10000);
        const int polls = storeSize();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= polls + 2, 5000);
        zeptest::ModalWatch<ForwardCfgDlg> dialog([](ForwardCfgDlg *d) {
            QVERIFY(!d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled());
            d->reject();
        });
        action("action_forward")->trigger();
        QVERIFY(dialog.seen);
        action("action_Stop")->trigger();
        QTRY_VERIFY(!plot->footer().text().contains(QStringLiteral("转发")));
        QStringList lines;
        for (QStandardItem *line : window->findChild<EventView *>()->model()->findItems("数据转发：", Qt::MatchStartsWith, 3))
            lines << line->text().section("，", 0, 0);
        QCOMPARE(lines, QStringList({"数据转发：已连接 MQTT 服务器 " + broker.address(),
                                     "数据转发：未连接 MQTT 服务器 " + broker.address() + "（连接中断）", "数据转发：已停止"}));
        QVERIFY(window->findChild<EventView *>()->model()->findItems("s3cret", Qt::MatchContains, 3).isEmpty());
    }

    // With daily files the samples are on disk as they come. A folder gone
    // meanwhile is a fault in the footer and the event log.
    void dailyFiles_data()
    {
        QTest::addColumn<bool>("folderGone");
        QTest::newRow("written") << false;
        QTest::newRow("folder gone") << true;
    }

    void dailyFiles()
    {
        QFETCH(bool, folderGone);
        const QString folder = path(QStringLiteral("days"));
        QVERIFY(QDir().mkpath(folder));
        storeStation([&folder](StationConfig &c) { c.dailyFolder = folder; });
        startSimulator(true);
        action("action_Event")->trigger();
        action("action_ReadCom")->trigger();
        if (folderGone)
            QVERIFY(QDir(folder).removeRecursively());
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= 2, 15000);
        if (folderGone)
            QTRY_VERIFY(window->realTimeWindow()->footer().text().contains(QStringLiteral("    保存错误 ")));
        action("action_Stop")->trigger();
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        int written = 0;
        for (const QString &file : QDir(folder).entryList({QStringLiteral("ZEP_*.txt")}))
            written += countRecords(QDir(folder).filePath(file));
        QCOMPARE(written, folderGone ? 0 : storeSize());
        QCOMPARE(window->findChild<EventView *>()->model()->findItems(QStringLiteral("保存错误："), Qt::MatchContains, 3).isEmpty(),
                 !folderGone);
        // Quitting asks only about what no daily file holds.
        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::No};
        boxes.start();
        QVERIFY(window->close());
        QCOMPARE(boxes.seen.size(), folderGone ? 1 : 0);
    }

    // Two meters on one link, the second failing its second poll: a window
    // each, titled after its meter; each meter's series, footer and daily
    // files its own; the status bar counts the meters no window shows;
    // closing a window asks about its own meter's samples alone.
    void twoMeters()
    {
        QMdiArea area;
        area.resize(1200, 800);
        Documents documents(&area, window->statusBar());
        Acquisition acquisition(documents, window->statusBar());
        // The windows show the sessions' series: they go first.
        const auto windowsFirst = qScopeGuard([&documents] { documents.deleteWindows(); });
        Station &station = acquisition.station();
        station.setLinkFactory([](const ComConfig &c) { return std::make_unique<AddressedLink>(c, 7, QList<int>{2}); });
        const QString folder = path(QStringLiteral("days"));
        QVERIFY(QDir().mkpath(folder));
        const StationConfig config{AppConfig.comm, {{QStringLiteral("进线柜"), 3}, {QStringLiteral("空/调"), 7}}, true, folder, {}};
        acquisition.openRealTimeWindows(config.meters);
        QCOMPARE(area.subWindowList().first()->windowTitle(), QStringLiteral("实时通讯 - 进线柜 - 趋势图"));
        QSignalSpy grown(&station, &Station::seriesGrew);
        acquisition.start(config);
        QTRY_VERIFY_WITH_TIMEOUT(acquisition.realTimeWindow(1)->footer().text().contains("通讯错误 1 次"), 10000);
        QVERIFY(!acquisition.realTimeWindow(0)->footer().text().contains("通讯错误"));
        QCOMPARE(station.session(1).series().value(5, 0).y(), 706.0);
        // Closed, a window leaves its meter polled, and the status bar says so.
        for (int m : {1, 0}) {
            acquisition.realTimeWindow(m)->parentWidget()->close();
            QTRY_VERIFY(!acquisition.realTimeWindow(m) && indicatorCount(2 - m) >= 0);
        }
        acquisition.stop();
        QList<int> polls{0, 0};
        for (const QList<QVariant> &g : grown)
            ++polls[g.at(0).toInt()];
        QCOMPARE(polls[1], polls[0] - 1);
        for (const QString &sub : {QStringLiteral("3-进线柜"), QStringLiteral("7-空_调")}) {
            const QDir days(QDir(folder).filePath(sub));
            QCOMPARE(countRecords(days.filePath(days.entryList({QStringLiteral("ZEP_*.txt")}).value(0))), polls.takeFirst());
        }

        // Without daily files, each window asks about its own meter. One
        // the settings no longer name closes, asking; the others keep their
        // windows and series, whatever their new places; a new one shows.
        QTRY_VERIFY(!acquisition.currentSamplingThread());
        acquisition.openRealTimeWindows(config.meters);
        acquisition.start({config.link, config.meters, true, QString(), {}});
        QTRY_VERIFY_WITH_TIMEOUT(station.session(1).series().sizeWithPending() >= 1, 10000);
        acquisition.stop();
        QTRY_VERIFY(!acquisition.currentSamplingThread());
        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::No, QMessageBox::No};
        boxes.start();
        RealPlot *second = acquisition.realTimeWindow(1);
        const int rows = station.session(1).series().sizeWithPending();
        acquisition.start({config.link, {{QStringLiteral("空/调"), 7}, {QStringLiteral("照明"), 9}}, true, QString(), {}});
        QCOMPARE(acquisition.realTimeWindow(0), second);
        QCOMPARE(second->parentWidget()->windowTitle(), QStringLiteral("实时通讯 - 空/调 - 趋势图"));
        QVERIFY(station.session(0).series().sizeWithPending() >= rows && acquisition.realTimeWindow(1));
        acquisition.stop();
        second->parentWidget()->close();
        QTRY_COMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen[0].text + boxes.seen[1].text, "需要保存电表“进线柜”的数据吗？需要保存电表“空/调”的数据吗？");
    }

    void openFailureShowsPortName()
    {
        copyToField(AppConfig.comm.com, "/nonexistent/ttyZEP");
        action("action_ReadCom")->trigger();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        action("action_Start")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 1, 5000);
        QCOMPARE(boxes.seen.at(0).text, QStringLiteral("串口/nonexistent/ttyZEP打开失败"));
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        QVERIFY(startEnabled());
    }

    void stopWaitsForThePoll()
    {
        // Each block answered 700 ms late: a poll takes about 1.4 s.
        startSimulator(true, {"--fault", "slow=700"});
        action("action_ReadCom")->trigger();
        action("action_Start")->trigger();
        QVERIFY(sim->waitForLog(QStringLiteral("#1 ")));
        // The wait shows a busy cursor, seen from the sampling thread as
        // it ends (the user interface thread is blocked meanwhile).
        std::atomic<int> cursorAtEnd{-1};
        connect(window->currentSamplingThread(), &QThread::finished, window->currentSamplingThread(),
                [&cursorAtEnd] { cursorAtEnd = overrideCursorShape(); }, Qt::DirectConnection);
        action("action_Stop")->trigger();
        QCOMPARE(cursorAtEnd.load(), int(Qt::WaitCursor));
        QCOMPARE(overrideCursorShape(), -1);
        SamplingThread *thread = window->currentSamplingThread();
        QVERIFY(thread);
        QVERIFY(thread->isFinished());
        // The poll in progress ran to its end and was stored.
        QCOMPARE(storeSize(), 1);
        // Stopped, finish pending: Start is offered but does nothing yet.
        QVERIFY(startEnabled() && !stopEnabled());
        action("action_Start")->trigger();
        QCOMPARE(window->currentSamplingThread(), thread);
        QVERIFY(!window->isAcquiring());
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        QVERIFY(startEnabled() && !stopEnabled());
    }

    // Polls that wait while a slow save holds the stores reach the series
    // once the thread ends (Stop or a failed link), and no further.
    void pollsDuringSaveAreKept_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::newRow("stop") << QStringList();
        QTest::newRow("link fails") << QStringList{"--fault", "exception", "--fault-on", "9,10,11"};
    }

    void pollsDuringSaveAreKept()
    {
        QFETCH(QStringList, fault);
        startSimulator(true, fault);
        action("action_ReadCom")->trigger();
        zeptest::MessageBoxLog boxes;
        boxes.answers = {fault.isEmpty() ? QMessageBox::No : QMessageBox::Ok, QMessageBox::No};
        boxes.start();
        action("action_Start")->trigger();
        liveSeries().lock();
        const bool served = sim->waitForLog(QStringLiteral("#8 "), 10000);
        QThread::msleep(300);
        liveSeries().unlock();
        if (fault.isEmpty())
            action("action_Stop")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(window->currentSamplingThread() == nullptr, 10000);
        QVERIFY(served);
        QCOMPARE(storeSize(), 4);
        // Block A requests, the three failed attempts of the fifth poll too.
        const int requested = fault.isEmpty() ? 4 : 7;
        QTRY_COMPARE(servedReadings(sim->log()).size(), requested);
        realTimeSubWindow()->close();
        QTRY_VERIFY(window->realTimeWindow() == nullptr);
        QCOMPARE(boxes.seen.last().text, QStringLiteral("需要保存数据吗？"));

        // The next series starts with the next acquisition's first reading.
        action("action_ReadCom")->trigger();
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= 1, 10000);
        action("action_Stop")->trigger();
        boxes.stop();
        QTRY_VERIFY(servedReadings(sim->log()).size() > requested);
        QCOMPARE(float(liveSeries().value(0, 0).y()), servedReadings(sim->log()).at(requested).at(0));
    }

    void closingTheWindowKeepsAcquiring()
    {
        startSimulator(true);
        action("action_ReadCom")->trigger();
        action("action_ReadCom")->trigger();
        QCOMPARE(window->findChild<QMdiArea *>()->subWindowList().size(), 1);
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= 1, 10000);

        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::No};
        boxes.start();
        realTimeSubWindow()->close();
        QTRY_VERIFY(window->realTimeWindow() == nullptr);
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(window->isAcquiring());
        QVERIFY(!window->currentSamplingThread()->isFinished());
        QVERIFY(!startEnabled() && stopEnabled());
        // Seen in the status bar, with the samples polled since the window closed.
        QTRY_VERIFY_WITH_TIMEOUT(indicatorCount() >= 1, 5000);

        // Opened again while the thread polls, the window shows the
        // acquisition at once.
        action("action_ReadCom")->trigger();
        QVERIFY(window->realTimeWindow());
        QVERIFY(window->realTimeWindow()->isRefreshing());
        QVERIFY(!startEnabled() && stopEnabled());
        QCOMPARE(indicatorCount(), -1);
        QTRY_VERIFY_WITH_TIMEOUT(window->realTimeWindow()->footer().text() != QStringLiteral("时间范围："), 5000);
        QVERIFY(window->realTimeWindow()->canvas()->findChild<QLabel *>()->isVisible());
        boxes.start();
        action("action_Stop")->trigger();
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(startEnabled() && !stopEnabled());
    }

    // While another program acquires in the directory, Start says which,
    // and starts nothing; the directory is free again once it stops.
    void secondAcquisitionRefused()
    {
        startSimulator(true);
        auto other = std::make_unique<AcquisitionLock>();
        QCOMPARE(other->claim(), AcquisitionLock::Outcome::Taken);
        action("action_ReadCom")->trigger();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        action("action_Start")->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text, acquisitionHeldText(QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                                                             QCoreApplication::applicationPid()));
        QVERIFY(!window->isAcquiring() && startEnabled());
        other.reset();
        action("action_Start")->trigger();
        QVERIFY(window->isAcquiring());
        QCOMPARE(AcquisitionLock().claim(), AcquisitionLock::Outcome::Held);
        action("action_Stop")->trigger();
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
        QTRY_COMPARE(AcquisitionLock().claim(), AcquisitionLock::Outcome::Taken);
    }

    void startsAtStartUp_data()
    {
        QTest::addColumn<bool>("startAcquiring");
        QTest::addColumn<bool>("interrupted");
        QTest::newRow("off") << false << false;
        QTest::newRow("asked for") << true << false;
        QTest::newRow("the last run was killed") << false << true;
    }

    // With the choice ticked, or after a run that ended while acquiring
    // (its lock left by a process that is gone), the windows open and the
    // recording starts without a click.
    void startsAtStartUp()
    {
        QFETCH(bool, startAcquiring);
        QFETCH(bool, interrupted);
        startSimulator(true);
        storeStation([&](StationConfig &c) { c.startAcquiring = startAcquiring; });
        const QString lockFile = QStringLiteral("config/acquisition.lock");
        if (interrupted) {
            QLockFile own(lockFile);
            QVERIFY(own.tryLock(0));
            const QByteArray content = zeptest::readBytes(lockFile);
            own.unlock();
            const pid_t gone = fork();
            if (gone == 0)
                _exit(0);
            QCOMPARE(waitpid(gone, nullptr, 0), gone);
            QVERIFY(zeptest::writeBytes(lockFile, QByteArray::number(gone) + content.mid(content.indexOf('\n'))));
        }
        // Nothing of the earlier tests is offered meanwhile.
        for (const QString &journal : leftJournals(LiveJournal::defaultFolder()))
            LiveJournal::removeFiles(journal);
        window->finishStartUp({});
        QCOMPARE(window->isAcquiring(), startAcquiring || interrupted);
        if (!window->isAcquiring())
            return;
        QVERIFY(window->realTimeWindow());
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= 1, 10000);
    }

    void closingMainWindowStopsAcquisition()
    {
        startSimulator(true);
        action("action_ReadCom")->trigger();
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize() >= 1, 10000);
        QPointer<SamplingThread> thread = window->currentSamplingThread();
        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::Cancel};
        boxes.start();
        // Cancel keeps everything running.
        QVERIFY(!window->close());
        QVERIFY(window->realTimeWindow());
        QVERIFY(window->isAcquiring());
        boxes.answers = {QMessageBox::No};
        QVERIFY(window->close());
        boxes.stop();
        QVERIFY(thread && thread->isFinished());
        window.reset();
        QVERIFY(thread.isNull());
    }

    // Quitting while a poll hangs on a silent meter: the program waits for
    // the poll's attempts under a busy cursor, and the poll's time-out
    // warning, which arrives as the window goes, is not shown.
    void quitWhilePollHangs_data()
    {
        QTest::addColumn<bool>("exitAction");
        QTest::newRow("close") << false;
        QTest::newRow("exit action") << true;
    }

    void quitWhilePollHangs()
    {
        QFETCH(bool, exitAction);
        // Poll 1 is requests 1 and 2; poll 2's block A meets silence on all
        // of its three attempts.
        startSimulator(true, {"--fault", "silent", "--fault-on", "3,4,5"});
        action("action_ReadCom")->trigger();
        action("action_Start")->trigger();
        QVERIFY(sim->waitForLog(QStringLiteral("#3 unit"), 10000));
        QPointer<SamplingThread> thread = window->currentSamplingThread();
        std::atomic<int> cursorAtWarning{-1};
        connect(thread, &SamplingThread::warning, thread,
                [&cursorAtWarning] { cursorAtWarning = overrideCursorShape(); }, Qt::DirectConnection);

        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::No};
        boxes.start();
        QElapsedTimer clock;
        clock.start();
        if (exitAction)
            action("action_Exit")->trigger();
        else
            QVERIFY(window->close());
        const qint64 waited = clock.elapsed();
        QVERIFY(!window->isVisible());
        QVERIFY(thread && thread->isFinished());
        // Within the poll's three 3-second time-outs.
        QVERIFY2(waited < 3 * 3000 + 1000, qPrintable(QString::number(waited)));
        QCOMPARE(cursorAtWarning.load(), int(Qt::WaitCursor));
        QCOMPARE(overrideCursorShape(), -1);
        // Queued events of the ended thread are handled: no box comes up.
        QTest::qWait(500);
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text, QStringLiteral("需要保存数据吗？"));
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->isVisible(); }));
        QVERIFY(window->currentSamplingThread() == nullptr);
        QVERIFY(sim->log().contains(QStringLiteral("#5 unit")));
    }
};

ZEP_TEST_MAIN(TestAcquisition)
#include "tst_acquisition.moc"
