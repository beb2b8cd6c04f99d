#pragma once

#include "realtime/eventlog.h"

#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class QStandardItemModel;

namespace Ui {
class EventView;
}

// The event log: the lines of the log (today's, read from the log on disk
// when it opens, then each new one) and the frames exchanged with the
// meters, one row each with its time, the meter it is about and its text.
// It follows new rows while its last row is in view; once the user has
// scrolled up, it stays where the user is.
class EventView : public QWidget
{
    Q_OBJECT

public:
    // acquiring tells whether a sampling thread exists when a message arrives
    // (the thread column shows 0 otherwise).
    explicit EventView(QWidget *parent = nullptr, std::function<bool()> acquiring = {});
    ~EventView() override;

    QStandardItemModel *model() const { return itemModel; }

    // Before any other row: lines logged before the window opened, with
    // no thread to show.
    void showEarlierLines(const QVector<EventLine> &lines);

public slots:
    void addLine(const EventLine &line);
    // A line of now, about no meter.
    void addMessage(const QString &message);

private:
    void appendRow(const EventLine &line, const QString &thread);

    std::unique_ptr<Ui::EventView> ui;
    QStandardItemModel *itemModel = nullptr;
    std::function<bool()> hasSamplingThread;
};

// A new log of window, shown near the top right corner of its screen, that
// starts with the earlier lines.
EventView *openEventView(QWidget *window, std::function<bool()> acquiring, const QVector<EventLine> &earlier = {});
