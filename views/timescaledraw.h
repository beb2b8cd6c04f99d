#pragma once

#include "views/timesteps.h"

#include <qwt_scale_draw.h>
#include <qwt_scale_engine.h>

#include <cstdint>

// The date/time pattern for a timeformat setting; unknown values fall back to
// the most detailed two-line form. On an axis that spans a day or more, where
// times of day repeat, a time alone gets the date below it (as "hh:mm" with
// "yyyy-MM-dd" does).
QString timeLabelPattern(int timeformat, double span = 0);
// Axis value truncated to whole seconds since the epoch; values that are not
// finite or beyond 64 bits give 0.
uint32_t axisSeconds(double value);
// Axis value (seconds since the epoch, truncated) as local date and time.
QString timeLabelText(double value, int timeformat, double span = 0);

class TimeScaleDraw : public QwtScaleDraw
{
public:
    TimeScaleDraw() = default;
    QwtText label(double value) const override;
    // The settings' timeformat. Labels are kept until the scale changes, so
    // the ones built so far are dropped.
    void setTimeFormat(int timeformat);

private:
    // The settings' default, until a window applies its settings.
    int m_timeformat = 4;
};

// Divisions at round times of the local clock (see timesteps.h): the finest
// step that takes no more steps than asked and that the labels can tell
// apart, with minor ticks between.
class TimeScaleEngine : public QwtLinearScaleEngine
{
public:
    // What the labels' format tells apart: no major step is finer.
    void setFinestStep(const TimeStep &finest) { m_finest = finest; }

    // A stepSize asked for is taken as the least step.
    QwtScaleDiv divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                            double stepSize = 0.0) const override;

private:
    TimeStep m_finest{TimeStep::Seconds, 1};
};

// How many major steps a time axis of axisLength pixels can take without
// its labels (labelWidth pixels wide) touching, never more than maxMajor.
// The time engine's step is never shorter than the range over the steps
// asked for, so ticks are at least axisLength / steps pixels apart.
int fittingMajorSteps(int axisLength, int labelWidth, int maxMajor);

class QwtPlot;
// Gives the plot's bottom axis the time labels and the time divisions, with
// as many major ticks as its width has room for; call after setCanvas.
void setUpTimeAxis(QwtPlot *plot);
// The settings' timeformat and major tick maximum for the bottom axis: the
// labels are built again, no step is finer than they show, and the tick
// count is fitted to the axis's width.
void applyTimeAxisSettings(QwtPlot &plot, int timeformat, int maxMajor);
