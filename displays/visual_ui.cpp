// I and Q against time, the eye diagram, the phase diagram and constellation,
// the symbol-map preview, and the images of the displays for uldoc --png.
#include "displays/visual_ui.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "displays/analysis_report.h"
#include "displays/visual.h"
#include "displays/visualplot_ui.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/safefile.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "shell/widgets_ui.h"

namespace {

constexpr const char* UIR = "uldo.uir";
const char* const note_tag = "uldo_note";

const QColor white(255, 255, 255), yellow(255, 255, 0), blue(0, 0, 255), grey(128, 128, 128);

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

// Half the span of the I/Q axes: the record's peak with a margin (1 for an
// empty record, so that the axes still read).
double IQHalfSpan() { return max_i > 0.0f ? 1.1 * max_i : 1.0; }

void SquareAxes(QCustomPlot* plot) {
    double h = IQHalfSpan();
    plot->xAxis->setRange(-h, h);
    plot->yAxis->setRange(-h, h);
}

const char* NoRecordNote() { return "There is no compiled record to show."; }

// One waveform against time as a graph (sorted keys: the library thins it to
// the pixels it covers).
void PlotAgainstTime(QCustomPlot* plot, const float* values, int32_t n, const QString& name) {
    bool timed = record_clock > 0.0;
    double step = timed ? 1e6 / record_clock : 1.0;
    QVector<QCPGraphData> data(n);
    for (int32_t s = 0; s < n; ++s) data[s] = QCPGraphData(s * step, values[s]);
    QCPGraph* graph = plot->addGraph();
    graph->data()->set(data, true);
    graph->setPen(QPen(WithAlpha(white, DensityAlpha(n / 2000, 40, 110)), 0));
    graph->setAntialiased(false);
    LabelAxes(plot, timed ? QString::fromUtf8("Time [\u00b5s]") : QString("Sample"), name);
    // The whole record is a band at this width: the view opens on its first
    // symbols, and the wheel and a drag move along it.
    double span = (n > 1 ? n - 1 : 1) * step;
    if (pointperiod >= 1.0f) span = std::min(span, 40.0 * pointperiod * step);
    plot->xAxis->setRange(0, span);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->axisRect()->setRangeDrag(Qt::Horizontal);
    plot->axisRect()->setRangeZoom(Qt::Horizontal);
    double h = IQHalfSpan();
    plot->yAxis->setRange(-h, h);
}

// The eye traces of one waveform as one density image; x in symbols from the
// trace's start.
void PlotEyeTraces(QCustomPlot* plot, const float* values, const QString& name) {
    double per_sample = 1.0 / pointperiod;
    auto* traces = new DensityPlottable(plot, DensityPlottable::TRACES,
                                        WithAlpha(white, DensityAlpha(eye_traces, 24, 20)));
    traces->SetTraces(values, eye_start, eye_traces, eye_length, per_sample);
    LabelAxes(plot, "Time [symbols]", name);
    plot->xAxis->setRange(0, eye_length > 1 ? (eye_length - 1) * per_sample : 2.0);
    double h = IQHalfSpan();
    plot->yAxis->setRange(-h, h);
}

// The range of the finite values; found false without one.
QCPRange FiniteRange(const std::vector<float>& values, bool* found) {
    float low = std::numeric_limits<float>::infinity(), high = -low;
    for (float v : values)
        if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    *found = low <= high;
    return *found ? QCPRange(low, high) : QCPRange();
}

// A data range seen from one sign domain of a logarithmic axis.
QCPRange InDomain(QCPRange range, QCP::SignDomain domain, bool& found) {
    if (!found) return range;
    if (domain == QCP::sdPositive) {
        if (range.upper <= 0.0) found = false;
        range.lower = std::max(range.lower, range.upper * 1e-9);
    } else if (domain == QCP::sdNegative) {
        if (range.lower >= 0.0) found = false;
        range.upper = std::min(range.upper, range.lower * 1e-9);
    }
    return range;
}

void ClearPlot(QCustomPlot* plot) {
    plot->clearPlottables();
    ShowNote(plot, "");
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared plotting.

QCustomPlot* DisplayPlot(int panel, int control) {
    return qobject_cast<QCustomPlot*>(CtrlWidget(panel, control));
}

int LoadDisplay(int* panel_handle, int resource) {
    CloseDisplay(panel_handle);
    int h = LoadPanel(0, UIR, resource);
    if (h <= 0) {
        ReportMessage("", ("The display panel " + std::to_string(resource) + " of uldo.uir cannot be loaded.").c_str());
        return -1;
    }
    *panel_handle = h;
    SetPanelPos(h, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    return 0;
}

void CloseDisplay(int* panel_handle) {
    if (*panel_handle > 0) DiscardPanel(*panel_handle);
    *panel_handle = 0;
}

void LabelAxes(QCustomPlot* plot, const QString& x_label, const QString& y_label) {
    plot->xAxis->setLabel(x_label);
    plot->yAxis->setLabel(y_label);
    // The zero line would read as a trace of the record.
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) axis->grid()->setZeroLinePen(axis->grid()->pen());
}

void ShowNote(QCustomPlot* plot, const QString& text) {
    for (int i = plot->itemCount() - 1; i >= 0; --i)
        if (plot->item(i)->property(note_tag).toBool()) plot->removeItem(i);
    if (text.isEmpty()) return;
    auto* note = new QCPItemText(plot);
    note->setProperty(note_tag, true);
    note->position->setType(QCPItemPosition::ptAxisRectRatio);
    note->position->setCoords(0.5, 0.5);
    note->setPositionAlignment(Qt::AlignCenter);
    note->setText(text);
    note->setColor(QColor(230, 230, 230));
    note->setSelectable(false);
}

QCPCurve* AddCurve(QCustomPlot* plot, const QVector<QCPCurveData>& points, const QColor& colour,
                   double dot_size) {
    auto* curve = new QCPCurve(plot->xAxis, plot->yAxis);
    curve->data()->set(points, true);
    curve->setAntialiased(false);
    curve->setPen(QPen(colour, 0));
    if (dot_size > 0.0) {
        curve->setLineStyle(QCPCurve::lsNone);
        curve->setScatterStyle(dot_size <= 1.0
                                   ? QCPScatterStyle(QCPScatterStyle::ssDot, colour, 1)
                                   : QCPScatterStyle(QCPScatterStyle::ssDisc, colour, dot_size));
        curve->setAntialiasedScatters(false);
    }
    return curve;
}

namespace {

// Buffers of closed density plots, kept for the next ones: a display opened
// again then writes into memory it already holds instead of new pages.
std::vector<std::vector<float>> spare_values;
std::vector<QImage> spare_images;

std::vector<float> TakeValues() {
    if (spare_values.empty()) return {};
    std::vector<float> values = std::move(spare_values.back());
    spare_values.pop_back();
    return values;
}

}  // namespace

DensityPlottable::DensityPlottable(QCustomPlot* plot, Kind kind, const QColor& colour, int dot_size)
    : QCPAbstractPlottable(plot->xAxis, plot->yAxis), kind_(kind), colour_(colour), dot_size_(dot_size),
      x_(TakeValues()), y_(TakeValues()) {
    setAntialiased(false);
    setPen(QPen(colour, 0));
    setSelectable(QCP::stNone);
}

DensityPlottable::~DensityPlottable() {
    const size_t keep = 8;
    for (std::vector<float>* values : {&x_, &y_})
        if (values->capacity() > 0 && spare_values.size() < keep) spare_values.push_back(std::move(*values));
    if (!image_.isNull() && spare_images.size() < keep) spare_images.push_back(std::move(image_));
}

void DensityPlottable::SetTraces(const float* values, const int32_t* starts, int32_t traces, int32_t length,
                                 double x_step) {
    traces_ = std::max(traces, 0);
    length_ = std::max(length, 0);
    x_step_ = x_step;
    x_.clear();
    y_.resize(static_cast<size_t>(traces_) * length_);
    for (int32_t t = 0; t < traces_; ++t)
        std::copy(values + starts[t], values + starts[t] + length_, y_.data() + static_cast<size_t>(t) * length_);
    bool found = false;
    y_range_ = FiniteRange(y_, &found);
    x_range_ = QCPRange(0.0, length_ > 1 ? (length_ - 1) * x_step : 0.0);
    has_range_ = found;
    drawn_size_ = QSize();
}

void DensityPlottable::SetPoints(const float* x, const float* y, int32_t n) {
    n = std::max(n, 0);
    traces_ = length_ = 0;
    x_.assign(x, x + n);
    y_.assign(y, y + n);
    bool found_x = false, found_y = false;
    x_range_ = FiniteRange(x_, &found_x);
    y_range_ = FiniteRange(y_, &found_y);
    has_range_ = found_x && found_y;
    drawn_size_ = QSize();
}

QCPRange DensityPlottable::getKeyRange(bool& found, QCP::SignDomain domain) const {
    found = has_range_;
    return InDomain(x_range_, domain, found);
}

QCPRange DensityPlottable::getValueRange(bool& found, QCP::SignDomain domain, const QCPRange&) const {
    found = has_range_;
    return InDomain(y_range_, domain, found);
}

void DensityPlottable::Rasterise(int width, int height) {
    if (!ClearDensity(width, height)) {
        image_ = QImage();
        return;
    }
    DensityView view{drawn_x_.lower, drawn_x_.upper, drawn_y_.lower, drawn_y_.upper};
    int32_t n = static_cast<int32_t>(y_.size());
    if (kind_ == TRACES)
        AddDensityTraces(y_.data(), traces_, length_, x_step_, view);
    else if (kind_ == PATH)
        AddDensityPath(x_.data(), y_.data(), n, view);
    else
        AddDensityDots(x_.data(), y_.data(), n, view, dot_size_);
    // The colour after c blends of the pen's alpha a: coverage 1 - (1 - a)^c,
    // premultiplied, up to the count where it is opaque.
    QRgb shade[1024];
    int shades = 1;
    shade[0] = 0;
    double clear = 1.0 - colour_.alphaF();
    for (double left = clear; shades < 1024; left *= clear) {
        double cover = 1.0 - left;
        shade[shades++] = qRgba(qRound(colour_.red() * cover), qRound(colour_.green() * cover),
                                qRound(colour_.blue() * cover), qRound(255.0 * cover));
        if (255.0 * cover > 254.5) break;
    }
    QSize size(density_width, density_height);
    if (image_.size() != size) {
        auto spare = std::find_if(spare_images.begin(), spare_images.end(),
                                  [size](const QImage& image) { return image.size() == size; });
        if (spare != spare_images.end()) {
            image_ = std::move(*spare);
            spare_images.erase(spare);
        } else {
            image_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        }
    }
    for (int row = 0; row < density_height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
        const int32_t* counts = density_counts + static_cast<ptrdiff_t>(row) * density_width;
        for (int col = 0; col < density_width; ++col) line[col] = shade[std::min(counts[col], shades - 1)];
    }
}

void DensityPlottable::draw(QCPPainter* painter) {
    QCPAxis* x_axis = keyAxis();
    QCPAxis* y_axis = valueAxis();
    if (!x_axis || !y_axis || y_.empty()) return;
    QRect rect = x_axis->axisRect()->rect();
    // One count per device pixel, unless the painter widens thin lines with its
    // scale (a PNG at twice the size): then per pixel of the plot, scaled alike.
    QRectF device = painter->modes().testFlag(QCPPainter::pmNonCosmetic)
                        ? QRectF(rect)
                        : painter->transform().mapRect(QRectF(rect));
    QSize size(std::max(1, qRound(device.width())), std::max(1, qRound(device.height())));
    if (image_.isNull() || drawn_size_ != size || !(drawn_x_ == x_axis->range()) || !(drawn_y_ == y_axis->range())) {
        drawn_size_ = size;
        drawn_x_ = x_axis->range();
        drawn_y_ = y_axis->range();
        Rasterise(size.width(), size.height());
    }
    if (!image_.isNull()) painter->drawImage(QRectF(rect), image_);
}

void DensityPlottable::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
    painter->setPen(QPen(colour_, 0));
    painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
}

int DensityAlpha(long count, long opaque_below, int floor) {
    if (count <= opaque_below) return 255;
    return std::max(floor, static_cast<int>(255.0 * opaque_below / count));
}

void ReplotLater(QCustomPlot* plot) { plot->replot(QCustomPlot::rpQueuedReplot); }

int SavePlotsPng(const QVector<QCustomPlot*>& plots, const char* path) {
    const double scale = 2.0;
    int width = 0, height = 0;
    QVector<QPixmap> parts;
    for (QCustomPlot* plot : plots) {
        plot->setViewport(plot->rect());
        plot->replot(QCustomPlot::rpImmediateRefresh);
        parts.append(plot->toPixmap(plot->width(), plot->height(), scale));
        width = std::max<int>(width, parts.back().width());
        height += parts.back().height();
    }
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(32, 32, 32));
    QPainter painter(&image);
    int top = 0;
    for (const QPixmap& part : parts) {
        painter.drawPixmap(0, top, part);
        top += part.height();
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") ||
        WriteFileAtomically(path, bytes.constData(), static_cast<long>(bytes.size())) != 0) {
        ReportMessage("", (std::string("Cannot write ") + path + "\n" + safe_file_problem).c_str());
        return -1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// I and Q against time.

void DrawIQ(int panel) {
    QCustomPlot* plot_i = DisplayPlot(panel, TRACE_I_GRAPH);
    QCustomPlot* plot_q = DisplayPlot(panel, TRACE_Q_GRAPH);
    if (!plot_i || !plot_q) return;
    ClearPlot(plot_i);
    ClearPlot(plot_q);
    int32_t n = DisplayLength();
    PlotAgainstTime(plot_i, phase_i, n, "I");
    PlotAgainstTime(plot_q, phase_q, n, "Q");
    // I and Q move together.
    QObject::connect(plot_i->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot_q->xAxis,
                     [plot_q](const QCPRange& r) {
                         if (plot_q->xAxis->range() == r) return;
                         plot_q->xAxis->setRange(r);
                         ReplotLater(plot_q);
                     });
    QObject::connect(plot_q->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot_i->xAxis,
                     [plot_i](const QCPRange& r) {
                         if (plot_i->xAxis->range() == r) return;
                         plot_i->xAxis->setRange(r);
                         ReplotLater(plot_i);
                     });
    if (n == 0) ShowNote(plot_i, NoRecordNote());
    ReplotLater(plot_i);
    ReplotLater(plot_q);
}

int ShowIQ(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || LoadDisplay(&handle16, PANEL_IQ_TIME) < 0) return 0;
    DrawIQ(handle16);
    DisplayPanel(handle16);
    return 0;
}

int IQOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) CloseDisplay(&handle16);
    return 0;
}

