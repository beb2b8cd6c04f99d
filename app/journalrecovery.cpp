#include "app/journalrecovery.h"

#include "data/atomicfile.h"
#include "data/localtimetext.h"
#include "realtime/livejournal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The writer's record: a time line and seven value lines.
constexpr int kLinesPerRecord = 8;

bool isTimeLine(const QByteArray &line)
{
    return line.count('/') == 2 && line.count(':') == 2;
}

uint32_t timeOfLine(const QByteArray &line)
{
    return QDateTime::fromString(QString::fromLatin1(line).simplified(), QStringLiteral("yyyy/MM/dd hh:mm:ss"))
        .toTime_t();
}

QString spanTime(uint32_t time)
{
    return localTimeText(time, QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

QString spanText(const JournalSummary &journal)
{
    return spanTime(journal.firstTime) + QStringLiteral(" -> ") + spanTime(journal.lastTime);
}

// A box centred on its window, wide enough for some lines of its text to
// stay whole. QMessageBox places itself before it knows its size, so a
// long text would start at the window's centre and grow from there; and
// on a small screen it wraps lines at any space.
class QuestionBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;
    QStringList unbrokenLines;

protected:
    void showEvent(QShowEvent *event) override
    {
        for (QLabel *label : findChildren<QLabel *>()) {
            if (label->text() != text())
                continue;
            int width = 0;
            for (const QString &line : unbrokenLines)
                width = qMax(width, label->fontMetrics().horizontalAdvance(line));
            label->setMinimumWidth(width + 2);
        }
        QMessageBox::showEvent(event);
        const QWidget *over = parentWidget() ? parentWidget()->window() : nullptr;
        if (!over || !over->isVisible())
            return;
        const QRect screen = over->screen()->availableGeometry();
        const QPoint corner = over->geometry().center() - QPoint(width() / 2, height() / 2);
        move(qBound(screen.left(), corner.x(), screen.right() - width()),
             qBound(screen.top(), corner.y(), screen.bottom() - height()));
    }
};

struct LeftJournal {
    JournalSummary summary;
    std::unique_ptr<QLockFile> lock;
};

// Takes the lock of every journal no running instance holds, so that a
// second instance started meanwhile leaves them alone too.
std::vector<LeftJournal> lockLeftJournals(const QString &folder)
{
    std::vector<LeftJournal> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({LiveJournal::fileNamePattern()}, QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(name);
        auto lock = std::make_unique<QLockFile>(LiveJournal::lockFileFor(path));
        // A lock counts as left behind only when its process is gone, not
        // because it is old: acquisitions run for weeks.
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            continue;
        found.push_back({inspectJournal(path), std::move(lock)});
    }
    std::stable_sort(found.begin(), found.end(), [](const LeftJournal &a, const LeftJournal &b) {
        return a.summary.firstTime < b.summary.firstTime;
    });
    return found;
}

} // namespace

JournalSummary inspectJournal(const QString &path)
{
    JournalSummary summary;
    summary.path = path;
    summary.hasMeter = LiveJournal::readMeterNote(path, &summary.meter);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return summary;
    const LiveJournal::SavedNote saved = LiveJournal::readSavedNote(path);
    int allRecords = 0;
    qint64 offset = 0;
    int linesInRecord = -1;
    QByteArray recordTimeLine;
    QByteArray lastTimeLine;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line.isEmpty())
            break;
        offset += line.size();
        // A line without its break is where the writer stopped.
        if (!line.endsWith('\n'))
            break;
        if (isTimeLine(line)) {
            linesInRecord = 1;
            recordTimeLine = line;
        } else if (linesInRecord > 0) {
            ++linesInRecord;
        }
        if (linesInRecord == kLinesPerRecord) {
            ++allRecords;
            summary.completeBytes = offset;
            linesInRecord = -1;
            if (allRecords == saved.records && timeOfLine(recordTimeLine) == saved.lastTime) {
                // Everything so far is in the saved file.
                summary.savedRecords = allRecords;
                summary.savedTo = saved.savedTo;
                summary.startBytes = offset;
                summary.records = 0;
                continue;
            }
            if (summary.records == 0)
                summary.firstTime = timeOfLine(recordTimeLine);
            lastTimeLine = recordTimeLine;
            ++summary.records;
        }
    }
    if (summary.records > 0)
        summary.lastTime = timeOfLine(lastTimeLine);
    return summary;
}

