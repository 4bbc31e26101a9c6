// Graphs, intensity graphs and canvases.
//
// A graph is a QCustomPlot with numbered cursors (crosshairs) that the user
// drags: value changed while dragging, commit on release. Plot handles are
// tagged on the plottables, so any number of plots fits.
#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <limits>

#include "shell/qcustomplot_ui.h"

#include "shell/widgets_ui.h"

namespace {

const char* const plot_tag = "uldo_plot";

class GraphWidget : public QCustomPlot {
public:
    explicit GraphWidget(QWidget* parent) : QCustomPlot(parent) {}
    int panel = 0, serial = 0, control = 0;
    int cursor_count = 0;
    double cursor_x[UIR_MAX_CURSORS] = {};
    double cursor_y[UIR_MAX_CURSORS] = {};
    QCPItemStraightLine* cursor_v[UIR_MAX_CURSORS] = {};
    QCPItemStraightLine* cursor_h[UIR_MAX_CURSORS] = {};
    int next_plot = 1;
    bool auto_x = true, auto_y = true;
    int dragging = -1;
};

class CanvasWidget : public QWidget {
public:
    CanvasWidget(QWidget* parent, int width, int height)
        : QWidget(parent), image(width, height, QImage::Format_RGB32) {
        image.fill(background);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QImage image;
    QRgb background = qRgb(0, 0, 0);
    int batch = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, image);
    }
};

QColor Colour(unsigned rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

void PlaceCursor(GraphWidget* g, int i) {
    g->cursor_v[i]->point1->setCoords(g->cursor_x[i], 0);
    g->cursor_v[i]->point2->setCoords(g->cursor_x[i], 1);
    g->cursor_h[i]->point1->setCoords(0, g->cursor_y[i]);
    g->cursor_h[i]->point2->setCoords(1, g->cursor_y[i]);
}

void DragCursor(GraphWidget* g, const QPointF& pos) {
    int i = g->dragging;
    g->cursor_x[i] = g->xAxis->pixelToCoord(pos.x());
    g->cursor_y[i] = g->yAxis->pixelToCoord(pos.y());
    PlaceCursor(g, i);
    g->replot(QCustomPlot::rpQueuedReplot);
}

void SetUpGraph(GraphWidget* g, const UirControl& def, int panel, int serial) {
    g->panel = panel;
    g->serial = serial;
    g->control = def.number;
    g->setBackground(QColor(32, 32, 32));
    g->axisRect()->setBackground(Qt::black);
    const QColor light(200, 200, 200), grid(64, 64, 64);
    for (QCPAxis* axis : {g->xAxis, g->yAxis}) {
        axis->setBasePen(QPen(light));
        axis->setTickPen(QPen(light));
        axis->setSubTickPen(QPen(light));
        axis->setTickLabelColor(light);
        axis->setLabelColor(light);
        axis->grid()->setPen(QPen(grid, 0, Qt::DotLine));
    }
    g->cursor_count = def.cursors;
    for (int i = 0; i < def.cursors; ++i) {
        QPen pen(QColor(255, 255, 0), 1, Qt::DashLine);
        for (QCPItemStraightLine** line : {&g->cursor_v[i], &g->cursor_h[i]}) {
            *line = new QCPItemStraightLine(g);
            (*line)->setPen(pen);
            (*line)->setLayer(QStringLiteral("overlay"));
            (*line)->setSelectable(false);
        }
        PlaceCursor(g, i);
    }
    QObject::connect(g, &QCustomPlot::mousePress, g, [g](QMouseEvent* e) {
        if (g->cursor_count == 0 || e->button() != Qt::LeftButton) return;
        double best = std::numeric_limits<double>::max();
        for (int i = 0; i < g->cursor_count; ++i) {
            double dx = g->xAxis->coordToPixel(g->cursor_x[i]) - e->position().x();
            double dy = g->yAxis->coordToPixel(g->cursor_y[i]) - e->position().y();
            double d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                g->dragging = i;
            }
        }
        DragCursor(g, e->position());
        RaiseCtrlEvent(g->panel, g->serial, g->control, EVENT_VAL_CHANGED, g->dragging + 1, 0);
    });
    QObject::connect(g, &QCustomPlot::mouseMove, g, [g](QMouseEvent* e) {
        if (g->dragging < 0 || !(e->buttons() & Qt::LeftButton)) return;
        DragCursor(g, e->position());
        RaiseCtrlEvent(g->panel, g->serial, g->control, EVENT_VAL_CHANGED, g->dragging + 1, 0);
    });
    QObject::connect(g, &QCustomPlot::mouseRelease, g, [g](QMouseEvent* e) {
        if (g->dragging < 0) return;
        DragCursor(g, e->position());
        int cursor = g->dragging + 1;
        g->dragging = -1;
        RaiseCtrlEvent(g->panel, g->serial, g->control, EVENT_COMMIT, cursor, 0);
    });
}

