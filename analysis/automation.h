#pragma once

#include <QObject>
#include <QRect>
#include <QVariant>

#include <functional>
#include <memory>

// The rows of a range handed over one at a time, in place of the list of row
// lists a spreadsheet application takes, so that a range of a million rows
// never exists in memory as QVariants. fill receives the row number inside
// the range (0 = its top row) and a list as long as the range is wide, all
// cells invalid (blank); it runs while the workbook is saved.
struct RowStream {
    int rows = 0;
    std::function<void(int row, QVariantList &cells)> fill;
};
Q_DECLARE_METATYPE(RowStream)

// The spreadsheet application as the export sees it through automation. On
// Windows that is the server registered as "Excel.Application", reached with
// QAxObject; this class takes the same calls with the same names, signatures
// and ownership (sub-objects belong to the application object), so that the
// export code reads the same over either and a Windows build can put
// QAxObject behind it. Here the workbook is kept as ranges and written, when
// saved, as an Office Open XML workbook by libxlsxwriter in its
// constant-memory mode, whatever the file name ends in.
//
// Names match as automation matches them: case-insensitively, by the name in
// front of the parameter list. What this server offers:
//   application: SetVisible(bool), Quit(), properties DisplayAlerts and
//                Visible; sub-objects WorkBooks and ActiveWorkBook
//   workbooks:   Add(), Count
//   workbook:    SaveAs(const QString&), Close(); sub-object Sheets
//   sheets:      Count; sub-objects Item(int) (from 1) and
//                Add(QVariant Before, QVariant After), each argument a
//                sheet's asVariant()
//   sheet:       Name; sub-object Range(const QString) ("A1:AF10", "B2")
//   range:       SetValue(const QVariant&) with a list of row lists or a
//                RowStream
// A request that cannot be met emits exception() and returns an invalid
// QVariant or a null sub-object, as QAxObject does.
class AxObject : public QObject
{
    Q_OBJECT

public:
    explicit AxObject(const QString &control, QObject *parent = nullptr);
    ~AxObject() override;

    bool isNull() const;
    QVariant dynamicCall(const char *function, const QVariant &var1 = QVariant(), const QVariant &var2 = QVariant());
    AxObject *querySubObject(const char *name, const QVariant &var1 = QVariant(), const QVariant &var2 = QVariant());
    // Automation properties; hides QObject::setProperty as QAxObject's
    // dynamic properties do.
    bool setProperty(const char *name, const QVariant &value);
    QVariant property(const char *name) const;
    QVariant asVariant() const;

signals:
    void exception(int code, const QString &source, const QString &desc, const QString &help);

private:
    struct Server;
    enum class Kind { Null, Application, Workbooks, Workbook, Sheets, Sheet, Range };

    AxObject(Kind kind, AxObject *application, int book, int sheet, const QRect &cells);
    AxObject *child(Kind kind, int book, int sheet = -1, const QRect &cells = QRect());
    Server &server() const;
    void fail(const QString &source, const QString &description);
    QVariant saveAs(const QString &fileName);
    AxObject *addSheet(const QVariant &before, const QVariant &after);

    Kind kind = Kind::Null;
    AxObject *application = nullptr;
    std::unique_ptr<Server> state;
    int book = -1;
    int sheet = -1;
    QRect cells;
};

// "A1:AF10" as columns x..x+width-1 and rows y..y+height-1 from 0; a single
// cell "B2" is accepted too. A null rectangle for anything else.
QRect parseRange(const QString &text);