// ---------------------------------------------------------------------------
// Eye diagram: the record cut to the display buffer (never past it into the
// data of an earlier, longer run).

void DrawEye(int panel) {
    QCustomPlot* plot_i = DisplayPlot(panel, TRACE_I_GRAPH);
    QCustomPlot* plot_q = DisplayPlot(panel, TRACE_Q_GRAPH);
    if (!plot_i || !plot_q) return;
    ClearPlot(plot_i);
    ClearPlot(plot_q);
    BuildEye(pointperiod, DisplayLength());
    PlotEyeTraces(plot_i, phase_i, "I");
    PlotEyeTraces(plot_q, phase_q, "Q");
    if (DisplayLength() == 0)
        ShowNote(plot_i, NoRecordNote());
    else if (!(pointperiod >= 1.0f))
        ShowNote(plot_i, "The reference carrier has fewer than one sample per symbol: no eye.");
    else if (eye_traces == 0)
        ShowNote(plot_i, "The record is shorter than two symbols of the reference carrier: no eye.");
    ReplotLater(plot_i);
    ReplotLater(plot_q);
}

int Showeye(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || LoadDisplay(&handle17, PANEL_EYE) < 0) return 0;
    DrawEye(handle17);
    DisplayPanel(handle17);
    return 0;
}