QStringList leftJournals(const QString &folder)
{
    QStringList paths;
    for (const LeftJournal &j : lockLeftJournals(folder))
        paths.append(j.summary.path);
    return paths;
}

bool writeRecoveredJournal(const JournalSummary &journal, const QString &target)
{
    const QFileInfo source(journal.path);
    const QFileInfo destination(target);
    if (destination.exists() && destination.canonicalFilePath() == source.canonicalFilePath())
        return false;
    QFile in(journal.path);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(journal.startBytes))
        return false;
    AtomicFile out(target);
    if (!out.open())
        return false;
    qint64 left = journal.completeBytes - journal.startBytes;
    while (left > 0) {
        const QByteArray block = in.read(qMin<qint64>(left, 1 << 20));
        if (block.isEmpty() || out.write(block) != block.size())
            return false;
        left -= block.size();
    }
    return out.commit();
}

QString recoveryQuestionText(const JournalSummary &journal)
{
    // The span on a line of its own, which the box is wide enough for.
    const QString whose = journal.hasMeter
                              ? QStringLiteral("电表“%1”（地址 %2）").arg(journal.meter.name, QString::number(journal.meter.addr))
                              : QString();
    QString text = QStringLiteral("上次运行留下了%1未保存的实时数据，%2条记录：\n%3\n")
                       .arg(whose, QString::number(journal.records), spanText(journal));
    if (journal.savedRecords > 0) {
        text += QStringLiteral("（此前的%1条记录已保存到%2，不在其中。）\n")
                    .arg(journal.savedRecords)
                    .arg(QDir::toNativeSeparators(journal.savedTo));
    }
    return text + QStringLiteral("需要保存数据吗？");
}

QString journalFailureText(const QString &path)
{
    return QStringLiteral("无法写入实时数据备份文件%1，采集继续进行，但程序意外退出时这些数据无法恢复。")
        .arg(QDir::toNativeSeparators(path));
}

QString savedRecordsText(int records, const QString &fileName)
{
    return QStringLiteral("已保存 %1 条记录到 %2").arg(records).arg(QDir::toNativeSeparators(fileName));
}

void offerJournals(QWidget *parent, const QString &folder, const std::function<QString()> &askFileName,
                   const std::function<void(const JournalSummary &journal, const QString &fileName)> &saved)
{
    for (const LeftJournal &journal : lockLeftJournals(folder)) {
        const JournalSummary &j = journal.summary;
        if (j.records == 0) {
            LiveJournal::removeFiles(j.path);
            continue;
        }
        QuestionBox box(QMessageBox::Question, QStringLiteral("提示"), recoveryQuestionText(j),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Ignore, parent);
        // The first line, which names the meter, and the span.
        box.unbrokenLines = QStringList{recoveryQuestionText(j).section(QLatin1Char('\n'), 0, 0), spanText(j)};
        box.button(QMessageBox::Ignore)->setText(QStringLiteral("以后再说"));
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Ignore);
        box.exec();
        const QAbstractButton *clicked = box.clickedButton();
        if (clicked == box.button(QMessageBox::Discard)) {
            LiveJournal::removeFiles(j.path);
        } else if (clicked == box.button(QMessageBox::Save)) {
            const QString target = askFileName();
            if (target.isEmpty())
                continue;
            if (writeRecoveredJournal(j, target)) {
                LiveJournal::removeFiles(j.path);
                if (saved)
                    saved(j, target);
            } else {
                QMessageBox::warning(parent, QStringLiteral("错误"),
                                     QStringLiteral("无法写入文件%1，数据未保存。").arg(QDir::toNativeSeparators(target)),
                                     QMessageBox::Ok);
            }
        }
    }
}
