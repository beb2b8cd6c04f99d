// Every writer of a file the user keeps, on a full disk: it reports the
// failure, the file that was there stays whole and nothing else is left.

#include "analysis/snapshot.h"
#include "app/journalrecovery.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "data/datafiletestutil.h"
#include "testsupport.h"

#include <QLabel>

#include <sys/mount.h>

#include <fstream>
#include <numeric>

// Leaves the working directory and the mounts as they were, however a case ends.
struct Mounted {
    QString path;
    ~Mounted()
    {
        zeptest::enterWorkDir();
        umount2(qPrintable(path), MNT_DETACH);
    }
};

class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void earlierFileStaysWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("live series") << QStringLiteral("saved.txt");
        QTest::newRow("recovered journal") << QStringLiteral("journal.txt");
        QTest::newRow("PDF") << QStringLiteral("window.pdf");
        QTest::newRow("settings") << QStringLiteral("config/config.ini");
    }

    void earlierFileStaysWhole()
    {
        QFETCH(QString, name);
        QTemporaryDir disk;
        if (mount("tmpfs", qPrintable(disk.path()), "tmpfs", 0, "size=200k") != 0)
            QSKIP("no small file system to fill: mounting a tmpfs needs root");
        const Mounted mounted{disk.path()};
        const QString target = disk.filePath(name);
        QVERIFY(QDir(disk.path()).mkpath(QStringLiteral("config")) && zeptest::writeBytes(target, "earlier\n"));
        const QString journal = zeptest::sandbox().filePath(QStringLiteral("left.txt"));
        QVERIFY(zeptest::writeSampleFile(journal, 50));
        for (int r = 0; r < 50; ++r) {
            float values[kValueCount];
            std::iota(values, values + kValueCount, float(r * kValueCount));
            SignalData::instance().appendPoll(1525586601 + r, values);
        }
        std::ofstream(qPrintable(disk.filePath(QStringLiteral(".filler")))) << std::string(1 << 20, 'x');

        bool written = false;
        zeptest::MessageBoxLog boxes;
        boxes.start();
        if (name == QLatin1String("saved.txt")) {
            RealPlot plot(AppConfig.disp);
            plot.setSaveFileNameProvider([target] { return target; });
            written = plot.saveData() == RealPlot::SaveResult::Saved;
        } else if (name == QLatin1String("journal.txt")) {
            written = writeRecoveredJournal(inspectJournal(journal), target);
        } else if (name == QLatin1String("window.pdf")) {
            QLabel window(QStringLiteral("PDF"));
            written = writeSnapshotPdf(&window, target);
        } else {
            QVERIFY(QDir::setCurrent(disk.path()));
            writeConfig();
        }
        QVERIFY(!written);
        QCOMPARE(zeptest::readBytes(target), QByteArray("earlier\n"));
        QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files), QStringList{QFileInfo(target).fileName()});
    }
};

ZEP_TEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
