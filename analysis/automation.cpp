#include "analysis/automation.h"

#include "data/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <locale.h>
#include <vector>

namespace {

struct Block {
    QRect cells;
    QVariant value;
};

struct SheetModel {
    int id;
    QString name;
    std::vector<Block> blocks;
};

struct WorkbookModel {
    int id;
    std::vector<SheetModel> sheets;
};

// The part of a call's signature that automation matches on.
QString memberName(const char *signature)
{
    const QString s = QString::fromLatin1(signature);
    return s.left(s.indexOf(QLatin1Char('('))).trimmed();
}

bool is(const QString &member, const char *name)
{
    return member.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// libxlsxwriter formats numbers with snprintf, which follows the C locale of
// the calling thread; under a locale with a decimal comma it would write
// "0,973" into the XML and spoil the workbook.
class NumericCLocale
{
public:
    NumericCLocale()
    {
        locale_t base = duplocale(uselocale(nullptr));
        if (!base)
            return;
        c = newlocale(LC_NUMERIC_MASK, "C", base);
        if (!c) {
            freelocale(base);
            return;
        }
        previous = uselocale(c);
    }
    ~NumericCLocale()
    {
        if (!c)
            return;
        uselocale(previous);
        freelocale(c);
    }
    NumericCLocale(const NumericCLocale &) = delete;
    NumericCLocale &operator=(const NumericCLocale &) = delete;

private:
    locale_t c = nullptr;
    locale_t previous = nullptr;
};

QString xlsxError(lxw_error error)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("内存不足");
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
        return QStringLiteral("无法创建文件");
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("写入文件时出错，磁盘可能已满");
    default:
        return QStringLiteral("电子表格写入错误（代码 %1）").arg(int(error));
    }
}

// Spreadsheets hold no NaN or infinity; written as numbers they would make
// the file unreadable, so such a value is kept as its text.
lxw_error writeCell(lxw_worksheet *sheet, int row, int column, const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
        return LXW_NO_ERROR;
    case QMetaType::Bool:
        return worksheet_write_boolean(sheet, lxw_row_t(row), lxw_col_t(column), value.toBool(), nullptr);
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        const double number = value.toDouble();
        if (std::isfinite(number))
            return worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(column), number, nullptr);
        const char *text = std::isnan(number) ? "nan" : number > 0 ? "inf" : "-inf";
        return worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), text, nullptr);
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        if (text.isEmpty())
            return LXW_NO_ERROR;
        return worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), text.constData(), nullptr);
    }
    }
}

lxw_error writeRow(lxw_worksheet *sheet, const QRect &cells, int row, const QVariantList &values)
{
    const int n = qMin(cells.width(), values.size());
    for (int c = 0; c < n; ++c) {
        const lxw_error e = writeCell(sheet, cells.y() + row, cells.x() + c, values.at(c));
        if (e != LXW_NO_ERROR)
            return e;
    }
    return LXW_NO_ERROR;
}

lxw_error writeBlock(lxw_worksheet *sheet, const Block &block)
{
    const QRect &cells = block.cells;
    if (block.value.userType() == qMetaTypeId<RowStream>()) {
        const RowStream stream = block.value.value<RowStream>();
        QVariantList row;
        row.reserve(cells.width());
        for (int c = 0; c < cells.width(); ++c)
            row.append(QVariant());
        const int rows = qMin(cells.height(), stream.rows);
        for (int r = 0; r < rows; ++r) {
            for (QVariant &v : row)
                v = QVariant();
            stream.fill(r, row);
            const lxw_error e = writeRow(sheet, cells, r, row);
            if (e != LXW_NO_ERROR)
                return e;
        }
        return LXW_NO_ERROR;
    }
    const QVariantList rows = block.value.toList();
    const int n = qMin(cells.height(), rows.size());
    for (int r = 0; r < n; ++r) {
        const lxw_error e = writeRow(sheet, cells, r, rows.at(r).toList());
        if (e != LXW_NO_ERROR)
            return e;
    }
    return LXW_NO_ERROR;
}

