#pragma once

#include "data/appconfig.h"
#include "data/samplerecord.h"

#include <qwt_plot.h>

#include <QVector>

#include <cstdint>
#include <memory>

class QwtPlotCanvas;
class QwtPlotCurve;
class QwtPlotGrid;
class QwtPlotZoomer;
class CurveSwitch;
class CurveTracker;
class RecordColumns;

// The trend plot of a data file: one curve per measured quantity over the
// file's whole span, with the tracker, rubber-band zoom (left drag; right
// click one step back, Control + right click back to the whole file) and
// panning with the middle button.
class Plot : public QwtPlot
{
    Q_OBJECT

public:
    // count >= 1. The records are copied; the plot does not keep them.
    Plot(const SampleRecord *records, int count, QWidget *parent = nullptr);
    ~Plot() override;

    uint32_t startTime() const { return m_startTime; }
    uint32_t endTime() const { return m_endTime; }
    // False when memory ran short for the plot's copy of the records: the
    // plot then shows no curve and should not be shown.
    bool complete() const { return m_complete; }
    QwtPlotZoomer *zoomer() const { return m_zoomer; }
    CurveTracker *tracker() const { return m_tracker; }
    const QVector<QwtPlotCurve *> &curves() const { return m_curves; }

    // Shows the whole file with these display settings; zoom steps are
    // discarded.
    void setSettings(const DisplayConfig &display);

public slots:
    void applySettings();
    void setxRange(uint32_t starttime, uint32_t endtime);

private:
    // After the legend showed or hid curves.
    void fitShownCurves();

    uint32_t m_startTime = 0;
    uint32_t m_endTime = 0;
    bool m_complete = false;
    QwtPlotCanvas *m_canvas = nullptr;
    QwtPlotZoomer *m_zoomer = nullptr;
    CurveTracker *m_tracker = nullptr;
    QwtPlotGrid *m_grid = nullptr;
    QVector<QwtPlotCurve *> m_curves;
    CurveSwitch *m_curveSwitch = nullptr;
    bool m_fitShownCurves = false;
};
