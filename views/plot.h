#pragma once

#include "data/samplerecord.h"
#include "views/recordseries.h"
#include "views/trendplot.h"

#include <cstdint>

class QwtPlotZoomer;
class CurveTracker;

// The trend plot of a data file: one curve per measured quantity over the
// file's whole span, with the tracker, rubber-band zoom (left drag; right
// click one step back, Control + right click back to the whole file) and
// panning with the middle button.
class Plot : public TrendPlot
{
    Q_OBJECT

public:
    // count >= 1. The curves read the records themselves, which must
    // outlive the plot. allocate gives the memory of what the plot finds in
    // the records at open (see RecordSource).
    Plot(const SampleRecord *records, int count, const DisplayConfig &display, QWidget *parent = nullptr,
         const SummaryAllocator &allocate = {});
    ~Plot() override;

    uint32_t startTime() const { return m_startTime; }
    uint32_t endTime() const { return m_endTime; }
    // False when memory ran short for what the plot finds in the records
    // at open: it then shows no curve and should not be shown.
    bool complete() const { return m_complete; }
    QwtPlotZoomer *zoomer() const { return m_zoomer; }
    CurveTracker *tracker() const { return m_tracker; }

public slots:
    void setxRange(uint32_t starttime, uint32_t endtime);

protected:
    // Shows the whole file; zoom steps are discarded.
    void settingsApplied(const DisplayConfig &display) override;
    void shownCurvesChanged() override;

private:
    uint32_t m_startTime = 0;
    uint32_t m_endTime = 0;
    bool m_complete = false;
    QwtPlotZoomer *m_zoomer = nullptr;
    CurveTracker *m_tracker = nullptr;
    bool m_fitShownCurves = false;
};