int EyeOk(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_LEFT_CLICK) CloseDisplay(&handle17);
    return 0;
}

// ---------------------------------------------------------------------------
// Phase diagram and constellation: the trajectory of the record in the I/Q
// plane and the reference carrier's symbol instants on it.

void DrawZoom(int panel, bool constellation) {
    QCustomPlot* plot = DisplayPlot(panel, ZOOM_GRAPH);
    if (!plot) return;
    ClearPlot(plot);
    int32_t n = DisplayLength(), m = ConstellationLength();
    QColor path_colour = constellation ? WithAlpha(grey, DensityAlpha(n, 2000, 14))
                                       : WithAlpha(yellow, DensityAlpha(n, 4000, 28));
    QColor dot_colour = WithAlpha(constellation ? yellow : QColor(80, 140, 255), DensityAlpha(m, 4000, 90));
    auto* path = new DensityPlottable(plot, DensityPlottable::PATH, path_colour);
    path->SetPoints(phase_i, phase_q, n);
    auto* instants = new DensityPlottable(plot, DensityPlottable::DOTS, dot_colour, m > 20000 ? 1 : 3);
    instants->SetPoints(phase_ic, phase_qc, m);
    LabelAxes(plot, "I", "Q");
    SquareAxes(plot);
    if (n == 0) ShowNote(plot, NoRecordNote());
    ReplotLater(plot);
}

