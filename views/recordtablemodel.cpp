#include "views/recordtablemodel.h"

#include "views/tablecells.h"

RecordTableModel::RecordTableModel(const SampleRecord *rows, int rowCount, QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(rows)
    , m_rowCount(rows ? qMax(rowCount, 0) : 0)
{
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QString RecordTableModel::text(int row, int column) const
{
    return cellText(m_rows[row], column, m_times);
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rowCount || index.column() >= kColumnCount)
        return QVariant();
    return text(index.row(), index.column());
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return headerLabel(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}
