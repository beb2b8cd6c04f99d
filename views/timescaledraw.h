#pragma once

#include <qwt_scale_draw.h>

#include <cstdint>

// The date/time pattern for a timeformat setting; unknown values fall back to
// the most detailed two-line form.
QString timeLabelPattern(int timeformat);
// Axis value truncated to whole seconds since the epoch; values that are not
// finite or beyond 64 bits give 0.
uint32_t axisSeconds(double value);
// Axis value (seconds since the epoch, truncated) as local date and time.
QString timeLabelText(double value, int timeformat);
// Seconds since the epoch as local "yyyy-MM-dd hh:mm:ss".
QString localTimeText(uint32_t seconds);

class TimeScaleDraw : public QwtScaleDraw
{
public:
    TimeScaleDraw() = default;
    QwtText label(double value) const override;
};