// Writes the workbook to path; an empty text on success, otherwise what
// went wrong.
QString writeWorkbook(const WorkbookModel &book, const QString &path)
{
    const QFileInfo target(path);
    if (target.fileName().isEmpty())
        return QStringLiteral("没有文件名");
    if (!QFileInfo(target.absolutePath()).isDir())
        return QStringLiteral("文件夹不存在");
    if (target.isDir())
        return QStringLiteral("已有同名的文件夹");

    const NumericCLocale cNumbers;
    AtomicFile out(path);
    if (!out.open())
        return diskErrorText(out.errorCode());
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *workbook = workbook_new_opt(QFile::encodeName(out.temporaryPath()).constData(), &options);
    if (!workbook)
        return QStringLiteral("无法创建工作簿");

    lxw_error error = LXW_NO_ERROR;
    QString refusedSheet;
    for (const SheetModel &model : book.sheets) {
        lxw_worksheet *sheet = workbook_add_worksheet(workbook, model.name.toUtf8().constData());
        if (!sheet) {
            refusedSheet = model.name;
            break;
        }
        // Constant-memory mode writes rows in order only.
        std::vector<const Block *> blocks;
        for (const Block &b : model.blocks)
            blocks.push_back(&b);
        std::stable_sort(blocks.begin(), blocks.end(),
                         [](const Block *a, const Block *b) { return a->cells.y() < b->cells.y(); });
        for (const Block *b : blocks) {
            error = writeBlock(sheet, *b);
            if (error != LXW_NO_ERROR)
                break;
        }
        if (error != LXW_NO_ERROR)
            break;
    }
    const lxw_error closed = workbook_close(workbook);
    if (error == LXW_NO_ERROR)
        error = closed;
    if (!refusedSheet.isEmpty() || error != LXW_NO_ERROR)
        return refusedSheet.isEmpty() ? xlsxError(error) : QStringLiteral("工作表名称无效：%1").arg(refusedSheet);
    if (!out.commit())
        return diskErrorText(out.errorCode());
    return QString();
}

int columnNumber(const QString &letters)
{
    int n = 0;
    for (const QChar ch : letters)
        n = n * 26 + (ch.toUpper().unicode() - 'A' + 1);
    return n - 1;
}

} // namespace

QRect parseRange(const QString &text)
{
    static const QRegularExpression cell(QStringLiteral("^\\s*([A-Za-z]{1,3})([1-9][0-9]{0,6})\\s*$"));
    const QStringList corners = text.split(QLatin1Char(':'));
    if (corners.isEmpty() || corners.size() > 2)
        return QRect();
    QPoint points[2];
    for (int i = 0; i < 2; ++i) {
        const QRegularExpressionMatch m = cell.match(corners.value(i, corners.first()));
        if (!m.hasMatch())
            return QRect();
        points[i] = QPoint(columnNumber(m.captured(1)), m.captured(2).toInt() - 1);
    }
    if (points[0].x() >= LXW_COL_MAX || points[1].x() >= LXW_COL_MAX || points[0].y() >= int(LXW_ROW_MAX)
        || points[1].y() >= int(LXW_ROW_MAX))
        return QRect();
    return QRect(points[0], points[1]).normalized();
}

struct AxObject::Server {
    bool visible = true;
    bool displayAlerts = true;
    std::vector<WorkbookModel> books;
    int activeBook = -1;
    int nextId = 1;

    WorkbookModel *findBook(int id)
    {
        for (WorkbookModel &b : books) {
            if (b.id == id)
                return &b;
        }
        return nullptr;
    }
    SheetModel *findSheet(int bookId, int sheetId)
    {
        WorkbookModel *b = findBook(bookId);
        if (!b)
            return nullptr;
        for (SheetModel &s : b->sheets) {
            if (s.id == sheetId)
                return &s;
        }
        return nullptr;
    }
    SheetModel newSheet(const WorkbookModel &b)
    {
        int highest = 0;
        for (const SheetModel &s : b.sheets) {
            if (s.name.startsWith(QLatin1String("Sheet")))
                highest = qMax(highest, s.name.mid(5).toInt());
        }
        return SheetModel{nextId++, QStringLiteral("Sheet%1").arg(highest + 1), {}};
    }
};

