#include "mainwindowtest.h"
#include "app/openreport.h"
#include "app/openrequests.h"
#include "app/recentfiles.h"
#include "app/singleinstance.h"
#include "app/tiling.h"
#include "data/appconfig.h"
#include "views/mytableview.h"
#include "views/plot.h"
#include "testsupport.h"
#include "../data/datafiletestutil.h"

#include <QClipboard>
#include <QCursor>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>

#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(Qt::Orientation)

Q_DECLARE_METATYPE(DocumentKind)

class TestDocuments : public zeptest::MainWindowTest
{
    Q_OBJECT


    QString sampleFile(const QString &name, int count = 20)
    {
        const QString p = path(name);
        if (!zeptest::writeSampleFile(p, count))
            qWarning("cannot write %s", qPrintable(p));
        return p;
    }
    QMdiArea *area() const { return window->documentArea(); }
    QStringList titles() const
    {
        QStringList out;
        for (QMdiSubWindow *w : area()->subWindowList())
            out << w->windowTitle();
        return out;
    }
    QString activeTitle() const
    {
        return area()->activeSubWindow() ? area()->activeSubWindow()->windowTitle() : QString();
    }
    QMdiSubWindow *subWindow(const QString &title) const
    {
        for (QMdiSubWindow *w : area()->subWindowList()) {
            if (w->windowTitle() == title)
                return w;
        }
        return nullptr;
    }
    void closeWindow(const QString &title)
    {
        QMdiSubWindow *w = subWindow(title);
        QVERIFY(w);
        QPointer<QMdiSubWindow> guard(w);
        w->close();
        QTRY_VERIFY(guard.isNull());
    }
    QStringList recentFiles() const
    {
        QSettings settings;
        return readRecentFiles(settings);
    }

private slots:
    void init()
    {
        startWindow();
    }

    void cleanup() { stopWindow(); }

