#include "views/mytableview.h"

#include "data/datafile.h"
#include "views/recordtablemodel.h"
#include "views/tablecells.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>

MyTableView::MyTableView(DataFile *file, QWidget *parent)
    : QTableView(parent)
    , m_dataFile(file)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    // Qt would keep rows as tall as the font asks for.
    verticalHeader()->setMinimumSectionSize(20);
    verticalHeader()->setDefaultSectionSize(20);
    // A row holds one line: a text too wide would wrap out of sight, and
    // be measured wrapped at the view's width.
    setWordWrap(false);
    loadRows(-1, -1);
}

MyTableView::~MyTableView() = default;

void MyTableView::loadRows(int first, int last)
{
    const int count = int(m_dataFile->count);
    const int start = qBound(0, first, count);
    int rows = last < 0 ? count : last - first + 1;
    rows = qBound(0, rows, count - start);

    auto *model = new RecordTableModel(m_dataFile->records + start, rows, this);
    QItemSelectionModel *oldSelection = selectionModel();
    RecordTableModel *oldModel = m_model;
    m_model = model;
    setModel(model);
    delete oldSelection;
    delete oldModel;

    fitColumns();
}

void MyTableView::fitColumns()
{
    const QVector<int> widths = fittedColumnWidths(
        m_model->rowCount(), [this](int column) { return horizontalHeader()->sectionSizeHint(column); },
        [this](int row, int column) {
            // The grid line takes the last pixel of each cell.
            return sizeHintForIndex(m_model->index(row, column)).width() + (showGrid() ? 1 : 0);
        });
    for (int c = 0; c < kColumnCount; ++c)
        setColumnWidth(c, widths[c]);
}

int MyTableView::firstRecord() const
{
    return int(m_model->rows() - m_dataFile->records);
}

int MyTableView::shownRecords() const
{
    return m_model->rowCount();
}

QString MyTableView::timeText(int row) const
{
    return m_model->text(row, 0);
}

void MyTableView::setxRange(uint32_t starttime, uint32_t endtime)
{
    const SampleRecord *records = m_dataFile->records;
    const int count = int(m_dataFile->count);
    int first = 0;
    if (count > 0 && records[0].time < starttime) {
        while (first < count && records[first].time < starttime)
            ++first;
    }
    int last = count - 1;
    while (last > 0 && records[last].time > endtime)
        --last;
    loadRows(first, last);
}

void MyTableView::find(double value, double band, int para)
{
    m_findValue = value;
    m_findBand = band;
    m_findPara = para;
    m_findStarted = true;
    findNext(true);
}

void MyTableView::findNext(bool forward)
{
    const QModelIndex current = currentIndex();
    TableCell from;
    if (current.isValid())
        from = {current.row(), current.column()};
    const TableCell found = findCell(m_model->rows(), m_model->rowCount(), FindMatcher(m_findValue, m_findBand),
                                     m_findPara, forward, from);
    clearSelection();
    if (!found.isValid())
        return;
    const QModelIndex index = m_model->index(found.row, found.column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

void MyTableView::recFindDlgPos(int x, int y)
{
    m_findDlgX = x;
    m_findDlgY = y;
}

QString MyTableView::selectionText() const
{
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty())
        return QString();
    // One rectangle in this selection mode; its ranges cover it.
    int top = selection.first().top();
    int bottom = selection.first().bottom();
    int left = selection.first().left();
    int right = selection.first().right();
    for (const QItemSelectionRange &range : selection) {
        top = qMin(top, range.top());
        bottom = qMax(bottom, range.bottom());
        left = qMin(left, range.left());
        right = qMax(right, range.right());
    }
    return QString::fromUtf8(copyText(m_model->rows(), top, bottom, left, right));
}

void MyTableView::copySelection() const
{
    const QString text = selectionText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}