AxObject::AxObject(const QString &control, QObject *parent)
    : QObject(parent)
{
    if (control.compare(QLatin1String("Excel.Application"), Qt::CaseInsensitive) == 0) {
        kind = Kind::Application;
        application = this;
        state = std::make_unique<Server>();
    }
}

AxObject::AxObject(Kind kind, AxObject *application, int book, int sheet, const QRect &cells)
    : QObject(application)
    , kind(kind)
    , application(application)
    , book(book)
    , sheet(sheet)
    , cells(cells)
{
}

AxObject::~AxObject() = default;

bool AxObject::isNull() const
{
    return kind == Kind::Null;
}

AxObject::Server &AxObject::server() const
{
    return *application->state;
}

AxObject *AxObject::child(Kind childKind, int bookId, int sheetId, const QRect &range)
{
    return new AxObject(childKind, application, bookId, sheetId, range);
}

void AxObject::fail(const QString &source, const QString &description)
{
    emit exception(1, source, description, QString());
}

QVariant AxObject::dynamicCall(const char *function, const QVariant &var1, const QVariant &)
{
    const QString member = memberName(function);
    if (isNull()) {
        fail(member, QStringLiteral("没有可用的电子表格程序"));
        return QVariant();
    }
    if (kind == Kind::Application && is(member, "SetVisible")) {
        server().visible = var1.toBool();
        return QVariant();
    }
    if (kind == Kind::Application && is(member, "Quit")) {
        server().books.clear();
        server().activeBook = -1;
        return QVariant();
    }
    if (kind == Kind::Workbooks && is(member, "Add")) {
        Server &s = server();
        WorkbookModel b{s.nextId++, {}};
        b.sheets.push_back(s.newSheet(b));
        s.books.push_back(std::move(b));
        s.activeBook = s.books.back().id;
        return QVariant();
    }
    if (kind == Kind::Workbook && is(member, "SaveAs"))
        return saveAs(var1.toString());
    if (kind == Kind::Workbook && is(member, "Close")) {
        Server &s = server();
        const auto closed = [this](const WorkbookModel &b) { return b.id == book; };
        s.books.erase(std::remove_if(s.books.begin(), s.books.end(), closed), s.books.end());
        if (s.activeBook == book)
            s.activeBook = s.books.empty() ? -1 : s.books.back().id;
        return QVariant();
    }
    if (kind == Kind::Range && is(member, "SetValue")) {
        SheetModel *target = server().findSheet(book, sheet);
        if (!target) {
            fail(member, QStringLiteral("工作表已不存在"));
            return QVariant();
        }
        target->blocks.push_back(Block{cells, var1});
        return QVariant();
    }
    if (kind != Kind::Null && is(member, "Count"))
        return property("Count");
    fail(member, QStringLiteral("不支持的操作"));
    return QVariant();
}

AxObject *AxObject::querySubObject(const char *name, const QVariant &var1, const QVariant &var2)
{
    const QString member = memberName(name);
    if (isNull()) {
        fail(member, QStringLiteral("没有可用的电子表格程序"));
        return nullptr;
    }
    if (kind == Kind::Application && is(member, "WorkBooks"))
        return child(Kind::Workbooks, -1);
    if (kind == Kind::Application && is(member, "ActiveWorkBook")) {
        if (server().activeBook < 0) {
            fail(member, QStringLiteral("没有打开的工作簿"));
            return nullptr;
        }
        return child(Kind::Workbook, server().activeBook);
    }
    if (kind == Kind::Workbook && is(member, "Sheets")) {
        if (!server().findBook(book)) {
            fail(member, QStringLiteral("工作簿已关闭"));
            return nullptr;
        }
        return child(Kind::Sheets, book);
    }
    if (kind == Kind::Sheets && is(member, "Item")) {
        WorkbookModel *b = server().findBook(book);
        const int index = var1.toInt() - 1;
        if (!b || index < 0 || index >= int(b->sheets.size())) {
            fail(member, QStringLiteral("没有这个工作表"));
            return nullptr;
        }
        return child(Kind::Sheet, book, b->sheets[size_t(index)].id);
    }
    if (kind == Kind::Sheets && is(member, "Add"))
        return addSheet(var1, var2);
    if (kind == Kind::Sheet && is(member, "Range")) {
        const QRect range = parseRange(var1.toString());
        if (range.isNull() || !server().findSheet(book, sheet)) {
            fail(member, QStringLiteral("无效的单元格区域：%1").arg(var1.toString()));
            return nullptr;
        }
        return child(Kind::Range, book, sheet, range);
    }
    fail(member, QStringLiteral("不支持的操作"));
    return nullptr;
}

