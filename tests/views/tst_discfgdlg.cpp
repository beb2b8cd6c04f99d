#include "data/appconfig.h"
#include "views/colorselbutton.h"
#include "views/discfgdlg.h"
#include "views/timescaledraw.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>

Q_DECLARE_METATYPE(Qt::MouseButton)

class TestDisCfgDlg : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    template <typename T>
    static T *child(QWidget *dlg, const char *name)
    {
        return dlg->findChild<T *>(QLatin1String(name));
    }

    static QPushButton *dialogButton(QWidget *dlg, QDialogButtonBox::StandardButton which)
    {
        return child<QDialogButtonBox>(dlg, "buttonBox")->button(which);
    }

    // The dialog deletes itself on close; the pointer follows it.
    static QPointer<DisCfgDlg> openDialog()
    {
        QPointer<DisCfgDlg> dlg = new DisCfgDlg;
        dlg->show();
        if (!QTest::qWaitForWindowExposed(dlg))
            qWarning("dialog not exposed");
        return dlg;
    }

    static void closeAndDelete(QPointer<DisCfgDlg> &dlg)
    {
        if (dlg)
            dlg->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private slots:
    void init() { zeptest::freshSettings(dir, true); }

    void okWithoutChangeStoresNothing()
    {
        QPointer<DisCfgDlg> dlg = openDialog();
        QSignalSpy changed(dlg.data(), &DisCfgDlg::update_discfg);
        dialogButton(dlg, QDialogButtonBox::Ok)->click();
        QCOMPARE(changed.count(), 0);
        QVERIFY(!QFile::exists(configFilePath()));
        QVERIFY(!dlg || !dlg->isVisible());
        closeAndDelete(dlg);
        QVERIFY(!dlg);
    }

    void defaultsThenCancelLeaveSettings()
    {
        AppConfig.disp.timeformat = 1;
        AppConfig.disp.yAxis_scale = 0;
        AppConfig.disp.yHigh = 42;
        AppConfig.disp.para_on[3] = false;
        AppConfig.disp.para_red[3] = 7;
        const DisplayConfig before = AppConfig.disp;
        QPointer<DisCfgDlg> dlg = openDialog();
        QVERIFY(!dlg->parameterCheckBox(3)->isChecked());
        QVERIFY(child<QLineEdit>(dlg, "lineEdit_high")->isEnabled());

        child<QPushButton>(dlg, "pushButton_default")->click();
        DisplayConfig defaults{};
        defaultDisplayConfig(defaults);
        QVERIFY(dlg->formSettings() == defaults);
        QCOMPARE(child<QComboBox>(dlg, "combo_timedis")->currentText(), QStringLiteral("hh:mm:ss yy-MM-dd"));
        QVERIFY(!child<QLineEdit>(dlg, "lineEdit_high")->isEnabled());

        dialogButton(dlg, QDialogButtonBox::Cancel)->click();
        QVERIFY(AppConfig.disp == before);
        QVERIFY(!QFile::exists(configFilePath()));
        closeAndDelete(dlg);
    }

    void storedAsTheFormCanShow_data()
    {
        QTest::addColumn<int>("timeformat");
        QTest::addColumn<int>("xMaxMajor");
        QTest::addColumn<int>("shownTimeformat");
        QTest::addColumn<int>("shownXMajor");
        QTest::addColumn<bool>("changed");
        QTest::newRow("in range") << 7 << 3 << 7 << 3 << false;
        QTest::newRow("xMaxMajor 0 becomes 1") << 4 << 0 << 4 << 1 << true;
        QTest::newRow("xMaxMajor 11 becomes 10") << 4 << 11 << 4 << 10 << true;
        QTest::newRow("timeformat 8 becomes -1") << 8 << 10 << -1 << 10 << true;
        QTest::newRow("timeformat -5 becomes -1") << -5 << 10 << -1 << 10 << true;
    }

    void storedAsTheFormCanShow()
    {
        QFETCH(int, timeformat);
        QFETCH(int, xMaxMajor);
        QFETCH(int, shownTimeformat);
        QFETCH(int, shownXMajor);
        QFETCH(bool, changed);
        AppConfig.disp.timeformat = timeformat;
        AppConfig.disp.xMaxMajor = xMaxMajor;
        QPointer<DisCfgDlg> dlg = openDialog();
        QSignalSpy emitted(dlg.data(), &DisCfgDlg::update_discfg);
        QCOMPARE(child<QComboBox>(dlg, "combo_timedis")->currentIndex(), shownTimeformat);
        QCOMPARE(child<QSpinBox>(dlg, "spinBox_xMajor")->value(), shownXMajor);
        dialogButton(dlg, QDialogButtonBox::Ok)->click();
        QCOMPARE(AppConfig.disp.timeformat, shownTimeformat);
        QCOMPARE(AppConfig.disp.xMaxMajor, shownXMajor);
        QCOMPARE(emitted.count(), changed ? 1 : 0);
        QCOMPARE(QFile::exists(configFilePath()), changed);
        closeAndDelete(dlg);
        if (changed) {
            AppConfig = AppConfigRecord{};
            readConfig();
            QCOMPARE(AppConfig.disp.timeformat, shownTimeformat);
            QCOMPARE(AppConfig.disp.xMaxMajor, shownXMajor);
        }
    }

    void unknownTimeFormatShowsFallback()
    {
        AppConfig.disp.timeformat = 12;
        QPointer<DisCfgDlg> dlg = openDialog();
        dialogButton(dlg, QDialogButtonBox::Ok)->click();
        closeAndDelete(dlg);
        QCOMPARE(AppConfig.disp.timeformat, -1);
        const uint32_t t = uint32_t(QDateTime(QDate(2018, 4, 20), QTime(15, 30, 20)).toSecsSinceEpoch());
        TimeScaleDraw draw;
        draw.setTimeFormat(AppConfig.disp.timeformat);
        QCOMPARE(draw.label(t).text(), QStringLiteral("15:30:20\n20/04/2018"));
    }

    void autoRangeDisablesLimitsButKeepsTexts()
    {
        AppConfig.disp.yAxis_scale = 0;
        QPointer<DisCfgDlg> dlg = openDialog();
        auto *low = child<QLineEdit>(dlg, "lineEdit_low");
        auto *high = child<QLineEdit>(dlg, "lineEdit_high");
        QVERIFY(low->isEnabled() && high->isEnabled());
        QTest::mouseClick(child<QRadioButton>(dlg, "radioButton_auto"), Qt::LeftButton);
        QVERIFY(!low->isEnabled() && !high->isEnabled());
        low->setText(QStringLiteral("-12.5"));
        high->setText(QStringLiteral("many"));
        dialogButton(dlg, QDialogButtonBox::Ok)->click();
        QCOMPARE(AppConfig.disp.yAxis_scale, 1);
        QCOMPARE(AppConfig.disp.yLow, -12.5);
        QCOMPARE(AppConfig.disp.yHigh, 0.0);
        closeAndDelete(dlg);

        dlg = openDialog();
        QTest::mouseClick(child<QRadioButton>(dlg, "radioButton_fixed"), Qt::LeftButton);
        QVERIFY(child<QLineEdit>(dlg, "lineEdit_low")->isEnabled());
        closeAndDelete(dlg);
    }

    void colourChoice_data()
    {
        QTest::addColumn<int>("which"); // -2 grid, -1 background, else store index
        QTest::addColumn<Qt::MouseButton>("mouse");
        QTest::addColumn<bool>("accept");
        QTest::newRow("grid, left") << -2 << Qt::LeftButton << true;
        QTest::newRow("background, right") << -1 << Qt::RightButton << true;
        QTest::newRow("first curve, middle") << 0 << Qt::MiddleButton << true;
        QTest::newRow("last curve, right") << 30 << Qt::RightButton << true;
        QTest::newRow("cancelled") << 16 << Qt::LeftButton << false;
    }

    void colourChoice()
    {
        QFETCH(int, which);
        QFETCH(Qt::MouseButton, mouse);
        QFETCH(bool, accept);
        QPointer<DisCfgDlg> dlg = openDialog();
        ColorSelButton *button = which == -2 ? dlg->gridColorButton()
                                 : which == -1 ? dlg->backgroundColorButton()
                                               : dlg->parameterColorButton(which);
        const QColor before = button->color();
        const QColor chosen(12, 34, 56);
        QString title;
        QColor offered;
        zeptest::ModalWatch<QColorDialog> watch([&](QColorDialog *colors) {
            title = colors->windowTitle();
            offered = colors->currentColor();
            colors->setCurrentColor(chosen);
            if (accept)
                colors->accept();
            else
                colors->reject();
        });
        QTest::mouseRelease(button, mouse, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(watch.seen);
        QCOMPARE(title, QStringLiteral("颜色选择"));
        QCOMPARE(offered, before);
        QCOMPARE(button->color(), accept ? chosen : before);

        dialogButton(dlg, QDialogButtonBox::Ok)->click();
        closeAndDelete(dlg);
        const DisplayConfig &d = AppConfig.disp;
        const QColor stored = which == -2   ? QColor(d.grid_red, d.grid_green, d.grid_blue)
                              : which == -1 ? QColor(d.back_red, d.back_green, d.back_blue)
                                            : QColor(d.para_red[which], d.para_green[which], d.para_blue[which]);
        QCOMPARE(stored, accept ? chosen : before);
    }

    void visibilityStored()
    {
        QPointer<DisCfgDlg> dlg = openDialog();
        dlg->parameterCheckBox(30)->setChecked(false);
        QSignalSpy emitted(dlg.data(), &DisCfgDlg::update_discfg);
        dialogButton(dlg, QDialogButtonBox::Ok)->click();
        QCOMPARE(emitted.count(), 1);
        closeAndDelete(dlg);
        QVERIFY(!AppConfig.disp.para_on[30]);
        QVERIFY(AppConfig.disp.para_on[29]);
        AppConfig = AppConfigRecord{};
        readConfig();
        QVERIFY(!AppConfig.disp.para_on[30]);
    }

    void parameterRowsFitTheirGroup()
    {
        QPointer<DisCfgDlg> dlg = openDialog();
        QCOMPARE(dlg->size(), QSize(741, 430));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        auto *group = child<QGroupBox>(dlg, "groupBox_para");
        const QList<QWidget *> rows = group->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(rows.size(), 3 * 31);
        for (QWidget *w : rows)
            QVERIFY(QRect(QPoint(0, 0), group->size()).contains(w->geometry()));
        closeAndDelete(dlg);
    }
};

ZEP_TEST_MAIN(TestDisCfgDlg)
#include "tst_discfgdlg.moc"
