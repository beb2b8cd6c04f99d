#include "analysis/reportmodel.h"

#include "analysis/powerreport.h"
#include "data/localtimetext.h"
#include "data/paramtable.h"
#include "views/timescaledraw.h"

#include <QTextDocument>
#include <QUrl>

#include <cmath>

namespace {

const QString kNoData = QStringLiteral("无数据");

QString fixed(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString percent(double share)
{
    return fixed(100 * share, 2) + QStringLiteral(" %");
}

QString signedPercent(double v)
{
    return (v >= 0 ? QStringLiteral("+") : QString()) + fixed(v, 2) + QStringLiteral(" %");
}

QString duration(uint32_t seconds)
{
    const uint32_t d = seconds / 86400;
    const uint32_t h = seconds / 3600 % 24;
    const uint32_t m = seconds / 60 % 60;
    const uint32_t s = seconds % 60;
    if (d > 0)
        return QStringLiteral("%1 天 %2 小时 %3 分 %4 秒").arg(d).arg(h).arg(m).arg(s);
    if (h > 0)
        return QStringLiteral("%1 小时 %2 分 %3 秒").arg(h).arg(m).arg(s);
    if (m > 0)
        return QStringLiteral("%1 分 %2 秒").arg(m).arg(s);
    return QStringLiteral("%1 秒").arg(s);
}

QString timeText(qint64 t, const QString &pattern = QStringLiteral("yyyy-MM-dd hh:mm:ss"))
{
    return localTimeText(uint32_t(qBound<qint64>(0, t, 0xFFFFFFFFLL)), pattern);
}

QString standardName(PowerStandard s)
{
    return s == PowerStandard::En50160 ? QStringLiteral("EN 50160") : QStringLiteral("GB/T 国家标准");
}

QString verdictText(Verdict v)
{
    switch (v) {
    case Verdict::Pass:
        return QStringLiteral("合格");
    case Verdict::Fail:
        return QStringLiteral("不合格");
    case Verdict::Unknown:
        break;
    }
    return QStringLiteral("无法判断");
}

QString energy(const EnergySums &sums, double wattSeconds, const char *unit)
{
    if (sums.covered <= 0)
        return kNoData;
    return fixed(wattSeconds / 3.6e6, 3) + QLatin1Char(' ') + QLatin1String(unit);
}

const QString kNoPrice = QStringLiteral("未设电价");

QString money(double yuan)
{
    return fixed(yuan, 2) + QStringLiteral(" 元");
}

// The cost of energies by type (W s); false when a type with energy has no
// price.
bool costOf(const double (&imported)[kTariffTypeCount], const TariffTable &table, double *yuan)
{
    *yuan = 0;
    for (int t = 0; t < kTariffTypeCount; ++t) {
        if (imported[t] <= 0)
            continue;
        if (!table.hasPrice(t))
            return false;
        *yuan += kilowattHours(imported[t]) * table.prices[size_t(t)];
    }
    return true;
}

bool anyPrice(const TariffTable &table)
{
    for (int t = 0; t < kTariffTypeCount; ++t) {
        if (table.uses(t) && table.hasPrice(t))
            return true;
    }
    return false;
}

QString demandText(const DemandPeak &peak, bool withDate)
{
    if (!peak.found)
        return kNoData;
    const QString start = withDate ? timeText(peak.start) : timeText(peak.start, QStringLiteral("hh:mm"));
    return QStringLiteral("%1 kW（%2 起）").arg(fixed(peak.watts / 1000, 3), start);
}

QString columnName(int column)
{
    return QString::fromLatin1(ParamTable[column].name).simplified();
}

bool isVoltage(int column)
{
    return column >= 1 && column <= 3;
}

QString rowName(int column)
{
    if (isVoltage(column))
        return columnName(column) + QStringLiteral(" \n电压偏差");
    if (column == 17)
        return columnName(column) + QStringLiteral(" \n频率偏差");
    if (column == 30)
        return columnName(column) + QStringLiteral(" \n三相电压不平衡度");
    return columnName(column) + QStringLiteral(" \n电压总谐波畸变率");
}

QString valueText(double v, int column, const ReportOptions &options)
{
    if (isVoltage(column)) {
        const double deviation = 100 * (v - options.nominalVoltage) / options.nominalVoltage;
        return QStringLiteral("%1 V\n（%2）").arg(fixed(v, 2), signedPercent(deviation));
    }
    if (column == 17)
        return fixed(v, 3) + QStringLiteral(" Hz");
    return fixed(v, 2) + QStringLiteral(" %");
}

QString band(double low, double high, int decimals, const char *unit)
{
    return QStringLiteral("%1～%2 %3").arg(fixed(low, decimals), fixed(high, decimals), QLatin1String(unit));
}

QString limitText(const QualityRow &row, const ReportOptions &options)
{
    const QualityLimits &l = row.limits;
    const bool en = options.standard == PowerStandard::En50160;
    if (isVoltage(row.column) && en)
        return QStringLiteral("±10 %\n（%1）\n≥95 % 窗口；\n-15 %～+10 %\n（%2）\n全部窗口")
            .arg(band(l.low, l.high, 2, "V"), band(l.allLow, l.allHigh, 2, "V"));
    if (isVoltage(row.column))
        return QStringLiteral("±7 %\n（%1）\n全部窗口").arg(band(l.low, l.high, 2, "V"));
    if (row.column == 17 && en) {
        const QString basis = row.basis == QualityRow::TenSeconds ? QStringLiteral("按 10 秒均值") : QStringLiteral("按样本值");
        return QStringLiteral("±1 %\n（%1）\n≥99.5 %；\n-6 %～+4 %\n（%2）\n全部；\n%3")
            .arg(band(l.low, l.high, 3, "Hz"), band(l.allLow, l.allHigh, 3, "Hz"), basis);
    }
    if (row.column == 17)
        return QStringLiteral("±0.2 Hz\n（%1）\n全部窗口").arg(band(l.low, l.high, 3, "Hz"));
    QString text = QStringLiteral("95%值 ≤ %1 %").arg(l.high);
    if (std::isfinite(l.allHigh))
        text += QStringLiteral("，\n最大值 ≤ %1 %").arg(l.allHigh);
    return text;
}

QStringList qualityCells(const QualityRow &row, const ReportOptions &options)
{
    QStringList cells{rowName(row.column), QString::number(row.valid), QString::number(row.invalid),
                      QString::number(row.flagged)};
    if (row.hasData()) {
        cells << valueText(row.maximum, row.column, options) << valueText(row.minimum, row.column, options)
              << valueText(row.mean, row.column, options);
    } else {
        cells << kNoData << kNoData << kNoData;
    }
    cells << (row.counted() > 0 ? valueText(row.p95, row.column, options) : kNoData);
    if (options.standard == PowerStandard::En50160)
        cells << QString::number(row.counted()) << QString::number(row.outside()) << QString::number(row.beyond);
    else
        cells << (row.counted() > 0 ? percent(row.passRate()) : kNoData);
    cells << limitText(row, options) << verdictText(row.verdict);
    return cells;
}

QString eventKindName(int kind)
{
    switch (kind) {
    case VoltageEvent::Dip:
        return QStringLiteral("电压暂降");
    case VoltageEvent::Swell:
        return QStringLiteral("电压暂升");
    default:
        break;
    }
    return QStringLiteral("短时中断");
}

QString eventDuration(const VoltageEvent &e)
{
    switch (e.ending) {
    case VoltageEvent::Recovered:
        break;
    case VoltageEvent::OpenAtEnd:
        return QStringLiteral("≥ %1\n（至范围结束未恢复）").arg(duration(e.duration));
    case VoltageEvent::CutByBreak:
        return QStringLiteral("≥ %1\n（数据间断）").arg(duration(e.duration));
    }
    return duration(e.duration);
}

class Builder
{
public:
    explicit Builder(ReportModel &m)
        : model(m)
    {
    }

    void block(ReportBlock::Kind kind, const QStringList &cells, const QVector<QStringList> &rows = {})
    {
        model.blocks.append(ReportBlock{kind, cells, rows});
    }
    void heading(const QString &text) { block(ReportBlock::Heading, {text}); }
    void row(const QString &label, const QString &value) { block(ReportBlock::Row, {label, value}); }
    void note(const QString &text) { block(ReportBlock::Note, {text}); }

private:
    ReportModel &model;
};

void overview(Builder &b, const PowerReport &r, const QString &fileName, const ReportHeader &header)
{
    const ReportOptions &o = r.options;
    b.heading(QStringLiteral("概况"));
    if (!header.subject.trimmed().isEmpty())
        b.row(QStringLiteral("报告对象"), header.subject.trimmed());
    if (!header.author.trimmed().isEmpty())
        b.row(QStringLiteral("编制"), header.author.trimmed());
    b.row(QStringLiteral("文件"), fileName);
    b.row(QStringLiteral("时间范围"), reportSpanText(r));
    b.row(QStringLiteral("样本数"), QString::number(r.samples));
    if (r.withoutTime > 0)
        b.row(QStringLiteral("时间无效"), QStringLiteral("%1 条记录的时间无法识别，不计入报告").arg(r.withoutTime));
    b.row(QStringLiteral("采样间隔"),
          r.medianStep > 0 ? QStringLiteral("%1 秒（步长中位数）").arg(r.medianStep) : kNoData);
    b.row(QStringLiteral("数据覆盖率"), r.coverage() >= 0 ? percent(r.coverage()) : kNoData);
    b.row(QStringLiteral("数据间断"),
          r.gaps > 0 ? QStringLiteral("%1 处，最长 %2").arg(r.gaps).arg(duration(r.longestGap)) : QStringLiteral("无"));
    if (r.backSteps > 0)
        b.row(QStringLiteral("时间倒退"),
              QStringLiteral("%1 处：倒退处不计时间和电能，样本按各自的时间归入窗口").arg(r.backSteps));
    b.row(QStringLiteral("标准"), standardName(o.standard));
    b.row(QStringLiteral("标称电压"), QStringLiteral("%1 V（线电压 %2 V）")
                                     .arg(o.nominalVoltage)
                                     .arg(fixed(std::sqrt(3.0) * o.nominalVoltage, 2)));
    b.row(QStringLiteral("标称频率"), QStringLiteral("%1 Hz").arg(o.nominalFrequency));
    if (r.samples == 0)
        b.note(QStringLiteral("所选时间范围内没有样本。"));
    b.note(QStringLiteral("参考性评估：基于仪表轮询的有效值，非 A 级测量"));
}

QVector<int> usedTypes(const TariffTable &table)
{
    QVector<int> types;
    for (int t = 0; t < kTariffTypeCount; ++t) {
        if (table.uses(t))
            types.append(t);
    }
    return types;
}

// Each row begins with the type and its energy, for pasting into a bill.
void tariffSection(Builder &b, const PowerReport &r)
{
    b.block(ReportBlock::Subheading, {QStringLiteral("分时电能")});
    if (!r.tariffProblem.isEmpty()) {
        b.note(QStringLiteral("时段设置有误（%1），未分时段计算：%2").arg(tariffFilePath(), r.tariffProblem));
        return;
    }
    const TariffTable &table = r.options.tariff;
    const EnergySums &t = r.total;
    QVector<QStringList> rows;
    for (int type : usedTypes(table)) {
        const double ws = r.tariffImported[type];
        const QString share = t.covered > 0 && t.imported > 0 ? percent(ws / t.imported) : kNoData;
        const bool priced = table.hasPrice(type);
        const QString price = priced ? fixed(table.prices[size_t(type)], 4) + QStringLiteral(" 元/kWh") : kNoPrice;
        const QString cost = t.covered <= 0 ? kNoData : priced ? money(kilowattHours(ws) * table.prices[size_t(type)]) : kNoPrice;
        rows.append({tariffTypeName(type), energy(t, ws, "kWh"), share, price, cost});
    }
    double yuan = 0;
    const bool costKnown = costOf(r.tariffImported, table, &yuan);
    rows.append({QStringLiteral("合计"), energy(t, t.imported, "kWh"),
                 t.covered > 0 && t.imported > 0 ? percent(1) : kNoData, QString(),
                 t.covered <= 0 ? kNoData : costKnown ? money(yuan) : kNoPrice});
    b.block(ReportBlock::Table,
            {QStringLiteral("类型"), QStringLiteral("正向有功电能"), QStringLiteral("占比"),
             QStringLiteral("电价"), QStringLiteral("电费")},
            rows);
    b.note(QStringLiteral("时段按本地时钟（%1）；跨时段边界的采样步长按功率线性插值在边界处切分。").arg(tariffFilePath()));
}

void energySection(Builder &b, const PowerReport &r)
{
    const EnergySums &t = r.total;
    b.heading(QStringLiteral("电能"));
    b.row(QStringLiteral("正向有功电能"), energy(t, t.imported, "kWh"));
    b.row(QStringLiteral("反向有功电能"), energy(t, t.exported, "kWh"));
    b.row(QStringLiteral("净有功电能"), energy(t, t.net(), "kWh"));
    b.row(QStringLiteral("无功电能"), energy(t, t.reactive, "kvarh"));
    b.row(QStringLiteral("视在电能"), energy(t, t.apparent, "kVAh"));
    b.row(QStringLiteral("平均功率因数"),
          t.covered > 0 && t.apparent != 0 ? fixed(t.net() / t.apparent, 3) : kNoData);
    b.row(QStringLiteral("最大需量"), demandText(r.peak, true));
    tariffSection(b, r);
    if (r.days.size() < 2)
        return;
    // A span of years (a time line that read as 2106 makes one) lists only
    // its days with data.
    const bool everyDay = r.days.size() <= kListedDayLimit;
    const QVector<int> types = r.tariffProblem.isEmpty() ? usedTypes(r.options.tariff) : QVector<int>();
    const bool priced = !types.isEmpty() && anyPrice(r.options.tariff);
    int skipped = 0;
    QVector<QStringList> rows;
    for (const DayFigures &d : r.days) {
        if (!everyDay && d.covered <= 0) {
            ++skipped;
            continue;
        }
        const qint64 length = d.end - d.start;
        QStringList row{d.date.toString(QStringLiteral("yyyy-MM-dd")), energy(d.sums, d.sums.imported, "kWh")};
        for (int type : types)
            row << energy(d.sums, d.tariffImported[type], "kWh");
        double yuan = 0;
        if (priced)
            row << (d.sums.covered <= 0 ? kNoData : costOf(d.tariffImported, r.options.tariff, &yuan) ? money(yuan) : kNoPrice);
        row << energy(d.sums, d.sums.exported, "kWh") << energy(d.sums, d.sums.reactive, "kvarh")
            << demandText(d.peak, false) << (length > 0 ? percent(d.covered / double(length)) : kNoData);
        rows.append(row);
    }
    QStringList header{QStringLiteral("日期"), QStringLiteral("正向有功电能")};
    for (int type : types)
        header << QStringLiteral("其中%1").arg(tariffTypeName(type));
    if (priced)
        header << QStringLiteral("电费");
    header << QStringLiteral("反向有功电能") << QStringLiteral("无功电能") << QStringLiteral("最大需量")
           << QStringLiteral("数据覆盖率");
    b.block(ReportBlock::Table, header, rows);
    if (skipped > 0)
        b.note(QStringLiteral("另有 %1 天没有数据，未列出。").arg(skipped));
}

void qualitySection(Builder &b, const PowerReport &r)
{
    b.heading(QStringLiteral("电能质量"));
    QVector<QStringList> rows;
    for (const QualityRow &row : r.quality)
        rows.append(qualityCells(row, r.options));
    QStringList header{QStringLiteral("参数"), QStringLiteral("有效\n窗口"), QStringLiteral("无效\n窗口"),
                       QStringLiteral("标记\n窗口"), QStringLiteral("最大值"), QStringLiteral("最小值"),
                       QStringLiteral("平均值"), QStringLiteral("95%\n概率值")};
    if (r.options.standard == PowerStandard::En50160)
        header << QStringLiteral("N") << QStringLiteral("N1") << QStringLiteral("N2");
    else
        header << QStringLiteral("合格率");
    header << QStringLiteral("限值") << QStringLiteral("结论");
    b.block(ReportBlock::Table, header, rows);
    b.row(QStringLiteral("总结论"), verdictText(r.overall));
    b.note(QStringLiteral("每 10 分钟（本地时钟）一个窗口，取窗口内样本的方均根值；样本数不足应有数一半的窗口无效，"
                          "应有数按窗口内各处的采样间隔计。含电压暂降、暂升或短时中断的窗口为标记窗口：计入最大值、最小值和平均值，"
                          "不计入 95%概率值、%1。")
               .arg(r.options.standard == PowerStandard::En50160
                        ? QStringLiteral("N、N1、N2 和结论（N 为未标记的有效窗口数，N1 为超出 95 % 限值的窗口数，"
                                         "N2 为超出全部窗口限值的窗口数；合格：N1/N 不超过允许比例且 N2 = 0）")
                        : QStringLiteral("合格率和结论")));
    if (r.chart.isEmpty())
        return;
    b.block(ReportBlock::Chart, {QStringLiteral("UA、UB、UC 的 10 分钟值与限值")});
}

QStringList durationHeader(const QString &first)
{
    return {first, QStringLiteral("0.01 ≤ t ≤ 0.2 s"), QStringLiteral("0.2 < t ≤ 0.5 s"), QStringLiteral("0.5 < t ≤ 1 s"),
            QStringLiteral("1 < t ≤ 5 s"), QStringLiteral("5 < t ≤ 60 s"), QStringLiteral("t > 60 s")};
}

QStringList classRow(const QString &label, const int (&counts)[kDurationColumns], const EventTable &table)
{
    QStringList row{label};
    for (int c = 0; c < kDurationColumns; ++c)
        row << (table.measurable[c] ? QString::number(counts[c]) : QStringLiteral("—"));
    return row;
}

// The events in the classes of EN 50160.
void eventTables(Builder &b, const PowerReport &r)
{
    const EventTable &t = r.eventTable;
    b.block(ReportBlock::Subheading, {QStringLiteral("电压暂降与短时中断（按 EN 50160 分类，三相合并）")});
    const char *const dipRows[kDipRows] = {"90 > u ≥ 80 %", "80 > u ≥ 70 %", "70 > u ≥ 40 %", "40 > u ≥ 5 %",
                                           "5 % > u"};
    QVector<QStringList> rows;
    for (int i = 0; i < kDipRows; ++i)
        rows.append(classRow(QString::fromUtf8(dipRows[i]), t.dips[i], t));
    b.block(ReportBlock::Table, durationHeader(QStringLiteral("剩余电压 u")), rows);
    b.block(ReportBlock::Subheading, {QStringLiteral("电压暂升（按 EN 50160 分类，三相合并）")});
    rows = {classRow(QStringLiteral("120 % > u > 110 %"), t.swells[0], t),
            classRow(QStringLiteral("u ≥ 120 %"), t.swells[1], t)};
    b.block(ReportBlock::Table, durationHeader(QStringLiteral("电压 u")), rows);
    QString note = QStringLiteral("u 为事件中各相的最低（暂升为最高）电压占标称电压的百分比，t 为持续时间。");
    if (r.medianStep > 0)
        note += QStringLiteral("短于采样间隔（%1 秒）的持续时间无法从轮询值测得，相应列显示“—”；"
                               "因数据间断或范围结束而测得不足一个采样间隔的事件按一个采样间隔计。")
                    .arg(r.medianStep);
    b.note(note);
}

void eventSection(Builder &b, const PowerReport &r)
{
    b.heading(QStringLiteral("电压事件"));
    for (int k = 0; k < kEventKindCount; ++k)
        b.row(eventKindName(k), QStringLiteral("%1 次").arg(r.eventCounts[k]));
    eventTables(b, r);
    if (r.events.isEmpty())
        return;
    b.block(ReportBlock::Subheading, {QStringLiteral("事件列表（按相）")});
    QVector<QStringList> rows;
    const int listed = qMin(r.events.size(), kListedEventLimit);
    for (int i = 0; i < listed; ++i) {
        const VoltageEvent &e = r.events[i];
        rows.append({eventKindName(e.kind), columnName(e.phase + 1), timeText(e.start), eventDuration(e),
                     fixed(double(e.extreme), 2) + QStringLiteral(" V")});
    }
    b.block(ReportBlock::Table,
            {QStringLiteral("类型"), QStringLiteral("相"), QStringLiteral("开始"), QStringLiteral("持续时间"),
             QStringLiteral("极值")},
            rows);
    if (listed < r.events.size())
        b.note(QStringLiteral("只列出前 %1 个事件，其余 %2 个未列出。").arg(listed).arg(r.events.size() - listed));
}

// A cell's line breaks are kept; a verdict stands out by its colour.
QString cellHtml(const QString &text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    if (text == verdictText(Verdict::Fail))
        return QStringLiteral("<span style=\"color:#c00000; font-weight:bold\">%1</span>").arg(html);
    if (text == verdictText(Verdict::Pass))
        return QStringLiteral("<span style=\"color:#207020\">%1</span>").arg(html);
    return html;
}

QString htmlRow(const QStringList &cells, const char *tag)
{
    QString html = QStringLiteral("<tr>");
    for (const QString &c : cells)
        html += QStringLiteral("<%1 style=\"white-space:nowrap\">%2</%1>").arg(QLatin1String(tag), cellHtml(c));
    return html + QStringLiteral("</tr>");
}

} // namespace

QString reportSpanText(const PowerReport &report)
{
    return QStringLiteral("%1 至 %2").arg(timeText(report.start), timeText(report.end));
}

ReportModel buildReportModel(const PowerReport &report, const QString &fileName, const ReportHeader &header)
{
    ReportModel model;
    Builder b(model);
    b.block(ReportBlock::Title, {QStringLiteral("电能质量报告")});
    overview(b, report, fileName, header);
    energySection(b, report);
    qualitySection(b, report);
    eventSection(b, report);
    return model;
}

QString reportText(const ReportModel &model)
{
    QString text;
    for (const ReportBlock &block : model.blocks) {
        if (block.kind == ReportBlock::Chart)
            continue;
        for (const QStringList &line : QVector<QStringList>{block.cells} + block.rows)
            text += line.join(QLatin1Char('\t')).remove(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return text;
}

QString reportHtml(const ReportModel &model, const QString &chartName, int chartWidth, int chartHeight)
{
    const QString table = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                                         "style=\"border-collapse:collapse; border-color:#909090\">");
    QString html = QStringLiteral("<html><body>");
    bool inRows = false;
    for (const ReportBlock &block : model.blocks) {
        if (inRows && block.kind != ReportBlock::Row) {
            html += QStringLiteral("</table>");
            inRows = false;
        }
        const QString first = cellHtml(block.cells.value(0));
        switch (block.kind) {
        case ReportBlock::Title:
            html += QStringLiteral("<h1 align=\"center\">%1</h1>").arg(first);
            break;
        case ReportBlock::Heading:
            html += QStringLiteral("<h2>%1</h2>").arg(first);
            break;
        case ReportBlock::Subheading:
            html += QStringLiteral("<h3>%1</h3>").arg(first);
            break;
        case ReportBlock::Note:
            html += QStringLiteral("<p>%1</p>").arg(first);
            break;
        case ReportBlock::Row:
            if (!inRows)
                html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
            inRows = true;
            html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(first, cellHtml(block.cells.value(1)));
            break;
        case ReportBlock::Table:
            html += table + htmlRow(block.cells, "th");
            for (const QStringList &row : block.rows)
                html += htmlRow(row, "td");
            html += QStringLiteral("</table>");
            break;
        case ReportBlock::Chart:
            html += QStringLiteral("<p><img src=\"%1\" width=\"%2\" height=\"%3\"><br>%4</p>")
                        .arg(chartName)
                        .arg(chartWidth)
                        .arg(chartHeight)
                        .arg(first);
            break;
        }
    }
    if (inRows)
        html += QStringLiteral("</table>");
    return html + QStringLiteral("</body></html>");
}

QString reportChartName()
{
    return QStringLiteral("zep-report-chart.png");
}

void fillReportDocument(QTextDocument *document, const ReportModel &model, const QImage &chart)
{
    document->addResource(QTextDocument::ImageResource, QUrl(reportChartName()), chart);
    const qreal ratio = chart.devicePixelRatio();
    document->setHtml(reportHtml(model, reportChartName(), qRound(chart.width() / ratio), qRound(chart.height() / ratio)));
}

std::unique_ptr<QTextDocument> reportDocument(const ReportModel &model, const QImage &chart)
{
    auto document = std::make_unique<QTextDocument>();
    fillReportDocument(document.get(), model, chart);
    return document;
}
