// Pop-ups through the replaceable handler, and printing of whole panels.
//
// The wrappers hand the handler buffers of their own and copy back only a
// terminated, size-checked answer, so no handler can overrun the caller's.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "shell/widgets_ui.h"

namespace {

// The extension of a pattern such as "*.kvt"; empty for "*" or "*.*".
QString PatternExtension(const QString& pattern) {
    int dot = pattern.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return QString();
    QString ext = pattern.mid(dot + 1).trimmed();
    if (ext.isEmpty() || ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')))
        return QString();
    return ext;
}

// The real dialogs. Pop-ups have no parent window: a dimmed parent would dim
// the dialog too.
class QtPopups : public PopupHandler {
public:
    int Message(const char* title, const char* text) override {
        QMessageBox box(QMessageBox::Information, FromText(title), FromText(text),
                        QMessageBox::Ok);
        box.exec();
        return 0;
    }

    int Confirm(const char* title, const char* question) override {
        QMessageBox box(QMessageBox::Question, FromText(title), FromText(question),
                        QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? 1 : 0;
    }

    int Prompt(const char* title, const char* prompt, char* buffer, int max_length) override {
        QInputDialog dialog;
        dialog.setWindowTitle(FromText(title));
        dialog.setLabelText(FromText(prompt));
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setTextValue(FromText(buffer));
        if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(max_length);
        if (dialog.exec() != QDialog::Accepted) return -1;
        QByteArray bytes = dialog.textValue().toUtf8();
        CopyText(bytes.constData(), static_cast<std::size_t>(bytes.size()), buffer,
                 static_cast<std::size_t>(max_length) + 1);
        return 0;
    }

    int FileSelect(const char* directory, const char* pattern, const char* pattern_list,
                   const char* title, int button, int restrict_directory,
                   int restrict_extension, int allow_cancel, int allow_make_directory,
                   char* path) override {
        QStringList filters;
        auto add = [&filters](const QString& p) {
            QString t = p.trimmed();
            if (!t.isEmpty() && !filters.contains(t)) filters << t;
        };
        QString main_pattern = FromText(pattern).trimmed();
        add(main_pattern);
        for (const QString& p : FromText(pattern_list).split(QLatin1Char(';'))) add(p);
        if (!restrict_extension) add(QStringLiteral("All files (*)"));

        QFileDialog dialog(nullptr, FromText(title), FromText(directory));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (!allow_make_directory) dialog.setOption(QFileDialog::ReadOnly);
        dialog.setNameFilters(filters);
        if (!main_pattern.isEmpty()) dialog.selectNameFilter(main_pattern);
        if (button == VAL_SAVE_BUTTON) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
        } else if (button == VAL_LOAD_BUTTON) {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::AnyFile);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return VAL_NO_FILE_SELECTED;
        QString file = dialog.selectedFiles().first();
        // A name that ends in any offered extension keeps it (Save As a .json
        // table); otherwise it gets the extension of the chosen filter.
        bool offered = false;
        for (const QString& f : filters)
            for (const QString& p : f.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                QString e = PatternExtension(p);
                offered = offered || (!e.isEmpty() &&
                                      file.endsWith(QLatin1Char('.') + e, Qt::CaseInsensitive));
            }
        QString ext = PatternExtension(
            dialog.selectedNameFilter().split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0));
        if (button == VAL_SAVE_BUTTON && restrict_extension && !ext.isEmpty() && !offered)
            file += QLatin1Char('.') + ext;
        QByteArray bytes = file.toUtf8();
        // A cut path would name another file: refuse it instead.
        if (bytes.size() >= MAX_PATHNAME_LEN) {
            std::string text = "The path is too long (more than " +
                               std::to_string(MAX_PATHNAME_LEN - 1) + " bytes):\n" +
                               bytes.toStdString();
            Message("", text.c_str());
            return VAL_NO_FILE_SELECTED;
        }
        CopyText(bytes.constData(), static_cast<std::size_t>(bytes.size()), path,
                 MAX_PATHNAME_LEN);
        return QFileInfo::exists(file) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    }
};

QtPopups qt_popups;
PopupHandler* popup_handler = nullptr;

// The handler to use, or nullptr when there is neither a test handler nor an
// application to show real dialogs with.
PopupHandler* Handler() {
    if (popup_handler) return popup_handler;
    return QApplication::instance() ? &qt_popups : nullptr;
}

}  // namespace

void SetPopupHandler(PopupHandler* handler) { popup_handler = handler; }

int MessagePopup(const char* title, const char* text) {
    PopupHandler* h = Handler();
    if (!h) {
        std::fprintf(stderr, "%s%s%s\n", title ? title : "", title && *title ? ": " : "",
                     text ? text : "");
        return 0;
    }
    return h->Message(title ? title : "", text ? text : "");
}

int ConfirmPopup(const char* title, const char* question) {
    PopupHandler* h = Handler();
    if (!h) return 0;
    return h->Confirm(title ? title : "", question ? question : "") == 1 ? 1 : 0;
}

