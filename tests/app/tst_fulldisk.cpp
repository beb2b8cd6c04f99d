// Every writer of a file the user keeps. On a full disk it reports the
// failure, the file that was there stays whole and nothing else is left.
// Through a link to a private file it writes that file: the link stays a
// link and the file stays private.

#include "analysis/csvexport.h"
#include "analysis/snapshot.h"
#include "app/journalrecovery.h"
#include "realtime/livejournal.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "views/timespan.h"
#include "data/datafiletestutil.h"
#include "testsupport.h"

#include <QLabel>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

// Leaves the working directory and the mounts as they were, however a case ends.
struct Mounted {
    QString path;
    ~Mounted()
    {
        zeptest::enterWorkDir();
        umount2(qPrintable(path), MNT_DETACH);
    }
};

enum Kind { DataSave, RecoverySave, Settings, Pdf, Workbook, Csv, JournalNote };

// One writer of the program with what it needs, set up in folder; target
// is the file it writes.
struct Writer {
    Writer(int kind, const QString &name, const QString &folder)
        : kind(kind)
        , target(QDir(folder).filePath(name))
    {
        QDir().mkpath(folder + QStringLiteral("/config"));
        span.last = data->count - 1;
        if (kind == Settings)
            QDir::setCurrent(folder);
        if (kind == RecoverySave)
            zeptest::writeSampleFile(left, 50);
        if (kind == JournalNote) {
            journal = std::make_unique<LiveJournal>(folder);
            journal->appendPoll(1525586601, SampleRecord());
            target = LiveJournal::savedNoteFor(journal->path());
        }
        const float values[kValueCount] = {};
        for (int r = 0; kind == DataSave && r < 50; ++r)
            series.appendPoll(1525586601 + r, values);
    }
    ~Writer() { zeptest::enterWorkDir(); }

    // Whether the writer reported success.
    bool write()
    {
        zeptest::MessageBoxLog boxes;
        boxes.start();
        QLabel window(QStringLiteral("PDF"));
        RealPlot plot(AppConfig.disp, series);
        plot.setSaveFileNameProvider([this] { return target; });
        switch (kind) {
        case DataSave:
            return plot.saveData() == RealPlot::SaveResult::Saved;
        case RecoverySave:
            return writeRecoveredJournal(inspectJournal(left), target);
        case Settings:
            return writeConfig();
        case Pdf:
            return writeSnapshotPdf(&window, target);
        case Workbook:
            return exportSpan(*data, span, target).ok();
        case Csv:
            return exportSpanCsv(*data, span, target).ok();
        default:
            return journal->markSaved({1, 1525586601, QStringLiteral("/saved.txt")});
        }
    }

    int kind;
    QString target;
    SignalData series;
    std::unique_ptr<DataFile> data = zeptest::sampleDataFile(50);
    SpanDecision span;
    std::unique_ptr<LiveJournal> journal;
    const QString left = zeptest::sandbox().filePath(QStringLiteral("left.txt"));
};

class TestFullDisk : public QObject
{
    Q_OBJECT

    static void writers()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("data save") << int(DataSave) << "saved.txt";
        QTest::newRow("recovery save") << int(RecoverySave) << "journal.txt";
        QTest::newRow("settings") << int(Settings) << "config/config.ini";
        QTest::newRow("PDF") << int(Pdf) << "window.pdf";
        QTest::newRow("workbook") << int(Workbook) << "book.xlsx";
        QTest::newRow("CSV") << int(Csv) << "span.csv";
        // Named after the journal it belongs to.
        QTest::newRow("journal note") << int(JournalNote) << "";
    }

private slots:
    void earlierFileStaysWhole_data() { writers(); }

    void earlierFileStaysWhole()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QTemporaryDir disk;
        if (mount("tmpfs", qPrintable(disk.path()), "tmpfs", 0, "size=200k") != 0)
            QSKIP("no small file system to fill: mounting a tmpfs needs root");
        const Mounted mounted{disk.path()};
        Writer writer(kind, name, disk.path());
        QVERIFY(zeptest::writeBytes(writer.target, "earlier\n"));
        std::ofstream(qPrintable(disk.filePath(QStringLiteral(".filler")))) << std::string(1 << 20, 'x');
        const QDir folder = QFileInfo(writer.target).dir();
        const QStringList files = folder.entryList(QDir::Files | QDir::Hidden);

        QVERIFY(!writer.write());
        QCOMPARE(zeptest::readBytes(writer.target), QByteArray("earlier\n"));
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), files);
    }

    void writesThroughALinkKeepingTheMode_data() { writers(); }

    void writesThroughALinkKeepingTheMode()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QTemporaryDir dir;
        Writer writer(kind, name, dir.filePath(QStringLiteral("lv")));
        const QString real = dir.filePath(QStringLiteral("real/") + QFileInfo(writer.target).fileName());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")) && zeptest::writeBytes(real, "earlier\n"));
        QCOMPARE(::chmod(qPrintable(real), 0600), 0);
        const QString relative = QFileInfo(writer.target).dir().relativeFilePath(real);
        QCOMPARE(::symlink(qPrintable(relative), qPrintable(writer.target)), 0);

        QVERIFY(writer.write());
        QCOMPARE(QFileInfo(writer.target).symLinkTarget(), real);
        QVERIFY(QFileInfo(real).size() > 0 && zeptest::readBytes(real) != "earlier\n");
        struct stat written;
        QVERIFY(::stat(qPrintable(real), &written) == 0 && (written.st_mode & 07777) == 0600);
    }
};

ZEP_TEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
