// The one way a file is replaced: whole, keeping its mode, or not at all.

#include "data/atomicfile.h"
#include "data/datafiletestutil.h"
#include "coretesting.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void replacesOnlyWhenWhole_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("mode");
        // Pieces of 400 bytes are buffered; those of 100,000 go out at once.
        QTest::newRow("small pieces") << 200000 << 400 << 0 << 0600;
        QTest::newRow("large pieces, up to the limit") << 300000 << 100000 << 300000 << 0755;
        QTest::newRow("only the last buffer fails") << 1000 << 100 << 500 << 0640;
        QTest::newRow("a full buffer fails") << 200000 << 400 << 100000 << 0600;
        QTest::newRow("a large piece is cut short") << 300000 << 100000 << 150000 << 0600;
    }

    void replacesOnlyWhenWhole()
    {
        QFETCH(int, bytes);
        QFETCH(int, piece);
        QFETCH(int, limit);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("target.txt"));
        QVERIFY(zeptest::writeBytes(target, "earlier\n") && ::chmod(qPrintable(target), mode_t(mode)) == 0);
        const QByteArray content = QByteArray("0123456789abcdefghi\n").repeated(bytes / 20);

        // Past the size limit a write comes back short and the next one
        // fails, as on a full disk.
        rlimit unlimited, limited;
        getrlimit(RLIMIT_FSIZE, &unlimited);
        limited = unlimited;
        limited.rlim_cur = limit ? rlim_t(limit) : unlimited.rlim_cur;
        const auto signal = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limited);
        AtomicFile file(target);
        bool committed = file.open();
        for (int at = 0; at < bytes; at += piece)
            file.write(content.constData() + at, piece);
        committed = committed && file.commit();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, signal);

        QCOMPARE(committed, limit == 0 || limit >= bytes);
        QCOMPARE(file.errorCode() != 0, !committed);
        QCOMPARE(zeptest::readBytes(target), committed ? content : QByteArray("earlier\n"));
        struct stat replaced;
        QVERIFY(::stat(qPrintable(target), &replaced) == 0 && int(replaced.st_mode & 07777) == mode);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target.txt")});
    }
};

ZEP_TEST_MAIN_CORE(TestAtomicFile)
#include "tst_atomicfile.moc"
