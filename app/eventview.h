#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class QStandardItemModel;

namespace Ui {
class EventView;
}

// A log of the frames exchanged with the meter, one row per message, shown
// while it is open.
class EventView : public QWidget
{
    Q_OBJECT

public:
    // acquiring tells whether a sampling thread exists when a message arrives
    // (the thread column shows 0 otherwise).
    explicit EventView(QWidget *parent = nullptr, std::function<bool()> acquiring = {});
    ~EventView() override;

    QStandardItemModel *model() const { return itemModel; }

public slots:
    void addMessage(const QString &message);

private:
    std::unique_ptr<Ui::EventView> ui;
    QStandardItemModel *itemModel = nullptr;
    std::function<bool()> hasSamplingThread;
};

// A new log of window, shown near the top right corner of its screen.
EventView *openEventView(QWidget *window, std::function<bool()> acquiring);
