#include "analysis/spanstatistics.h"

#include <QStandardItemModel>

#include <algorithm>
#include <limits>

void SpanProgress::advance(qint64 pos)
{
    const int percent = n == 1 ? 100 : int(pos * 100 / (n - 1));
    report(percent);
    next = percent >= 100 ? n : (qint64(percent + 1) * (n - 1) + 99) / 100;
}

SpanStatistics spanStatistics(const SampleRecord *records, int first, int last,
                              const std::function<void(int percent)> &progress)
{
    SpanStatistics stats;
    const int n = last - first + 1;
    if (n <= 0)
        return stats;

    // A value that is no number is no value: it never passes a comparison,
    // and adds nothing.
    double sum[kValueCount] = {};
    int values[kValueCount] = {};
    std::fill(stats.minimum, stats.minimum + kValueCount, std::numeric_limits<float>::infinity());
    std::fill(stats.maximum, stats.maximum + kValueCount, -std::numeric_limits<float>::infinity());

    SpanProgress progressed(n, progress);
    for (int pos = 0; pos < n; ++pos) {
        const SampleRecord &record = records[first + pos];
        if (record.hasTime()) {
            ++stats.samples;
            for (int k = 0; k < kValueCount; ++k) {
                const float v = record.values[k];
                const bool number = v == v;
                if (v > stats.maximum[k])
                    stats.maximum[k] = v;
                if (v < stats.minimum[k])
                    stats.minimum[k] = v;
                sum[k] += number ? double(v) : 0.0;
                values[k] += number;
            }
        }
        progressed.done(pos);
    }
    for (int k = 0; k < kValueCount; ++k) {
        if (values[k] == 0) {
            stats.minimum[k] = stats.maximum[k] = stats.average[k] = SampleRecord::kMissingValue;
            continue;
        }
        stats.average[k] = float(sum[k] / values[k]);
    }
    return stats;
}

void setUpStatisticsModel(QStandardItemModel *model)
{
    model->setColumnCount(4);
    model->setHorizontalHeaderLabels({QStringLiteral("参数"), QStringLiteral("最小值"), QStringLiteral("最大值"),
                                      QStringLiteral("平均值")});
}

void fillStatisticsModel(QStandardItemModel *model, const SpanStatistics &stats)
{
    auto number = [](float v) {
        return new QStandardItem(SampleRecord::isMissing(v) ? QString() : QString::number(double(v), 'g', 6));
    };
    for (int k = 0; k < kValueCount; ++k) {
        auto *name = new QStandardItem(QString::fromLatin1(ParamTable[k + 1].name).simplified());
        name->setTextAlignment(Qt::AlignCenter);
        model->setItem(k, 0, name);
        model->setItem(k, 1, number(stats.minimum[k]));
        model->setItem(k, 2, number(stats.maximum[k]));
        model->setItem(k, 3, number(stats.average[k]));
    }
}

QString modelText(const QAbstractItemModel &model)
{
    QString text;
    auto appendLine = [&text](const QStringList &fields) {
        text += fields.join(QLatin1Char('\t'));
        text += QLatin1Char('\n');
    };
    QStringList fields;
    for (int c = 0; c < model.columnCount(); ++c)
        fields << model.headerData(c, Qt::Horizontal).toString();
    appendLine(fields);
    for (int r = 0; r < model.rowCount(); ++r) {
        fields.clear();
        for (int c = 0; c < model.columnCount(); ++c)
            fields << model.index(r, c).data().toString();
        appendLine(fields);
    }
    return text;
}
