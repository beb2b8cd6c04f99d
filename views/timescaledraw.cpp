#include "views/timescaledraw.h"

#include <qwt_plot.h>
#include <qwt_scale_widget.h>

#include <QDateTime>
#include <QEvent>
#include <QtMath>

#include <cmath>

uint32_t axisSeconds(double value)
{
    // Axis values outside the 64-bit range (or NaN while Qwt is still
    // laying out an empty scale) would make the conversion undefined.
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18)
        return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

namespace {

QString formatPattern(int timeformat)
{
    switch (timeformat) {
    case 0:
        return QStringLiteral("hh:mm");
    case 1:
        return QStringLiteral("hh:mm:ss");
    case 2:
        return QStringLiteral("yyyy-MM-dd");
    case 3:
        return QStringLiteral("hh:mm\nyyyy-MM-dd");
    case 4:
        return QStringLiteral("hh:mm:ss\nyyyy-MM-dd");
    case 5:
        return QStringLiteral("dd/MM/yyyy");
    case 6:
        return QStringLiteral("hh:mm\ndd/MM/yyyy");
    default:
        return QStringLiteral("hh:mm:ss\ndd/MM/yyyy");
    }
}

} // namespace

QString timeLabelPattern(int timeformat, double span)
{
    const QString pattern = formatPattern(timeformat);
    if (std::fabs(span) >= 86400 && !pattern.contains(QLatin1String("dd")))
        return pattern + QStringLiteral("\nyyyy-MM-dd");
    return pattern;
}

QString timeLabelText(double value, int timeformat, double span)
{
    QDateTime time;
    time.setSecsSinceEpoch(axisSeconds(value));
    return time.toString(timeLabelPattern(timeformat, span));
}

QwtText TimeScaleDraw::label(double value) const
{
    // The cache of labels is dropped whenever the scale changes, and with it
    // the span.
    return QwtText(timeLabelText(value, m_timeformat, scaleDiv().range()), QwtText::AutoText);
}

void TimeScaleDraw::setTimeFormat(int timeformat)
{
    m_timeformat = timeformat;
    invalidateCache();
}

QwtScaleDiv TimeScaleEngine::divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                                         double stepSize) const
{
    const TimeStep finest = stepSize == 0.0 ? m_finest : majorTimeStep(stepSize, 1, m_finest);
    const TimeStep major = majorTimeStep(x2 - x1, maxMajorSteps, finest);
    const TimeTicks ticks = timeTicks(qMin(x1, x2), qMax(x1, x2), major, minorTimeStep(major, maxMinorSteps));
    QwtScaleDiv div(qMin(x1, x2), qMax(x1, x2), ticks.minor, {}, ticks.major);
    if (x1 > x2)
        div.invert();
    return div;
}

int fittingMajorSteps(int axisLength, int labelWidth, int maxMajor)
{
    // A gap of a quarter label keeps neighbours apart as text, not just
    // as boxes.
    const int room = qMax(1, labelWidth + labelWidth / 4);
    return qMax(1, qMin(maxMajor, axisLength / room));
}

namespace {

// Fits the bottom axis's major tick count to the canvas's width whenever that
// changes (window resized or tiled, legend grown), when the settings do, and
// when the labels may have changed their width with the span (a date below
// the time once it spans a day).
class TimeTickFitter : public QObject
{
public:
    static constexpr const char *kName = "timeTickFitter";

    explicit TimeTickFitter(QwtPlot *plot)
        : QObject(plot)
        , m_plot(plot)
    {
        setObjectName(QLatin1String(kName));
        plot->canvas()->installEventFilter(this);
        connect(plot->axisWidget(QwtPlot::xBottom), &QwtScaleWidget::scaleDivChanged, this, [this] { refit(); });
    }

    void setMaxMajor(int maxMajor)
    {
        m_maxMajor = maxMajor;
        fit();
    }

    // True when the count changed and the plot needs a replot.
    bool fit()
    {
        const QwtScaleDraw *draw = m_plot->axisScaleDraw(QwtPlot::xBottom);
        const QFont font = m_plot->axisWidget(QwtPlot::xBottom)->font();
        const QwtScaleDiv &div = draw->scaleDiv();
        const int labelWidth = qCeil(qMax(draw->labelSize(font, div.lowerBound()).width(),
                                          draw->labelSize(font, div.upperBound()).width()));
        // A canvas not shown yet has no width of its own.
        const QWidget *canvas = m_plot->canvas();
        const int steps = canvas->isVisible() ? fittingMajorSteps(canvas->width(), labelWidth, m_maxMajor) : m_maxMajor;
        if (steps == m_plot->axisMaxMajor(QwtPlot::xBottom))
            return false;
        m_plot->setAxisMaxMajor(QwtPlot::xBottom, steps);
        return true;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool sized = event->type() == QEvent::Resize || event->type() == QEvent::Show;
        if (sized && watched == m_plot->canvas())
            refit();
        return false;
    }

private:
    // Queued: the plot is in the middle of its layout or of a replot.
    void refit()
    {
        if (fit())
            QMetaObject::invokeMethod(m_plot, "replot", Qt::QueuedConnection);
    }

    QwtPlot *m_plot;
    int m_maxMajor = 10;
};

} // namespace

void setUpTimeAxis(QwtPlot *plot)
{
    plot->setAxisScaleDraw(QwtPlot::xBottom, new TimeScaleDraw());
    plot->setAxisScaleEngine(QwtPlot::xBottom, new TimeScaleEngine());
    new TimeTickFitter(plot);
}

void applyTimeAxisSettings(QwtPlot &plot, int timeformat, int maxMajor)
{
    if (auto *engine = dynamic_cast<TimeScaleEngine *>(plot.axisScaleEngine(QwtPlot::xBottom)))
        engine->setFinestStep(timeFormatResolution(timeformat));
    if (auto *draw = dynamic_cast<TimeScaleDraw *>(plot.axisScaleDraw(QwtPlot::xBottom))) {
        draw->setTimeFormat(timeformat);
        // Labels of another height (one line or two) need another axis height.
        plot.axisWidget(QwtPlot::xBottom)->updateGeometry();
    }
    auto *fitter = dynamic_cast<TimeTickFitter *>(
        plot.findChild<QObject *>(QLatin1String(TimeTickFitter::kName), Qt::FindDirectChildrenOnly));
    if (fitter)
        fitter->setMaxMajor(maxMajor);
    else
        plot.setAxisMaxMajor(QwtPlot::xBottom, maxMajor);
}
