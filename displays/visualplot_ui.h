// Shared plotting of the visual displays: the panels' graphs as QCustomPlot
// objects, with the styles the displays need (thin translucent lines, small
// points, bars, notes) that the plain plot calls do not offer.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

#include <cstdint>
#include <vector>

#include "shell/qcustomplot_ui.h"

// The graph control of a loaded panel; nullptr when it is none.
QCustomPlot* DisplayPlot(int panel, int control);

// Loads a fresh copy of a display panel into *panel_handle (a copy still
// loaded is discarded first) and centres it. 0, or -1 after a message.
int LoadDisplay(int* panel_handle, int resource);
// Discards the panel and clears its handle.
void CloseDisplay(int* panel_handle);

// Axis captions and colours of a display graph.
void LabelAxes(QCustomPlot* plot, const QString& x_label, const QString& y_label);
// A line of text centred in the plot area (the reason a display is empty);
// an empty text removes it.
void ShowNote(QCustomPlot* plot, const QString& text);

// A parametric curve (points in order): a thin cosmetic line, NaN points
// leaving gaps between pieces; with dot_size > 0 only points of that size.
QCPCurve* AddCurve(QCustomPlot* plot, const QVector<QCPCurveData>& points, const QColor& colour,
                   double dot_size = 0.0);

// Many thin translucent lines or dots drawn as one image: every pixel takes the
// colour as often as the lines or dots cross it, as if each were blended on
// its own, but the cost is the pixels touched (see ClearDensity). The image is
// made again when the axis ranges or the plot's size change.
class DensityPlottable : public QCPAbstractPlottable {
public:
    enum Kind { TRACES, PATH, DOTS };
    DensityPlottable(QCustomPlot* plot, Kind kind, const QColor& colour, int dot_size = 1);
    ~DensityPlottable() override;

    // The data are copied. TRACES: `traces` lines of `length` values, trace t
    // from values[starts[t]], value j of each at x = j * x_step. PATH: the line
    // through (x[k], y[k]), NaN ending a piece. DOTS: the points (x[k], y[k]).
    void SetTraces(const float* values, const int32_t* starts, int32_t traces, int32_t length,
                   double x_step);
    void SetPoints(const float* x, const float* y, int32_t n);
    int32_t Points() const { return static_cast<int32_t>(y_.size()); }
    int32_t Traces() const { return traces_; }

    double selectTest(const QPointF&, bool, QVariant* = nullptr) const override { return -1.0; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain domain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool& found, QCP::SignDomain domain = QCP::sdBoth,
                           const QCPRange& key_range = QCPRange()) const override;

protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

private:
    void Rasterise(int width, int height);

    Kind kind_;
    QColor colour_;
    int dot_size_;
    std::vector<float> x_, y_;
    int32_t traces_ = 0, length_ = 0;
    double x_step_ = 1.0;
    QCPRange x_range_, y_range_;    // of the finite data, for rescaling
    bool has_range_ = false;
    QImage image_;
    QCPRange drawn_x_, drawn_y_;    // the view image_ shows, at drawn_size_ device pixels
    QSize drawn_size_;
};

// An alpha that keeps a line or point cloud of `count` pieces readable: opaque
// for a few, fainter as they pile up, so the density shows.
int DensityAlpha(long count, long opaque_below, int floor);

// Replots one graph when it is next painted (the rest of the panel stays).
void ReplotLater(QCustomPlot* plot);

// Whole graphs of a panel stacked top to bottom into one PNG at twice their
// size, written atomically. 0, or -1 after a message naming the file.
int SavePlotsPng(const QVector<QCustomPlot*>& plots, const char* path);
