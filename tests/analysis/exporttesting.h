#pragma once

// Reading exported workbooks back with an independent reader: openpyxl,
// run by the Python that has it.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace zeptest {

// The Python interpreter that can import openpyxl; empty when there is none.
inline QString openpyxlPython()
{
    static const QString found = [] {
        QStringList candidates{QStringLiteral("/usr/bin/python3")};
        const QString onPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (!onPath.isEmpty())
            candidates.append(onPath);
        for (const QString &python : candidates) {
            QProcess probe;
            probe.start(python, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
            if (probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
                return python;
        }
        return QString();
    }();
    return found;
}

// Every sheet of the workbook: [{"title": ..., "rows": [[cell, ...], ...]}],
// cells as openpyxl reads them (numbers, strings, null). An empty array when
// the file cannot be read; error then says why.
inline QJsonArray readWorkbook(const QString &path, QString *error = nullptr)
{
    // Opened as a stream: openpyxl refuses a name ending in .xls, whatever
    // the file holds.
    static const char script[] = "import json, sys, openpyxl\n"
                                 "book = openpyxl.load_workbook(open(sys.argv[1], 'rb'), read_only=True)\n"
                                 "out = [{'title': s.title, 'rows': [list(r) for r in s.iter_rows(values_only=True)]}\n"
                                 "       for s in book.worksheets]\n"
                                 "json.dump(out, sys.stdout)\n";
    QProcess python;
    python.start(openpyxlPython(), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(python.readAllStandardError());
        return QJsonArray();
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

inline QJsonArray sheetRows(const QJsonArray &book, int sheet)
{
    return book.at(sheet).toObject().value(QStringLiteral("rows")).toArray();
}

} // namespace zeptest