AxObject *AxObject::addSheet(const QVariant &before, const QVariant &after)
{
    WorkbookModel *b = server().findBook(book);
    if (!b) {
        fail(QStringLiteral("Add"), QStringLiteral("工作簿已关闭"));
        return nullptr;
    }
    auto position = [b](const QVariant &v) -> int {
        const auto *other = qobject_cast<const AxObject *>(v.value<QObject *>());
        if (!other || other->kind != Kind::Sheet)
            return -1;
        for (size_t i = 0; i < b->sheets.size(); ++i) {
            if (b->sheets[i].id == other->sheet)
                return int(i);
        }
        return -1;
    };
    int at = 0;
    if (position(after) >= 0)
        at = position(after) + 1;
    else if (position(before) >= 0)
        at = position(before);
    SheetModel added = server().newSheet(*b);
    const int id = added.id;
    b->sheets.insert(b->sheets.begin() + at, std::move(added));
    return child(Kind::Sheet, book, id);
}

QVariant AxObject::saveAs(const QString &fileName)
{
    const WorkbookModel *b = server().findBook(book);
    if (!b) {
        fail(QStringLiteral("SaveAs"), QStringLiteral("工作簿已关闭"));
        return QVariant();
    }
    const QString error = writeWorkbook(*b, QDir::fromNativeSeparators(fileName));
    if (!error.isEmpty())
        fail(QStringLiteral("SaveAs"), error);
    return QVariant();
}

bool AxObject::setProperty(const char *name, const QVariant &value)
{
    const QString member = memberName(name);
    if (isNull()) {
        fail(member, QStringLiteral("没有可用的电子表格程序"));
        return false;
    }
    if (kind == Kind::Application && is(member, "DisplayAlerts")) {
        server().displayAlerts = value.toBool();
        return true;
    }
    if (kind == Kind::Application && is(member, "Visible")) {
        server().visible = value.toBool();
        return true;
    }
    if (kind == Kind::Sheet && is(member, "Name")) {
        if (SheetModel *s = server().findSheet(book, sheet)) {
            s->name = value.toString();
            return true;
        }
    }
    fail(member, QStringLiteral("不能设置这个属性"));
    return false;
}

QVariant AxObject::property(const char *name) const
{
    if (isNull())
        return QVariant();
    const QString member = memberName(name);
    if (kind == Kind::Application && is(member, "DisplayAlerts"))
        return server().displayAlerts;
    if (kind == Kind::Application && is(member, "Visible"))
        return server().visible;
    if (kind == Kind::Workbooks && is(member, "Count"))
        return int(server().books.size());
    if (kind == Kind::Sheets && is(member, "Count")) {
        const WorkbookModel *b = server().findBook(book);
        return b ? int(b->sheets.size()) : 0;
    }
    if (kind == Kind::Sheet && is(member, "Name")) {
        const SheetModel *s = server().findSheet(book, sheet);
        return s ? s->name : QString();
    }
    return QVariant();
}

QVariant AxObject::asVariant() const
{
    return QVariant::fromValue(static_cast<QObject *>(const_cast<AxObject *>(this)));
}