namespace {

void OpenZoomPanel(bool constellation) {
    if (LoadDisplay(&handle12, PANEL_ZOOM) < 0) return;
    SetPanelAttribute(handle12, ATTR_TITLE, constellation ? "CONSTELLATION DISPLAY" : "PHASE DIAGRAM DISPLAY");
    DrawZoom(handle12, constellation);
    DisplayPanel(handle12);
}

}  // namespace

int OpenZoom(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) OpenZoomPanel(false);
    return 0;
}

int OpenZoom2(int, int, int event, void*, int, int) {
    if (event == EVENT_LEFT_CLICK) OpenZoomPanel(true);
    return 0;
}

int ZoomOk(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT && event != EVENT_LEFT_CLICK) return 0;
    CloseDisplay(&handle12);
    if (handle5 > 0) DisplayPanel(handle5);
    return 0;
}

int ZoomPrint(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || handle12 <= 0) return 0;
    char title[64] = {};
    GetPanelAttribute(handle12, ATTR_TITLE, title, sizeof title);
    PrintDisplayPanel(handle12, PrintHeading(title).c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// Symbol-map preview: loaded once, shown over the dimmed map editor.

void DrawMapPreview(int panel) {
    QCustomPlot* plot = DisplayPlot(panel, PREVIEW_GRAPH);
    if (!plot) return;
    ClearPlot(plot);
    int count = std::clamp<int32_t>(map.num_points, 0, MAX_MAP_POINTS);
    QVector<QCPCurveData> points(count);
    double reach = 0.0;
    for (int k = 0; k < count; ++k) {
        points[k] = QCPCurveData(k, map.point_i[k], map.point_q[k]);
        if (std::isfinite(map.point_i[k])) reach = std::max(reach, std::fabs(double(map.point_i[k])));
        if (std::isfinite(map.point_q[k])) reach = std::max(reach, std::fabs(double(map.point_q[k])));
    }
    AddCurve(plot, points, white, 5.0);
    double h = reach > 0.0 ? 1.2 * reach : 1.0;
    plot->xAxis->setRange(-h, h);
    plot->yAxis->setRange(-h, h);
    LabelAxes(plot, "I", "Q");
    if (count == 0) ShowNote(plot, "The map has no points.");
    ReplotLater(plot);
}

int MaPreview(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK) return 0;
    if (handle25 <= 0 || !PanelWidget(handle25)) {
        handle25 = LoadPanel(0, UIR, PANEL_MAP_PREVIEW);
        if (handle25 <= 0) {
            handle25 = 0;
            ReportMessage("", "The map preview panel of uldo.uir cannot be loaded.");
            return 0;
        }
        SetPanelPos(handle25, VAL_AUTO_CENTER, VAL_AUTO_CENTER);
    }
    if (handle18 > 0) SetPanelAttribute(handle18, ATTR_DIMMED, 1);
    DisplayPanel(handle25);
    DrawMapPreview(handle25);
    return 0;
}

