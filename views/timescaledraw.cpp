#include "views/timescaledraw.h"

#include "data/appconfig.h"

#include <qwt_plot.h>

#include <QDateTime>

#include <cmath>

uint32_t axisSeconds(double value)
{
    // Axis values outside the 64-bit range (or NaN while Qwt is still
    // laying out an empty scale) would make the conversion undefined.
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18)
        return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

QString timeLabelPattern(int timeformat)
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

QString timeLabelText(double value, int timeformat)
{
    QDateTime time;
    time.setSecsSinceEpoch(axisSeconds(value));
    return time.toString(timeLabelPattern(timeformat));
}

QString localTimeText(uint32_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QwtText TimeScaleDraw::label(double value) const
{
    return QwtText(timeLabelText(value, AppConfig.disp.timeformat), QwtText::AutoText);
}

QwtScaleDiv TimeScaleEngine::divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                                         double stepSize) const
{
    // The step Qwt's linear engine would take, raised to one second.
    stepSize = qAbs(stepSize);
    if (stepSize == 0.0)
        stepSize = divideInterval(qAbs(x2 - x1), qMax(maxMajorSteps, 1));
    return QwtLinearScaleEngine::divideScale(x1, x2, maxMajorSteps, maxMinorSteps, qMax(stepSize, kMinimumStep));
}

void setUpTimeAxis(QwtPlot *plot)
{
    plot->setAxisScaleDraw(QwtPlot::xBottom, new TimeScaleDraw());
    plot->setAxisScaleEngine(QwtPlot::xBottom, new TimeScaleEngine());
}
