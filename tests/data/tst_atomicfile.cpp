// The one way a file is replaced: whole, or not at all.

#include "data/atomicfile.h"
#include "data/datafiletestutil.h"
#include "testsupport.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

// While it lives, no file may grow past limit bytes: a write across the
// limit comes back short and the next one fails, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
        : previous(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = limit ? limit : saved.rlim_cur;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }

private:
    void (*previous)(int);
    rlimit saved;
};

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void replacesOnlyWhenWhole_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("limit");
        // Pieces of 400 bytes are buffered; those of 100,000 go out at once.
        QTest::newRow("small pieces") << 200000 << 400 << 0;
        QTest::newRow("large pieces, up to the limit") << 300000 << 100000 << 300000;
        QTest::newRow("only the last buffer fails") << 1000 << 100 << 500;
        QTest::newRow("a full buffer fails") << 200000 << 400 << 100000;
        QTest::newRow("a large piece is cut short") << 300000 << 100000 << 150000;
    }

    void replacesOnlyWhenWhole()
    {
        QFETCH(int, bytes);
        QFETCH(int, piece);
        QFETCH(int, limit);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("target.txt"));
        QVERIFY(zeptest::writeBytes(target, "earlier\n"));
        QByteArray content(bytes, Qt::Uninitialized);
        for (int i = 0; i < bytes; ++i)
            content[i] = char('a' + i % 23);

        bool committed = false;
        {
            const FileSizeLimit sizeLimit{rlim_t(limit)};
            AtomicFile file(target);
            QVERIFY(file.open());
            for (int at = 0; at < bytes; at += piece)
                file.write(content.constData() + at, piece);
            committed = file.commit();
            QCOMPARE(file.errorCode() != 0, !committed);
        }
        QCOMPARE(committed, limit == 0 || limit >= bytes);
        QCOMPARE(zeptest::readBytes(target), committed ? content : QByteArray("earlier\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target.txt")});
    }

    void keepsTheMode_data()
    {
        QTest::addColumn<bool>("earlier");
        QTest::addColumn<int>("mode");
        QTest::newRow("private") << true << 0600;
        QTest::newRow("group-readable") << true << 0640;
        QTest::newRow("executable") << true << 0755;
        // 0666 less the umask, 027 here.
        QTest::newRow("new file") << false << 0640;
    }

    void keepsTheMode()
    {
        QFETCH(bool, earlier);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("target.txt"));
        if (earlier)
            QVERIFY(zeptest::writeBytes(target, "earlier\n") && ::chmod(qPrintable(target), mode_t(mode)) == 0);
        const mode_t mask = ::umask(027);
        const bool written = writeFileAtomically(target, "new\n");
        ::umask(mask);
        struct stat replaced;
        QVERIFY(written && ::stat(qPrintable(target), &replaced) == 0);
        QCOMPARE(int(replaced.st_mode & 07777), mode);
    }
};

ZEP_TEST_MAIN_CORE(TestAtomicFile)
#include "tst_atomicfile.moc"