int MaPreviewOk(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT && event != EVENT_LEFT_CLICK) return 0;
    if (handle25 > 0) HidePanel(handle25);
    if (handle18 > 0) SetPanelAttribute(handle18, ATTR_DIMMED, 0);
    return 0;
}

int MaPreviewPrint(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || handle25 <= 0) return 0;
    std::string name = FieldText(map.map_name);
    PrintDisplayPanel(handle25, PrintHeading(name.empty() ? "Symbol Map" : ("Symbol Map " + name).c_str()).c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// Images for uldoc --png.

int SaveVisualImages(const char* dir) {
    if (!QApplication::instance()) {
        ReportMessage("", "The display images need the user interface started.");
        return -1;
    }
    std::string base = dir ? dir : ".";
    if (!QDir().mkpath(QString::fromLocal8Bit(base.c_str()))) {
        ReportMessage("", ("Cannot create the folder " + base).c_str());
        return -1;
    }
    struct Image {
        int resource;
        const char* name;
    };
    const Image images[] = {
        {PANEL_EYE, "eye.png"},          {PANEL_ZOOM, "constellation.png"},
        {PANEL_ZOOM, "phase.png"},       {PANEL_GLIM_ZOOM, "persistence.png"},
        {PANEL_QUANT, "quant.png"},
    };
    for (const Image& image : images) {
        int panel = 0;
        if (LoadDisplay(&panel, image.resource) < 0) return -1;
        QVector<QCustomPlot*> plots;
        std::string name = image.name;
        if (name == "eye.png") {
            DrawEye(panel);
            plots = {DisplayPlot(panel, TRACE_I_GRAPH), DisplayPlot(panel, TRACE_Q_GRAPH)};
        } else if (name == "constellation.png" || name == "phase.png") {
            DrawZoom(panel, name == "constellation.png");
            plots = {DisplayPlot(panel, ZOOM_GRAPH)};
        } else if (name == "persistence.png") {
            DrawGlimZoom(panel);
            plots = {DisplayPlot(panel, GLIM_GRAPH)};
        } else {
            DrawQuant(panel);
            plots = {DisplayPlot(panel, QUANT_GRAPH)};
        }
        int result = plots.contains(nullptr) ? -1 : SavePlotsPng(plots, (base + "/" + name).c_str());
        if (plots.contains(nullptr)) ReportMessage("", ("The panel of " + name + " has no graph to draw.").c_str());
        CloseDisplay(&panel);
        if (result != 0) return -1;
    }
    return 0;
}