int PromptPopup(const char* title, const char* prompt, char* buffer, int max_length) {
    PopupHandler* h = Handler();
    if (!h || !buffer || max_length < 0) return -1;
    std::string answer(static_cast<std::size_t>(max_length) + 1, '\0');
    std::size_t given = strnlen(buffer, static_cast<std::size_t>(max_length));
    CopyText(buffer, given, answer.data(), answer.size());
    int r = h->Prompt(title ? title : "", prompt ? prompt : "", answer.data(), max_length);
    if (r != 0) return -1;
    answer.back() = '\0';
    CopyText(answer.data(), std::strlen(answer.data()), buffer, answer.size());
    return 0;
}

int FileSelectPopup(const char* directory, const char* pattern, const char* pattern_list,
                    const char* title, int button, int restrict_directory,
                    int restrict_extension, int allow_cancel, int allow_make_directory,
                    char* path) {
    PopupHandler* h = Handler();
    if (!h || !path) return VAL_NO_FILE_SELECTED;
    char chosen[MAX_PATHNAME_LEN] = {};
    int r = h->FileSelect(directory ? directory : "", pattern ? pattern : "",
                          pattern_list ? pattern_list : "", title ? title : "", button,
                          restrict_directory, restrict_extension, allow_cancel,
                          allow_make_directory, chosen);
    if (r != VAL_EXISTING_FILE_SELECTED && r != VAL_NEW_FILE_SELECTED) return VAL_NO_FILE_SELECTED;
    chosen[MAX_PATHNAME_LEN - 1] = '\0';
    if (!chosen[0]) return VAL_NO_FILE_SELECTED;
    CopyText(chosen, std::strlen(chosen), path, MAX_PATHNAME_LEN);
    return r;
}

// ---------------------------------------------------------------------------

namespace {

// Prints the window: under `heading` (lines of text; none when empty), with its
// push buttons left out when `without_buttons` is set.
int PrintWindow(int panel, const QString& heading, bool without_buttons) {
    QWidget* window = PanelWidget(panel);
    if (!window) return UIE_BAD_PANEL;
    if (window->layout()) window->layout()->activate();
    QSize size = window->size();
    QPageLayout::Orientation orientation =
        size.width() > size.height() ? QPageLayout::Landscape : QPageLayout::Portrait;
    // A PDF needs no printer: QPdfWriter does not look for one (which can take seconds).
    std::unique_ptr<QPdfWriter> pdf_writer;
    std::unique_ptr<QPrinter> printer;
    QImage image;
    QPaintDevice* device;
    const char* pdf = std::getenv("ULDO_PRINT_PDF");
    const bool png = pdf && QString::fromLocal8Bit(pdf).endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    if (png) {
        // The page as a picture (A4 at 100 dpi), for checking what a printout holds.
        QSize a4(827, 1169);
        image = QImage(orientation == QPageLayout::Landscape ? a4.transposed() : a4, QImage::Format_RGB32);
        image.fill(Qt::white);
        device = &image;
    } else if (pdf && *pdf) {
        pdf_writer = std::make_unique<QPdfWriter>(QString::fromLocal8Bit(pdf));
        pdf_writer->setResolution(300);
        pdf_writer->setPageOrientation(orientation);
        pdf_writer->setTitle(window->windowTitle());
        device = pdf_writer.get();
    } else {
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            MessagePopup("Print", "There is no default printer.");
            return UIE_PRINT_FAILED;
        }
        printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        printer->setPageOrientation(orientation);
        device = printer.get();
    }
    QPainter painter;
    if (!painter.begin(device)) {
        std::fprintf(stderr, "panel %d: cannot print to %s\n", panel, pdf && *pdf ? pdf : "the printer");
        return UIE_PRINT_FAILED;
    }
    RefreshPlots(window);
    QRect page = painter.viewport();
    int top = 0;
    if (!heading.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(std::max(12, page.height() / 60));
        painter.setFont(font);
        QRect box = painter.boundingRect(page, Qt::AlignLeft | Qt::AlignTop, heading);
        painter.drawText(page, Qt::AlignLeft | Qt::AlignTop, heading);
        top = box.height() + font.pixelSize();
    }
    QList<QWidget*> hidden;
    if (without_buttons)
        for (QPushButton* button : window->findChildren<QPushButton*>())
            if (button->isVisible()) {
                button->setVisible(false);
                hidden.push_back(button);
            }
    double scale = std::min(page.width() / double(size.width()),
                            (page.height() - top) / double(size.height()));
    painter.translate(0, top);
    painter.scale(scale, scale);
    window->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    for (QWidget* button : hidden) button->setVisible(true);
    if (!painter.end()) return UIE_PRINT_FAILED;
    if (png && !image.save(QString::fromLocal8Bit(pdf), "PNG")) {
        std::fprintf(stderr, "panel %d: cannot write %s\n", panel, pdf);
        return UIE_PRINT_FAILED;
    }
    return 0;
}

}  // namespace

int PrintPanel(int panel) { return PrintWindow(panel, QString(), false); }

int PrintDisplayPanel(int panel, const char* heading) {
    return PrintWindow(panel, heading ? FromText(heading) : QString(), true);
}
