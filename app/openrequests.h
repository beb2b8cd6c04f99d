#pragma once

// Data files handed to the program from outside: on its command line (a
// file manager's "open with", a terminal) and dropped on its window.

#include <QString>
#include <QStringList>

#include <optional>

class QMimeData;

// What the command line asks of a start: the data files to open, or an
// answer (help, version, a wrong option) to print instead of opening a
// window.
struct CommandLine {
    // Absolute paths, in the order given.
    QStringList files;
    bool answered = false;
    int exitCode = 0;
    // For standard output (help, version) and standard error (mistakes).
    QString output;
    QString error;
};

// arguments as QCoreApplication::arguments() gives them, the program first;
// relative paths are taken from the current directory.
CommandLine readCommandLine(const QStringList &arguments);

// Prints an answered command line; returns its exit code.
int printAnswer(const CommandLine &command);

// Help and version, answered before the program connects to a display, so
// that they work in a terminal without one; empty when the command line is
// left to the widget application. The application object made for this is
// gone again on return.
std::optional<int> answerWithoutDisplay(int &argc, char **argv);

// The files among dropped data: local files that are not folders, in the
// order given. Empty when nothing there can be opened.
QStringList droppedFiles(const QMimeData *data);
