// Qt's own texts (standard buttons, file dialogs) are Chinese, as the
// program's are, once the start-up has installed Qt's translation.

#include "app/appinfo.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // scripts/packages.txt brings qttranslations5-l10n.
        QVERIFY2(installQtTranslation(*qApp), "qtbase_zh_CN.qm not found");
    }

    // The buttons of the save question of the real-time window.
    void questionButtons()
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("需要保存数据吗？"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("是(&Y)"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("否(&N)"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    }

    void dialogButtons()
    {
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    }

    // Qt's own file dialog, as the open and save flows show it where the
    // platform has none of its own.
    void fileDialog()
    {
        QFileDialog dialog(nullptr, QStringLiteral("数据保存为"), QString(), QStringLiteral("数据文件(*.txt)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        QStringList texts;
        for (QLabel *label : dialog.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY2(texts.contains(QStringLiteral("查找范围：")), qPrintable(texts.join(QLatin1Char('|'))));
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    }
};

ZEP_TEST_MAIN(TestTranslation)
#include "tst_translation.moc"
