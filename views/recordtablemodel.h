#pragma once

#include "data/localtimetext.h"
#include "data/samplerecord.h"

#include <QAbstractTableModel>

// Rows of consecutive samples of a data file, formatted on demand.
class RecordTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    RecordTableModel(const SampleRecord *rows, int rowCount, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const SampleRecord *rows() const { return m_rows; }
    QString text(int row, int column) const;

private:
    const SampleRecord *m_rows;
    int m_rowCount;
    mutable LocalTimeFormatter m_times;
};
