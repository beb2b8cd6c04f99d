#pragma once

// What tests of windows and dialogs share, beside coretesting.h.

#include "app/appinfo.h"
#include "coretesting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace zeptest {

// Watches, while it runs, for modal dialogs of class T (they would block
// the test) and hands each new one to answer().
template <typename T>
class ModalLog
{
public:
    virtual ~ModalLog() = default;

    void start()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(10);
    }
    void stop() { timer.stop(); }

protected:
    virtual void answer(T *dialog) = 0;

private:
    void poll()
    {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || handled.contains(dialog))
            return;
        handled.append(dialog);
        answer(dialog);
    }

    QTimer timer;
    QList<QPointer<T>> handled;
};

// Answers the message boxes and remembers what each one said.
class MessageBoxLog : public ModalLog<QMessageBox>
{
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    // Buttons to press, in order; once used up, the box's default or first
    // button is pressed.
    QList<QMessageBox::StandardButton> answers;
    QList<Box> seen;

protected:
    void answer(QMessageBox *box) override
    {
        seen.append({box->windowTitle(), box->text(), box->standardButtons()});
        QAbstractButton *button = nullptr;
        if (!answers.isEmpty())
            button = box->button(answers.takeFirst());
        if (!button)
            button = box->defaultButton() ? static_cast<QAbstractButton *>(box->defaultButton()) : box->buttons().value(0);
        if (button)
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
    }
};

// Answers the file dialogs as a user typing a name would, and remembers
// each dialog's caption and filters.
class FileDialogLog : public ModalLog<QFileDialog>
{
public:
    struct Dialog {
        QString caption;
        QStringList filters;
    };

    // Names to type, in order (absolute paths); an empty name, or none left,
    // cancels the dialog.
    QStringList answers;
    QList<Dialog> seen;

protected:
    void answer(QFileDialog *dialog) override
    {
        seen.append({dialog->windowTitle(), dialog->nameFilters()});
        const QString name = answers.isEmpty() ? QString() : answers.takeFirst();
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name.isEmpty() || !edit) {
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
            return;
        }
        edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
};

// Runs act on the first modal dialog of class T that comes up while it
// lives; seen tells whether one came.
template <typename T>
class ModalWatch
{
public:
    explicit ModalWatch(std::function<void(T *)> act)
        : act(std::move(act))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || seen)
                return;
            seen = true;
            this->act(dialog);
        });
        timer.start(10);
    }

    bool seen = false;

private:
    std::function<void(T *)> act;
    QTimer timer;
};

} // namespace zeptest

#define ZEP_TEST_MAIN(TestObject) ZEP_TEST_MAIN_WITH(QApplication, TestObject, initZepResources())
