#include "mainwindowtest.h"
#include "app/appinfo.h"
#include "app/recentfiles.h"
#include "app/zepabout.h"
#include "data/appconfig.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWindow>

namespace {

QStringList entries(const QList<QAction *> &actions)
{
    QStringList names;
    for (QAction *a : actions) {
        if (a->isSeparator())
            names << QStringLiteral("-");
        else if (a->menu())
            names << a->menu()->objectName();
        else
            names << a->objectName();
    }
    return names;
}

} // namespace

class TestMainWindow : public zeptest::MainWindowTest
{
    Q_OBJECT



private slots:
    void init()
    {
        startWindow(false);
    }

    void cleanup() { stopWindow(); }

    void identity()
    {
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ZEP"));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Tarvolt"));
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.01测试版"));
        QCOMPARE(window->windowTitle(), QStringLiteral("ZEP"));
        QVERIFY(!window->windowIcon().isNull());
    }

    void startUpWritesConfig()
    {
        QVERIFY(QFile::exists(QStringLiteral("config/config.ini")));
        QCOMPARE(QByteArray(AppConfig.comm.com), QByteArray("COM1"));
    }

    void actions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("hasIcon");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("enabled");
        auto row = [](const char *n, const char *t, const char *s, bool icon, bool chk, bool en) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromUtf8(t) << QString::fromLatin1(s) << icon << chk << en;
        };
        row("action_display", "显示设置(&D)", "", true, false, true);
        row("action_com", "通讯设置(&C)", "", true, false, true);
        row("action_forward", "数据转发(&M)…", "", false, false, true);
        row("action_zepabout", "关于ZEP(&E)", "", true, false, true);
        row("action_open", "打开(&O)", "Ctrl+O", true, false, true);
        row("action_openMerged", "合并打开(&M)…", "", false, false, true);
        row("action_save", "保存(&S)", "Ctrl+S", true, false, false);
        row("action_pdf", "转为PDF", "", true, false, false);
        row("action_close", "关闭(&C)", "", false, false, false);
        row("action_cascade", "层叠(&C)", "", true, false, false);
        row("action_closeall", "关闭所有(&A)", "", false, false, false);
        row("action_tileh", "水平平铺(&H)", "", true, false, false);
        row("action_tilev", "垂直平铺(&V)", "", true, false, false);
        row("action_Tool", "工具栏(&T)", "", false, true, true);
        row("action_Status", "状态栏(&S)", "", false, true, true);
        row("action_Event", "查看事件(&Z)", "", false, false, true);
        row("action_Exit", "退出", "", false, false, true);
        row("action_ReadCom", "采集实时数据(&C)", "", true, false, true);
        row("action_Start", "开始实时采集(&S)", "", true, false, false);
        row("action_Stop", "停止实时采集(&T)", "", true, false, false);
        row("action_showTable", "数据列表(&T)", "", true, false, false);
        row("action_showPlot", "趋势图(&P)", "", true, false, false);
        row("action_Stat", "统计数据(&S)", "", true, false, false);
        row("action_Report", "电能质量报告(&Q)", "", true, false, false);
        row("action_PrintPreview", "打印预览(&V)", "", true, false, false);
        row("action_Print", "打印(&P)", "", true, false, false);
        row("action_Copy", "复制(&C)", "Ctrl+C", true, false, false);
        row("action_Selectall", "全选(&A)", "Ctrl+A", false, false, false);
        row("action_Find", "查找(&F)", "Ctrl+F", true, false, false);
        row("action_FindNext", "查找下一个", "F3", true, false, false);
        row("action_Restrict", "范围设定(&R)", "", false, false, false);
        row("action_TurnTo", "转到(&T)", "", false, false, false);
        row("action_FindPrevious", "查找上一个", "F4", true, false, false);
        row("action_excel", "Excel导出(&E)", "", true, false, false);
    }

    void actions()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, shortcut);
        QFETCH(bool, hasIcon);
        QFETCH(bool, checkable);
        QFETCH(bool, enabled);
        QAction *a = action(name.toLatin1().constData());
        QVERIFY(a);
        QCOMPARE(a->text(), text);
        QCOMPARE(a->shortcut().toString(), shortcut);
        QCOMPARE(!a->icon().isNull(), hasIcon);
        if (hasIcon)
            QVERIFY(!a->icon().pixmap(32, 32).isNull());
        QCOMPARE(a->isCheckable(), checkable);
        if (checkable)
            QVERIFY(a->isChecked());
        QCOMPARE(a->isEnabled(), enabled);
    }

    void aboutStatusTip()
    {
        QCOMPARE(action("action_zepabout")->statusTip(), QStringLiteral("关于ZEP Lumen Ledger"));
    }

    void menusAndToolbar()
    {
        auto *bar = window->menuBar();
        QCOMPARE(entries(bar->actions()),
                 QStringList({"menu_file", "menu_Edit", "menu_view", "menu_Real", "menu_setting", "menu_window", "menu_about"}));
        auto menu = [this](const char *n) { return window->findChild<QMenu *>(QLatin1String(n)); };
        QCOMPARE(menu("menu_file")->title(), QStringLiteral("文件(&F)"));
        QCOMPARE(entries(menu("menu_file")->actions()),
                 QStringList({"action_open", "action_openMerged", "action_save", "action_excel", "-", "action_ReadCom", "-", "menu_recent", "-",
                              "action_Print", "action_PrintPreview", "action_pdf", "-", "action_Exit"}));
        QCOMPARE(entries(menu("menu_Edit")->actions()),
                 QStringList({"action_Copy", "action_Selectall", "-", "action_Find", "action_FindNext", "action_FindPrevious",
                              "action_Restrict", "action_TurnTo"}));
        QCOMPARE(entries(menu("menu_view")->actions()),
                 QStringList({"action_showTable", "action_showPlot", "action_Stat", "action_Report", "-", "action_Tool",
                              "action_Status", "action_Event"}));
        QCOMPARE(entries(menu("menu_Real")->actions()), QStringList({"action_Start", "action_Stop"}));
        QCOMPARE(entries(menu("menu_setting")->actions()), QStringList({"action_display", "action_com", "action_forward"}));
        QCOMPARE(entries(menu("menu_about")->actions()), QStringList({"action_zepabout"}));
        QCOMPARE(menu("menu_recent")->title(), QStringLiteral("最近(&R)"));
        QCOMPARE(menu("menu_recent")->actions().size(), MaxRecentFiles);
        const QStringList titles = {"文件(&F)", "编辑(&E)", "查看(&V)", "在线(&C)", "设置(&S)", "窗口(&W)", "帮助(&H)"};
        for (int i = 0; i < titles.size(); ++i)
            QCOMPARE(bar->actions().at(i)->text(), titles.at(i));

        auto *toolbar = window->findChild<QToolBar *>(QStringLiteral("mainToolBar"));
        QVERIFY(toolbar);
        QCOMPARE(window->toolBarArea(toolbar), Qt::TopToolBarArea);
        QCOMPARE(entries(toolbar->actions()),
                 QStringList({"action_open", "action_ReadCom", "action_Start", "action_Stop", "-", "action_showPlot",
                              "action_showTable", "action_Stat", "action_Report", "-", "action_excel", "action_pdf",
                              "action_PrintPreview", "action_Print", "-", "action_Copy", "action_Find", "action_FindNext", "action_FindPrevious", "-",
                              "action_display", "action_com", "-", "action_cascade", "action_tileh", "action_tilev"}));
        QVERIFY(window->findChild<QStatusBar *>(QStringLiteral("statusBar")));
    }

    void windowMenuEntries()
    {
        auto *menu = window->findChild<QMenu *>(QStringLiteral("menu_window"));
        QCOMPARE(entries(menu->actions()),
                 QStringList({"action_close", "action_closeall", "-", "action_cascade", "action_tileh", "action_tilev"}));
    }

    void mdiArea()
    {
        auto *area = qobject_cast<QMdiArea *>(window->centralWidget());
        QVERIFY(area);
        QCOMPARE(area->background().color(), QColor(100, 100, 100));
        QCOMPARE(area->background().style(), Qt::SolidPattern);
        QCOMPARE(area->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    }

    void toggles_data()
    {
        QTest::addColumn<QString>("actionName");
        QTest::addColumn<QString>("widgetName");
        QTest::newRow("toolbar") << "action_Tool" << "mainToolBar";
        QTest::newRow("status bar") << "action_Status" << "statusBar";
    }

    void toggles()
    {
        QFETCH(QString, actionName);
        QFETCH(QString, widgetName);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QAction *a = action(actionName.toLatin1().constData());
        auto *w = window->findChild<QWidget *>(widgetName);
        QVERIFY(w->isVisible());
        a->trigger();
        QVERIFY(!a->isChecked());
        QVERIFY(!w->isVisible());
        a->trigger();
        QVERIFY(a->isChecked());
        QVERIFY(w->isVisible());
    }

    void versionLabel()
    {
        QLabel *label = nullptr;
        for (QLabel *l : window->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
            if (l->text().startsWith(QLatin1String("ZEP ")))
                label = l;
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("ZEP 1.01测试版"));
        QCOMPARE(label->size(), QSize(230, 40));
        QCOMPARE(label->font().pointSize(), 40);
        QVERIFY(label->font().bold());
        QCOMPARE(label->palette().color(QPalette::Inactive, QPalette::WindowText), QColor(Qt::darkBlue));
        window->showNormal();
        window->resize(800, 600);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE(window->size(), QSize(800, 600));
        QCOMPARE(label->pos(), QPoint(800 - 225, 600 - 80));
        window->resize(640, 480);
        QTRY_COMPARE(label->pos(), QPoint(640 - 225, 480 - 80));
        // The document area lies above the label wherever they overlap.
        const QObjectList &kids = window->children();
        QVERIFY(kids.indexOf(label) < kids.indexOf(window->centralWidget()));
    }

    void firstStartIsMaximisedWithoutRecentFiles()
    {
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        auto *recent = window->findChild<QMenu *>(QStringLiteral("menu_recent"));
        QVERIFY(!recent->menuAction()->isVisible());
    }

    // The start-up steps (questions, failed opens) run once, when the window
    // is on the screen, so that their boxes centre on it; without it, later.
    void startUpWaitsForTheScreen()
    {
        QList<bool> runs, hiddenRuns; // whether the window was on the screen
        QWidget hidden;
        runOnceOnScreen(window.get(), [&] { runs << window->windowHandle()->isExposed(); }, 60000);
        runOnceOnScreen(&hidden, [&] { hiddenRuns << hidden.windowHandle()->isExposed(); }, 300);
        QTest::qWait(100);
        window->show();
        QTRY_COMPARE(runs, QList<bool>{true});
        QTRY_COMPARE(hiddenRuns, QList<bool>{false});
        window->hide();
        window->show();
        QTest::qWait(100);
        QCOMPARE(runs.size(), 1);
    }

    void storedStateIsRestored()
    {
        {
            QSettings settings;
            writeRecentFiles({QStringLiteral("/data/a.txt"), QStringLiteral("/data/b.txt")}, settings);
        }
        window->showNormal();
        window->setGeometry(40, 50, 700, 520);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->close());
        QVERIFY(!QSettings().value(QStringLiteral("geometry")).toByteArray().isEmpty());

        window = std::make_unique<MainWindow>();
        QVERIFY(!(window->windowState() & Qt::WindowMaximized));
        auto *recent = window->findChild<QMenu *>(QStringLiteral("menu_recent"));
        QVERIFY(recent->menuAction()->isVisible());
        emit recent->aboutToShow();
        const QList<QAction *> acts = recent->actions();
        QCOMPARE(acts.at(0)->text(), QStringLiteral("&1 a.txt"));
        QCOMPARE(acts.at(0)->data().toString(), QStringLiteral("/data/a.txt"));
        QCOMPARE(acts.at(1)->text(), QStringLiteral("&2 b.txt"));
        QVERIFY(acts.at(1)->isVisible());
        QVERIFY(!acts.at(2)->isVisible());
    }

    void recentListMovesPathFirst()
    {
        const QStringList start = {"C", "B", "A"};
        QCOMPARE(withRecentFileFirst(start, "B"), QStringList({"B", "C", "A"}));
        QCOMPARE(withRecentFileFirst(start, "C"), start);
        QCOMPARE(withRecentFileFirst(start, "c"), QStringList({"c", "C", "B", "A"}));
        for (int i = 0; i < 7; ++i)
            window->prependToRecentFiles(QStringLiteral("/f%1.txt").arg(i));
        QSettings settings;
        QCOMPARE(readRecentFiles(settings).size(), 7);
        QCOMPARE(readRecentFiles(settings).first(), QStringLiteral("/f6.txt"));
        auto *recent = window->findChild<QMenu *>(QStringLiteral("menu_recent"));
        QVERIFY(recent->menuAction()->isVisible());
        emit recent->aboutToShow();
        int visible = 0;
        for (QAction *a : recent->actions())
            visible += a->isVisible();
        QCOMPARE(visible, MaxRecentFiles);
    }

    void aboutDialog()
    {
        ZEPAbout about(window.get());
        QCOMPARE(about.windowTitle(), QStringLiteral("关于ZEP"));
        QCOMPARE(about.size(), QSize(400, 114));
        auto label = [&about](const char *n) { return about.findChild<QLabel *>(QLatin1String(n)); };
        QCOMPARE(label("label")->text(), QStringLiteral("ZEP 1.01测试版"));
        QCOMPARE(label("label")->pos(), QPoint(80, 10));
        QVERIFY(label("label")->width() >= label("label")->sizeHint().width());
        QCOMPARE(label("label_2")->text(), QStringLiteral("电量分析软件"));
        QVERIFY(!label("label_3")->text().isEmpty());
        QVERIFY(!label("label_4")->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(about.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
        auto *box = about.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok);
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("minimum");
        for (const char *name : {"ZEPIcon.ico", "monitor.png", "pdf.png", "trends.png", "arrow_right-red.png", "stop.png",
                                 "table.png", "line_graph.png", "pie-chart.png", "preview.png", "printer.png",
                                 "copy12.png", "excel.png", "configure.png", "open.png", "save.png", "cascade.png",
                                 "tile_horizontal.png", "tile_vertical.png", "find.png", "find_next.png",
                                 "find_previous.png"})
            QTest::newRow(name) << QStringLiteral(":/png/%1").arg(QLatin1String(name)) << QSize(16, 16);
        QTest::newRow("side panel") << ":/png/sidepanel.jpg" << QSize(131, 430);
        QTest::newRow("configuration") << ":/png/config.png" << QSize(64, 64);
    }

    void pictures()
    {
        QFETCH(QString, path);
        QFETCH(QSize, minimum);
        const QImage image(path);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= minimum.width() && image.height() >= minimum.height());
        // A real picture, not a single colour.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() > 4);
    }

    void aboutCloses_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("OK") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close") << 2;
    }

    void aboutCloses()
    {
        QFETCH(int, how);
        ZEPAbout about(window.get());
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        if (how == 0)
            about.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        else if (how == 1)
            QTest::keyClick(&about, Qt::Key_Escape);
        else
            about.close();
        QVERIFY(!about.isVisible());
    }

    void exitClosesMainWindow()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        action("action_Exit")->trigger();
        QVERIFY(!window->isVisible());
    }
};

ZEP_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