    void windowTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<DocumentKind>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("document"); // index in the list, -1: none
        QTest::newRow("table") << "/d/a.txt - 数据列表" << DocumentKind::Table << "/d/a.txt" << 0;
        QTest::newRow("plot") << "/d/b.txt - 趋势图" << DocumentKind::Plot << "/d/b.txt" << 1;
        QTest::newRow("first of two") << "/d/a.txt - 趋势图" << DocumentKind::Plot << "/d/a.txt" << 0;
        QTest::newRow("real-time window") << "实时通讯 - 电表1 - 趋势图" << DocumentKind::Plot << "实时通讯 - 电表1" << -1;
        QTest::newRow("table mark first") << "/d/x - 趋势图 - 数据列表" << DocumentKind::Table << "/d/x - 趋势图" << -1;
        QTest::newRow("every suffix removed") << "/d/a.txt - 数据列表 - 数据列表" << DocumentKind::Table << "/d/a.txt" << 0;
        QTest::newRow("letter case") << "/D/A.TXT - 数据列表" << DocumentKind::Table << "/D/A.TXT" << -1;
        QTest::newRow("neither") << "/d/a.txt" << DocumentKind::None << "" << -1;
    }

    void windowTitles()
    {
        QFETCH(QString, title);
        QFETCH(int, document);
        DataFile a(QStringLiteral("/d/a.txt"), 1), b(QStringLiteral("/d/b.txt"), 1), again(QStringLiteral("/d/a.txt"), 1);
        const QList<DataFile *> documents{&a, &b, &again};
        const DocumentRef ref = documentForTitle(title, documents);
        QTEST(ref.kind, "kind");
        QTEST(ref.path, "path");
        QCOMPARE(ref.file, document < 0 ? nullptr : documents.at(document));
    }

    void openShowsBothWindows()
    {
        const QString file = sampleFile(QStringLiteral("a.txt"));
        window->loadFile(file);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("提示：打开成功！"));
        QCOMPARE(titles(), QStringList({file + " - 数据列表", file + " - 趋势图"}));
        QCOMPARE(activeTitle(), file + " - 趋势图");
        QVERIFY(area()->activeSubWindow()->isMaximized());
        QCOMPARE(window->openDocuments().size(), 1);
        QCOMPARE(int(window->openDocuments().first()->count), 20);
        QCOMPARE(recentFiles(), QStringList({file}));
        for (const char *name : {"action_showPlot", "action_Stat", "action_Copy", "action_Restrict"})
            QVERIFY(action(name)->isEnabled());
        QVERIFY(!action("action_Find")->isEnabled());
        area()->activeSubWindow()->showNormal(); // and keeps a useful share of the area
        QVERIFY(area()->activeSubWindow()->height() > area()->viewport()->height() / 2);
    }

    void patchedRecordsReported()
    {
        const QString file = sampleFile(QStringLiteral("patched.txt"));
        // After the first record, one whose time does not read and that names one value only.
        QByteArray bytes = zeptest::readBytes(file);
        QVERIFY(zeptest::writeBytes(file, bytes.insert(bytes.indexOf("\n20") + 1, "2024/13/01 00:00:00\nUA=1\n")));
        zeptest::MessageBoxLog boxes;
        boxes.start();
        window->loadFile(file);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("提示：打开成功！"));
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(boxes.seen.first().text.contains(QStringLiteral("1 条记录的时间无法识别。\n1 条记录缺少数值")));
    }

    void reopenReadsNothing()
    {
        const QString a = sampleFile(QStringLiteral("a.txt"));
        const QString b = sampleFile(QStringLiteral("b.txt"));
        window->loadFile(a);
        window->loadFile(b);
        DataFile *open = window->openDocuments().first();
        closeWindow(a + " - 趋势图");
        // Gone from the disk: only the document in memory can serve it.
        QVERIFY(QFile::remove(a));
        window->loadFile(a);
        QCOMPARE(window->openDocuments().size(), 2);
        QCOMPARE(window->openDocuments().first(), open);
        QCOMPARE(titles().count(a + " - 数据列表"), 1);
        QCOMPARE(titles().count(a + " - 趋势图"), 1);
        QCOMPARE(activeTitle(), a + " - 趋势图");
        QCOMPARE(recentFiles(), QStringList({a, b}));
    }

    void closingWindows()
    {
        const QString a = sampleFile(QStringLiteral("a.txt"));
        window->loadFile(a);
        closeWindow(a + " - 趋势图");
        QCOMPARE(activeTitle(), a + " - 数据列表");
        QCOMPARE(window->openDocuments().size(), 1);
        closeWindow(a + " - 数据列表");
        QVERIFY(window->openDocuments().isEmpty());
        for (const char *name : {"action_showPlot", "action_Stat", "action_Copy", "action_Print", "action_close"})
            QVERIFY2(!action(name)->isEnabled(), name);
    }

    // 合并打开: the files chosen in the dialog (in any order, one twice) as
    // one document, named after the first and the last. The recent entry
    // opens the set again; a file gone meanwhile is named, the others open.
    void mergedOpen()
    {
        const QStringList names{"ZEP_20250106.txt", "ZEP_20250107.txt", "ZEP_20250108.txt"};
        for (int day = 0; day < 3; ++day)
            QVERIFY(zeptest::writeSampleFile(path(names[day]), 10, 1736121600u + uint32_t(day) * 86400u, 5));
        zeptest::FileDialogLog dialogs;
        dialogs.answers << QStringLiteral("\"%1\" \"%2\" \"%3\" \"%1\"").arg(names[2], names[0], names[1]);
        dialogs.start();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        action("action_openMerged")->trigger();
        const QString name = path(names[0]) + QStringLiteral(" … ZEP_20250108.txt（3 个文件）");
        QCOMPARE(titles(), QStringList({name + " - 数据列表", name + " - 趋势图"}));
        QCOMPARE(int(window->openDocuments().first()->count), 30);
        QVERIFY(window->openDocuments().first()->timesAscending());
        QCOMPARE(recentFiles(), QStringList({name}));
        closeWindow(name + " - 趋势图");
        closeWindow(name + " - 数据列表");
        QVERIFY(QFile::remove(path(names[2])));
        emit window->findChild<QMenu *>(QStringLiteral("menu_recent"))->aboutToShow();
        QAction *entry = window->findChild<QMenu *>(QStringLiteral("menu_recent"))->actions().first();
        QCOMPARE(entry->text(), QStringLiteral("&1 ZEP_20250106.txt … ZEP_20250108.txt（3 个文件）"));
        entry->trigger();
        const QString two = path(names[0]) + QStringLiteral(" … ZEP_20250107.txt（2 个文件）");
        QCOMPARE(titles(), QStringList({two + " - 数据列表", two + " - 趋势图"}));
        QCOMPARE(window->openDocuments().first()->sources, QStringList({path(names[0]), path(names[1])}));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().text,
                 QStringLiteral("下列文件未能打开：\n%1：文件不存在").arg(QDir::toNativeSeparators(path(names[2]))));
    }

    // "dir": a folder of that name; "unreadable": a file nobody may read.
    void failedOpens_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << "文件不存在";
        QTest::newRow("empty") << QByteArray("") << "不是数据文件";
        QTest::newRow("no record") << QByteArray(" UA  = 220.50 V    \nno time here\n") << "不是数据文件";
        QTest::newRow("folder") << QByteArray("dir") << "不是数据文件";
        if (geteuid() != 0)
            QTest::newRow("unreadable") << QByteArray("unreadable") << "无法读取";
    }

    // 打开 with one file: the status bar alone says so.
    void failedOpens()
    {
        QFETCH(QByteArray, content);
        const QString good = sampleFile(QStringLiteral("good.txt"));
        window->loadFile(good);
        const QString bad = path(QStringLiteral("bad.txt"));
        if (!content.isNull())
            QVERIFY(content == "dir" ? QDir().mkdir(bad) : zeptest::writeBytes(bad, content));
        QFile::setPermissions(bad, content == "unreadable" ? QFileDevice::WriteOwner : QFile::permissions(bad));
        const QStringList before = titles();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        QTEST(openFailureReason(window->loadFile(bad)), "reason");
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("错误：不支持该文件！"));
        QCOMPARE(titles(), before);
        QCOMPARE(window->openDocuments().size(), 1);
        QCOMPARE(recentFiles(), QStringList({good}));
    }

    void readsCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files"); // "./": the folder the test runs in
        QTest::addColumn<int>("exitCode");      // -1: a window starts
        QTest::addColumn<QString>("printed");
        QTest::newRow("files") << QStringList{"zep", "日报 3 月.txt", "/data/b b.txt", "--", "-h"}
                               << QStringList{"./日报 3 月.txt", "/data/b b.txt", "./-h"} << -1 << QString();
        QTest::newRow("version") << QStringList{"zep", "--version", "a.txt"} << QStringList{} << 0
                                 << QStringLiteral("ZEP 1.01测试版\n");
        QTest::newRow("unknown option") << QStringList{"zep", "--bogus"} << QStringList{} << 1 << QStringLiteral("bogus");
    }

    void readsCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        const CommandLine command = readCommandLine(arguments);
        QCOMPARE(command.files, files.replaceInStrings(QRegularExpression(QStringLiteral("^\\./")), QDir::currentPath() + '/'));
        QCOMPARE(command.answered ? command.exitCode : -1, exitCode);
        QVERIFY2((exitCode == 1 ? command.error : command.output).contains(printed), qPrintable(command.error));
    }

    // Names in the test folder, written (and opened) unless they hold "缺",
    // or written as plain text when they hold "文"; "." is the folder itself.
    // The failures: name and why, in the one box that lists them.
    void opensGivenFiles_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("failures");
        QTest::newRow("at start-up, missing last") << false << QStringList{"日报 3 月.txt", "b b.txt", "缺 失.txt"}
                                                   << QStringLiteral("错误：不支持该文件！") << QStringList{"缺 失.txt：文件不存在"};
        QTest::newRow("dropped, missing first") << true << QStringList{"缺 失.txt", "a.txt"} << QStringLiteral("提示：打开成功！")
                                                << QStringList{"缺 失.txt：文件不存在"};
        QTest::newRow("at start-up, two failures") << false << QStringList{"缺.txt", "a.txt", "文.txt"}
                                                   << QStringLiteral("错误：不支持该文件！")
                                                   << QStringList{"缺.txt：文件不存在", "文.txt：不是数据文件"};
        QTest::newRow("dropped, a folder and a web page")
            << true << QStringList{".", "https://example.com/a.txt"} << QString() << QStringList{};
        QTest::newRow("dropped, text") << true << QStringList{} << QString() << QStringList{};
    }

    void opensGivenFiles()
    {
        QFETCH(bool, dropped);
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        QFETCH(QStringList, failures);
        zeptest::MessageBoxLog boxes;
        boxes.start();
        QMimeData data;
        data.setText(QStringLiteral("a.txt"));
        QList<QUrl> urls;
        QStringList paths, expected;
        for (const QString &name : names) {
            const bool text = name.contains(QStringLiteral("文")) && zeptest::writeBytes(path(name), "notes\n");
            const bool written = !name.contains(QStringLiteral("缺")) && !text && name != "." && !name.contains("://");
            urls.append(name.contains("://") ? QUrl(name) : QUrl::fromLocalFile(written ? sampleFile(name) : path(name)));
            paths.append(urls.last().toLocalFile());
            if (written)
                expected << paths.last() + " - 数据列表" << paths.last() + " - 趋势图";
        }
        if (dropped) {
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &enter);
            QCOMPARE(enter.isAccepted(), !message.isEmpty());
            QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &drop);
        } else {
            window->finishStartUp(paths);
        }
        QTRY_COMPARE(window->statusBar()->currentMessage(), message);
        QCOMPARE(titles(), expected);
        QTRY_COMPARE(boxes.seen.size(), failures.isEmpty() ? 0 : 1);
        if (!failures.isEmpty())
            QCOMPARE(boxes.seen.at(0).text, "下列文件未能打开：\n" + failures.replaceInStrings(QRegularExpression("^"), dir->path() + '/').join('\n'));
    }

    // Started again in the same directory, the program hands its files
    // (none: it only brings the first to the front) to the first and ends.
    void secondStartHandsOver_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("session"); // a runtime folder of the session
        QTest::newRow("two files") << QStringList{"a.txt", "三月 日报.txt"} << true;
        QTest::newRow("none") << QStringList{} << true;
        QTest::newRow("no session runtime folder") << QStringList{"a.txt"} << false;
    }

    void secondStartHandsOver()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, session);
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        auto restore = qScopeGuard([&runtime] { qputenv("XDG_RUNTIME_DIR", runtime); });
        if (!session)
            qunsetenv("XDG_RUNTIME_DIR");
        SingleInstance first(dir->path());
        QVERIFY(first.claim());
        QSignalSpy received(&first, &SingleInstance::filesReceived);
        QProcess second;
        second.setWorkingDirectory(dir->path());
        second.start(QStringLiteral(ZEP_PROGRAM), files);
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(received.size(), 1);
        QStringList expected;
        for (const QString &file : files)
            expected << QDir(QFileInfo(dir->path()).canonicalFilePath()).filePath(file);
        QCOMPARE(received.at(0).at(0).toStringList(), expected);
    }

    // Files that do not open, handed over by later starts, are named once
    // the senders are gone, and the program goes on: the next one opens.
    void handOverOfFilesThatDoNotOpen()
    {
        SingleInstance first(dir->path());
        QVERIFY(first.claim());
        window->takeHandOvers(first);
        QVERIFY(zeptest::writeBytes(path(QStringLiteral("notes.txt")), "not a data file\n"));
        QProcess second;
        zeptest::MessageBoxLog boxes;
        // The first message is read once its sender has long gone.
        connect(&second, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), [&] { QTimer::singleShot(300, &second, [&] { boxes.start(); }); });
        for (const QString &file : {QStringLiteral("/no/such/file.txt"), path("notes.txt"), sampleFile("good.txt")}) {
            second.setWorkingDirectory(dir->path());
            second.start(QStringLiteral(ZEP_PROGRAM), {file});
            QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
            QCOMPARE(second.exitCode(), 0);
        }
        QTRY_COMPARE(window->openDocuments().size(), 1);
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen[0].text, QStringLiteral("下列文件未能打开：\n/no/such/file.txt：文件不存在"));
        QCOMPARE(boxes.seen[1].text, "下列文件未能打开：\n" + path("notes.txt") + "：不是数据文件");
    }

    void runtimeDirectory_data()
    {
        QTest::addColumn<QString>("runtime"); // the session's folder: its mode, "file", or none
        QTest::addColumn<int>("fallback");    // the mode of the fallback there already; 0: none
        QTest::addColumn<uint>("user");       // added to this user's id
        QTest::addColumn<QString>("chosen");
        QTest::newRow("the session's") << "700" << 0 << 0u << "runtime";
        QTest::newRow("none") << "" << 0 << 0u << "cache/run";
        QTest::newRow("the session's open to others") << "755" << 0 << 0u << "cache/run";
        QTest::newRow("the session's a file") << "file" << 0 << 0u << "cache/run";
        QTest::newRow("fallback open to others") << "" << 0777 << 0u << "";
        QTest::newRow("another user's") << "700" << 0700 << 1u << "";
    }

    // The lock and the socket only go to a folder of the user's own that
    // nobody else may enter.
    void runtimeDirectory()
    {
        QFETCH(QString, runtime);
        QFETCH(int, fallback);
        QFETCH(uint, user);
        QFETCH(QString, chosen);
        if (runtime == "file")
            QVERIFY(zeptest::writeBytes(path("runtime"), "x"));
        else if (!runtime.isEmpty())
            QVERIFY(QDir().mkdir(path("runtime")) && ::chmod(qPrintable(path("runtime")), runtime.toUInt(nullptr, 8)) == 0);
        if (fallback)
            QVERIFY(QDir().mkpath(path("cache/run")) && ::chmod(qPrintable(path("cache/run")), mode_t(fallback)) == 0);
        const QString result = privateRuntimeDirectory(runtime.isEmpty() ? QString() : path("runtime"), path("cache/run"), ::geteuid() + user);
        QCOMPARE(result, chosen.isEmpty() ? QString() : path(chosen));
        QVERIFY(result.isEmpty() || (QFileInfo(result).permissions() & 0x77) == 0);
    }

    void peerCheck_data()
    {
        QTest::addColumn<bool>("socket"); // false: a pipe
        QTest::addColumn<uint>("user");   // added to this user's id
        QTest::addColumn<bool>("accepted");
        QTest::newRow("same user") << true << 0u << true;
        QTest::newRow("another user") << true << 1u << false;
        QTest::newRow("not a socket") << false << 0u << false;
    }

    void peerCheck()
    {
        QFETCH(bool, socket);
        QFETCH(uint, user);
        QFETCH(bool, accepted);
        int fds[2];
        QCOMPARE(socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) : ::pipe(fds), 0);
        QCOMPARE(peerIsUser(fds[0], ::geteuid() + user), accepted);
        ::close(fds[0]);
        ::close(fds[1]);
    }

    // One program per directory, however named; free again once it ends.
    void onePerDirectory()
    {
        QTemporaryDir other;
        QVERIFY(QFile::link(dir->path(), other.filePath(QStringLiteral("link"))));
        auto first = std::make_unique<SingleInstance>(dir->path());
        SingleInstance again(other.filePath(QStringLiteral("link"))), elsewhere(other.path()), later(dir->path());
        QVERIFY(first->claim() && !again.claim() && elsewhere.claim());
        first.reset();
        QVERIFY(later.claim());
    }

    void windowMenu()
    {
        QStringList files;
        for (int i = 0; i < 5; ++i) {
            files << sampleFile(QStringLiteral("f%1.txt").arg(i));
            window->loadFile(files.last());
        }
        QMenu *menu = window->findChild<QMenu *>(QStringLiteral("menu_window"));
        emit menu->aboutToShow();
        QList<QAction *> entries;
        for (QAction *a : menu->actions()) {
            if (a->isCheckable() && a->objectName().isEmpty())
                entries << a;
        }
        QCOMPARE(entries.size(), 10);
        QCOMPARE(entries.at(0)->text(), "&1 " + files.at(0) + " - 数据列表");
        QCOMPARE(entries.at(8)->text(), "&9 " + files.at(4) + " - 数据列表");
        QCOMPARE(entries.at(9)->text(), "10 " + files.at(4) + " - 趋势图");
        for (int i = 0; i < 10; ++i)
            QCOMPARE(entries.at(i)->isChecked(), i == 9);
        entries.at(2)->trigger();
        QCOMPARE(activeTitle(), files.at(1) + " - 数据列表");
        // Cancelled or changed menus never pile up entries.
        emit menu->aboutToShow();
        QCOMPARE(menu->actions().size(), 6 + 1 + 10);
    }

    void tiling_data()
    {
        QTest::addColumn<Qt::Orientation>("orientation");
        QTest::addColumn<int>("count");
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QList<QRect>>("rects");
        QTest::newRow("columns") << Qt::Vertical << 3 << QSize(900, 500)
                                 << QList<QRect>{{0, 0, 300, 500}, {300, 0, 300, 500}, {600, 0, 300, 500}};
        QTest::newRow("rows") << Qt::Horizontal << 2 << QSize(900, 500)
                              << QList<QRect>{{0, 0, 900, 250}, {0, 250, 900, 250}};
        QTest::newRow("remainder to the last") << Qt::Vertical << 3 << QSize(1000, 10)
                                               << QList<QRect>{{0, 0, 333, 10}, {333, 0, 333, 10}, {666, 0, 334, 10}};
        QTest::newRow("none") << Qt::Vertical << 0 << QSize(900, 500) << QList<QRect>{};
    }

    void tiling()
    {
        QFETCH(Qt::Orientation, orientation);
        QFETCH(int, count);
        QFETCH(QSize, area);
        QFETCH(QList<QRect>, rects);
        QCOMPARE(tiledRects(count, area, orientation).toList(), rects);
    }

    void tilingMovesWindows_data()
    {
        QTest::addColumn<QByteArray>("actionName");
        QTest::addColumn<Qt::Orientation>("orientation");
        QTest::newRow("horizontal") << QByteArray("action_tileh") << Qt::Horizontal;
        QTest::newRow("vertical") << QByteArray("action_tilev") << Qt::Vertical;
    }

    void tilingMovesWindows()
    {
        QFETCH(QByteArray, actionName);
        QFETCH(Qt::Orientation, orientation);
        window->loadFile(sampleFile(QStringLiteral("a.txt")));
        action("action_ReadCom")->trigger();
        action(actionName.constData())->trigger();
        const QList<QMdiSubWindow *> windows = area()->subWindowList();
        const QVector<QRect> places = tiledRects(3, area()->viewport()->size(), orientation);
        QCOMPARE(windows.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(windows.at(i)->geometry(), places.at(i));
    }

    void switchBetweenWindows_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("closed");
        QTest::addColumn<QByteArray>("actionName");
        QTest::addColumn<QString>("active");
        QTest::newRow("table to plot") << "数据列表" << "" << QByteArray("action_showPlot") << "趋势图";
        QTest::newRow("table to closed plot") << "数据列表" << "趋势图" << QByteArray("action_showPlot") << "趋势图";
        QTest::newRow("plot to table") << "趋势图" << "" << QByteArray("action_showTable") << "数据列表";
        QTest::newRow("plot to closed table") << "趋势图" << "数据列表" << QByteArray("action_showTable") << "数据列表";
        QTest::newRow("plot stays") << "趋势图" << "" << QByteArray("action_showPlot") << "趋势图";
    }

    void switchBetweenWindows()
    {
        QFETCH(QString, current);
        QFETCH(QString, closed);
        QFETCH(QByteArray, actionName);
        QFETCH(QString, active);
        const QString a = sampleFile(QStringLiteral("a.txt"));
        window->loadFile(sampleFile(QStringLiteral("b.txt")));
        window->loadFile(a);
        if (!closed.isEmpty())
            closeWindow(a + " - " + closed);
        area()->setActiveSubWindow(subWindow(a + " - " + current));
        action(actionName.constData())->trigger();
        QCOMPARE(activeTitle(), a + " - " + active);
        QCOMPARE(titles().size(), 4);
    }

    void switchingIgnoresRealTimeWindow()
    {
        window->loadFile(sampleFile(QStringLiteral("a.txt")));
        action("action_ReadCom")->trigger();
        const QStringList before = titles();
        for (const char *name : {"action_showPlot", "action_showTable"}) {
            action(name)->trigger();
            QCOMPARE(activeTitle(), QStringLiteral("实时通讯 - 电表1 - 趋势图"));
        }
        QCOMPARE(titles(), before);
    }

    void copyFromEachKind()
    {
        const QString a = sampleFile(QStringLiteral("a.txt"), 3);
        window->loadFile(a);
        QApplication::clipboard()->clear();
        action("action_Copy")->trigger();
        QVERIFY(!QApplication::clipboard()->image().isNull());
        QCOMPARE(QApplication::clipboard()->image().size(), subWindow(a + " - 趋势图")->size());

        area()->setActiveSubWindow(subWindow(a + " - 数据列表"));
        QVERIFY(action("action_Selectall")->isEnabled());
        QVERIFY(!action("action_FindNext")->isEnabled());
        action("action_Selectall")->trigger();
        action("action_Copy")->trigger();
        const QStringList lines = QApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.first().startsWith(QStringLiteral("TIME\tUA(V)\tUB(V)")));
    }

    void destroyedWithWindowsOpen()
    {
        window->loadFile(sampleFile(QStringLiteral("a.txt")));
        window->loadFile(sampleFile(QStringLiteral("b.txt")));
        action("action_ReadCom")->trigger();
        // The sanitizer build sees any read of a released record here.
        window.reset();
    }

    // The new plot window appears under the pointer while the area has its
    // updates off; its tracker then writes every legend title.
    void legendDrawnAfterOpenUnderPointer()
    {
        QCursor::setPos(area()->mapToGlobal(area()->rect().center()));
        QTest::qWait(20);
        const QString file = sampleFile(QStringLiteral("a.txt"));
        window->loadFile(file);
        const QList<QWidget *> labels = subWindow(file + " - 趋势图")->findChildren<QWidget *>();
        QCOMPARE(std::count_if(labels.begin(), labels.end(),
                               [](QWidget *w) { return w->inherits("QwtLegendLabel") && w->updatesEnabled(); }),
                 31);
    }

    void openActionEndToEnd()
    {
#ifdef ZEP_METER_SIM
        const QString file = path(QStringLiteral("sim.txt"));
        QCOMPARE(QProcess::execute(QStringLiteral(ZEP_METER_SIM),
                                   {"--write-file", file, "--records", "720", "--interval", "5", "--start",
                                    "2024/03/01 08:00:00"}),
                 0);
        // Answer the file dialog as a user would: type the name, press Open.
        zeptest::FileDialogLog dialogs;
        dialogs.answers << file;
        dialogs.start();
        action("action_open")->trigger();
        dialogs.stop();
        QCOMPARE(dialogs.seen.size(), 1);
        QCOMPARE(dialogs.seen.first().filters, QStringList({QStringLiteral("数据文件(*.txt)")}));
        QCOMPARE(titles(), QStringList({file + " - 数据列表", file + " - 趋势图"}));
        QCOMPARE(activeTitle(), file + " - 趋势图");
        for (const char *name : {"action_showTable", "action_Stat", "action_excel", "action_pdf"})
            QVERIFY(action(name)->isEnabled());

        area()->setActiveSubWindow(subWindow(file + " - 数据列表"));
        action("action_Selectall")->trigger();
        action("action_Copy")->trigger();
        const QStringList lines = QApplication::clipboard()->text().split('\n');
        DataFile reference(file, 720);
        QCOMPARE(readRecords(&reference), 720);
        QCOMPARE(lines.size(), 721);
        for (int i = 0; i < 720; ++i) {
            const QStringList cells = lines.at(i + 1).split('\t');
            QCOMPARE(cells.size(), 32);
            QCOMPARE(cells.at(0), QDateTime::fromSecsSinceEpoch(reference.records[i].time)
                                      .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
            for (int k = 1; k <= 31; ++k)
                QCOMPARE(cells.at(k), QString::number(double(reference.records[i].value(k)), 'g', 6));
        }
        QVERIFY(lines.at(1).startsWith(QStringLiteral("2024-03-01 08:00:00\t")));

        // The picture of the two windows side by side that the README shows.
        qobject_cast<MyTableView *>(subWindow(file + " - 数据列表")->widget())->clearSelection();
        window->showNormal();
        window->resize(1400, 760);
        action("action_tilev")->trigger();
        QTest::qWait(50);
        QDir().mkpath(QStringLiteral(ZEP_SCREENSHOT_DIR));
        QVERIFY(window->grab().save(QStringLiteral(ZEP_SCREENSHOT_DIR "/review.png")));
#else
        QSKIP("the meter simulator is not built");
#endif
    }
};

ZEP_TEST_MAIN(TestDocuments)
#include "tst_documents.moc"
