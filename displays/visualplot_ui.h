// Shared plotting of the visual displays: the panels' graphs as QCustomPlot
// objects, with the styles the displays need (thin translucent lines, small
// points, bars, notes) that the plain plot calls do not offer.
#pragma once

#include <QColor>
#include <QString>
#include <QVector>

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

// An alpha that keeps a line or point cloud of `count` pieces readable: opaque
// for a few, fainter as they pile up, so the density shows.
int DensityAlpha(long count, long opaque_below, int floor);

// Replots one graph when it is next painted (the rest of the panel stays).
void ReplotLater(QCustomPlot* plot);

// Whole graphs of a panel stacked top to bottom into one PNG at twice their
// size, written atomically. 0, or -1 after a message naming the file.
int SavePlotsPng(const QVector<QCustomPlot*>& plots, const char* path);