int GetGraph(int panel, int control, GraphWidget** out) {
    int kind = CtrlKind(panel, control);
    if (kind < 0) return kind;
    if (kind != KIND_GRAPH && kind != KIND_INTENSITY) return UIE_BAD_TYPE;
    *out = static_cast<GraphWidget*>(CtrlWidget(panel, control));
    return 0;
}

int GetCanvas(int panel, int control, CanvasWidget** out) {
    int kind = CtrlKind(panel, control);
    if (kind < 0) return kind;
    if (kind != KIND_CANVAS) return UIE_BAD_TYPE;
    *out = static_cast<CanvasWidget*>(CtrlWidget(panel, control));
    return 0;
}

bool ValidType(int type) { return type == VAL_DOUBLE || type == VAL_FLOAT || type == VAL_INTEGER; }

QVector<double> Values(const void* data, int type, int count) {
    QVector<double> out(count);
    for (int i = 0; i < count; ++i) {
        switch (type) {
            case VAL_DOUBLE: out[i] = static_cast<const double*>(data)[i]; break;
            case VAL_FLOAT: out[i] = static_cast<const float*>(data)[i]; break;
            default: out[i] = static_cast<const int*>(data)[i]; break;
        }
    }
    return out;
}

void Autoscale(GraphWidget* g) {
    if (g->plottableCount() > 0) {
        if (g->auto_x) g->xAxis->rescale();
        if (g->auto_y) g->yAxis->rescale();
    }
    g->replot(QCustomPlot::rpQueuedReplot);
}

int Tag(GraphWidget* g, QCPAbstractPlottable* plot) {
    int handle = g->next_plot++;
    plot->setProperty(plot_tag, handle);
    Autoscale(g);
    return handle;
}

int AddCurve(int panel, int control, const void* x, const void* y, int count, int x_type,
             int y_type, unsigned color, bool dots) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    if (count < 0 || (count > 0 && (!x || !y))) return UIE_BAD_INDEX;
    if (!ValidType(x_type) || !ValidType(y_type)) return UIE_BAD_TYPE;
    auto* curve = new QCPCurve(g->xAxis, g->yAxis);
    curve->setData(Values(x, x_type, count), Values(y, y_type, count));
    curve->setPen(QPen(Colour(color)));
    if (dots) {
        curve->setLineStyle(QCPCurve::lsNone);
        curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, Colour(color), 3));
    }
    return Tag(g, curve);
}

}  // namespace

QWidget* CreatePlotWidget(const UirControl& def, int panel, int serial, QWidget* parent) {
    if (def.kind == KIND_CANVAS) return new CanvasWidget(parent, def.width, def.height);
    auto* g = new GraphWidget(parent);
    SetUpGraph(g, def, panel, serial);
    if (def.kind == KIND_INTENSITY) {
        g->xAxis->setRange(0, 1);
        g->yAxis->setRange(0, 1);
    }
    return g;
}

void RefreshPlots(QWidget* window) {
    if (!window) return;
    for (QCustomPlot* plot : window->findChildren<QCustomPlot*>()) {
        plot->setViewport(plot->rect());
        plot->replot(QCustomPlot::rpImmediateRefresh);
    }
}

int PlotXY(int panel, int control, const void* x, const void* y, int count, int x_type,
           int y_type, unsigned color) {
    return AddCurve(panel, control, x, y, count, x_type, y_type, color, false);
}

int PlotXYPoints(int panel, int control, const void* x, const void* y, int count, int x_type,
                 int y_type, unsigned color) {
    return AddCurve(panel, control, x, y, count, x_type, y_type, color, true);
}

int PlotY(int panel, int control, const void* y, int count, int y_type, unsigned color) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    if (count < 0 || (count > 0 && !y)) return UIE_BAD_INDEX;
    if (!ValidType(y_type)) return UIE_BAD_TYPE;
    QVector<double> keys(count);
    for (int i = 0; i < count; ++i) keys[i] = i;
    QCPGraph* graph = g->addGraph();
    graph->setData(keys, Values(y, y_type, count), true);
    graph->setPen(QPen(Colour(color)));
    return Tag(g, graph);
}

int PlotIntensity(int panel, int control, const double* z, int columns, int rows,
                  double z_min, double z_max) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    if (!z || columns <= 0 || rows <= 0) return UIE_BAD_INDEX;
    for (int i = g->plottableCount() - 1; i >= 0; --i)
        if (qobject_cast<QCPColorMap*>(g->plottable(i))) g->removePlottable(i);
    auto* map = new QCPColorMap(g->xAxis, g->yAxis);
    map->data()->setSize(columns, rows);
    map->data()->setRange(QCPRange(0, columns - 1), QCPRange(0, rows - 1));
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            map->data()->setCell(column, row, z[static_cast<std::size_t>(row) * columns + column]);
    map->setGradient(QCPColorGradient(QCPColorGradient::gpGrayscale));
    map->setInterpolate(false);
    if (z_min < z_max)
        map->setDataRange(QCPRange(z_min, z_max));
    else
        map->rescaleDataRange(true);
    return Tag(g, map);
}

int DeleteGraphPlot(int panel, int control, int plot) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    if (plot == VAL_DELETE_ALL) {
        g->clearPlottables();
        g->replot(QCustomPlot::rpQueuedReplot);
        return 0;
    }
    for (int i = 0; i < g->plottableCount(); ++i)
        if (g->plottable(i)->property(plot_tag).toInt() == plot) {
            g->removePlottable(i);
            g->replot(QCustomPlot::rpQueuedReplot);
            return 0;
        }
    return UIE_BAD_INDEX;
}

int SetAxisRange(int panel, int control, int x_mode, double x_min, double x_max, int y_mode,
                 double y_min, double y_max) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    for (int mode : {x_mode, y_mode})
        if (mode != VAL_AUTOSCALE && mode != VAL_MANUAL && mode != VAL_NO_CHANGE)
            return UIE_BAD_ATTRIBUTE;
    if ((x_mode == VAL_MANUAL && !(x_min < x_max)) || (y_mode == VAL_MANUAL && !(y_min < y_max)))
        return UIE_BAD_INDEX;
    if (x_mode == VAL_MANUAL) g->xAxis->setRange(x_min, x_max);
    if (y_mode == VAL_MANUAL) g->yAxis->setRange(y_min, y_max);
    if (x_mode != VAL_NO_CHANGE) g->auto_x = x_mode == VAL_AUTOSCALE;
    if (y_mode != VAL_NO_CHANGE) g->auto_y = y_mode == VAL_AUTOSCALE;
    Autoscale(g);
    return 0;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    if (cursor < 1 || cursor > g->cursor_count) return UIE_BAD_INDEX;
    g->cursor_x[cursor - 1] = x;
    g->cursor_y[cursor - 1] = y;
    PlaceCursor(g, cursor - 1);
    g->replot(QCustomPlot::rpQueuedReplot);
    return 0;
}

int GetGraphCursor(int panel, int control, int cursor, double* x, double* y) {
    GraphWidget* g;
    if (int r = GetGraph(panel, control, &g); r < 0) return r;
    if (cursor < 1 || cursor > g->cursor_count) return UIE_BAD_INDEX;
    if (x) *x = g->cursor_x[cursor - 1];
    if (y) *y = g->cursor_y[cursor - 1];
    return 0;
}

int CanvasStartBatchDraw(int panel, int control) {
    CanvasWidget* c;
    if (int r = GetCanvas(panel, control, &c); r < 0) return r;
    ++c->batch;
    return 0;
}

int CanvasDrawPoint(int panel, int control, int x, int y, unsigned color) {
    CanvasWidget* c;
    if (int r = GetCanvas(panel, control, &c); r < 0) return r;
    // Points off the canvas are clipped, as drawing beyond an edge is.
    if (x < 0 || y < 0 || x >= c->image.width() || y >= c->image.height()) return 0;
    reinterpret_cast<QRgb*>(c->image.scanLine(y))[x] = 0xFF000000u | (color & 0xFFFFFFu);
    if (c->batch == 0) c->update(x, y, 1, 1);
    return 0;
}

int CanvasClear(int panel, int control) {
    CanvasWidget* c;
    if (int r = GetCanvas(panel, control, &c); r < 0) return r;
    c->image.fill(c->background);
    if (c->batch == 0) c->update();
    return 0;
}

int CanvasEndBatchDraw(int panel, int control) {
    CanvasWidget* c;
    if (int r = GetCanvas(panel, control, &c); r < 0) return r;
    if (c->batch > 0) --c->batch;
    if (c->batch == 0) c->update();
    return 0;
}
