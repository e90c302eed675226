#include "qeraserwidget.h"
#include "ui_qeraserwidget.h"

#include "csetting.h"
#include "guihandover.h"
#include "keeptranslated.h"
#include "qappsettings.h"
#include "qfilechooser.h"
#include "qimagecutoutwidget.h"
#include "qimagefiles.h"
#include "qimageformatdialog.h"
#include "qloadingctrl.h"
#include "qmsgbox.h"
#include "qsavefilewriter.h"
#include "qsavenotice.h"
#include "quserhelp.h"
#include "qworkpool.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QShortcut>

#include <opencv2/imgproc.hpp>

namespace {

// What the view shows of a state: its colours over white where it is see-through,
// under an empty cut-out, so that the strokes are the only marks in its mask.
QMaskEditor::Input viewInput(const cv::Mat& bgra)
{
    cv::Mat bgr, alpha;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    cv::extractChannel(bgra, alpha, 3);
    if (cv::countNonZero(alpha != 255) > 0) {
        cv::Mat weight;
        alpha.convertTo(weight, CV_32F, 1.0 / 255);
        cv::blendLinear(bgr, cv::Mat(bgr.size(), CV_8UC3, cv::Scalar::all(255)), weight, 1 - weight, bgr);
    }
    return QMaskEditor::Input{bgr, cv::Mat(bgra.size(), CV_8UC4, cv::Scalar::all(0))};
}

QString localFile(const QMimeData* mime)
{
    const QList<QUrl> urls = mime->urls();
    return urls.isEmpty() || !urls.first().isLocalFile() ? QString() : urls.first().toLocalFile();
}

} // namespace

QEraserWidget* QEraserWidget::pickPhoto(QWidget* parent)
{
    const QString file = QFileChooser::openFile(
        parent, tr("Select Image"), CSetting::getString("default", "path"), QFileChooser::imageFilter());
    return file.isEmpty() ? nullptr : openFile(parent, file);
}

QEraserWidget* QEraserWidget::openFile(QWidget* parent, const QString& path)
{
    auto* eraser = new QEraserWidget(parent);
    eraser->ui->btnEraserApply->hide();
    eraser->openPhoto(path);
    eraser->show();
    return eraser;
}

void QEraserWidget::openOnDrop(QWidget* target)
{
    class DropFilter : public QObject
    {
    public:
        using QObject::QObject;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* target = static_cast<QWidget*>(watched);
            if (event->type() == QEvent::DragEnter) {
                auto* enter = static_cast<QDragEnterEvent*>(event);
                if (!localFile(enter->mimeData()).isEmpty())
                    enter->acceptProposedAction();
                return true;
            }
            if (event->type() != QEvent::Drop)
                return false;
            const QString path = localFile(static_cast<QDropEvent*>(event)->mimeData());
            if (!path.isEmpty())
                openFile(target->window(), path);
            return true;
        }
    };
    target->setAcceptDrops(true);
    target->installEventFilter(new DropFilter(target));
}

QEraserWidget* QEraserWidget::editImage(QWidget* parent, const cv::Mat& image,
                                        std::function<void(const cv::Mat&)> apply)
{
    auto* eraser = new QEraserWidget(parent);
    eraser->m_apply = std::move(apply);
    eraser->ui->btnEraserSave->hide();
    eraser->ui->btnEraserOpen->hide();
    eraser->m_document.setImage(image);
    eraser->show();
    return eraser;
}

QEraserWidget::QEraserWidget(QWidget* parent) : QWidget(parent, Qt::Window), ui(new Ui::QEraserWidget)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("eraserWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    keepTranslated(this, [this] {
        ui->retranslateUi(this);
        setWindowTitle(tr("Erase objects"));
    });
    resize(parent ? parent->size() * 0.9 : QSize(1000, 700));

    m_view = new QImageCutoutWidget(ui->frameEraserView);
    m_view->setObjectName(QStringLiteral("eraserView"));
    m_view->setKeepMode(true);
    m_view->setMinimumSize(400, 300);
    ui->gridEraserView->addWidget(m_view, 0, 0);
    m_loading = new QLoadingCtrl(ui->frameEraserView);
    m_loading->setFixedSize(160, 160);
    m_loading->hide();
    ui->gridEraserView->addWidget(m_loading, 0, 0, Qt::AlignCenter);
    m_notice = new QSaveNotice(this);
    m_notice->hide();
    ui->vLayoutEraser->addWidget(m_notice);

    ui->sliderEraserBrush->setRange(kMinBrushSize, kMaxBrushSize);
    connect(ui->sliderEraserBrush, &QSlider::valueChanged, m_view, &QImageCutoutWidget::setBrushSize);
    ui->sliderEraserBrush->setValue(40);
    connect(ui->btnEraserUndo, &QPushButton::clicked, &m_document, &QEraserDocument::undo);
    connect(ui->btnEraserRedo, &QPushButton::clicked, &m_document, &QEraserDocument::redo);
    connect(ui->btnEraserFit, &QPushButton::clicked, m_view, &QImageCutoutWidget::fitToView);
    connect(ui->btnEraserClose, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnEraserSave, &QPushButton::clicked, this, &QEraserWidget::onSave);
    connect(ui->btnEraserApply, &QPushButton::clicked, this, [this] {
        if (m_apply && m_document.isModified())
            m_apply(m_document.result());
        close();
    });
    connect(ui->btnEraserOpen, &QPushButton::clicked, this, [this] {
        const QString file = QFileChooser::openFile(
            this, tr("Select Image"), QFileInfo(m_photoPath).absolutePath(), QFileChooser::imageFilter());
        if (!file.isEmpty())
            openPhoto(file);
    });

    // Every finished stroke is filled at once; the view shows the result when it
    // has prepared it, and takes strokes again from then on.
    connect(m_view, &QImageCutoutWidget::signal_history_changed, this, [this] {
        if (!m_busy)
            m_document.fill(m_view->mask());
    });
    connect(&m_document, &QEraserDocument::signal_busy, this, [this](bool busy) {
        if (busy)
            setBusy(true);
    });
    connect(&m_document, &QEraserDocument::signal_changed, this, [this] {
        setBusy(true);
        const cv::Mat state = m_document.view();
        m_view->load([state] { return viewInput(state); });
    });
    connect(m_view, &QImageCutoutWidget::signal_ready, this, [this] { setBusy(false); });
    setupShortcuts();
    showState();
}

QEraserWidget::~QEraserWidget()
{
    delete ui;
}

void QEraserWidget::setupShortcuts()
{
    const auto add = [this](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (!m_busy)
                action();
        });
    };
    add(QKeySequence::Undo, [this] { m_document.undo(); });
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { m_document.redo(); });
    add(QKeySequence(Qt::Key_BracketLeft), [this] { stepBrushSize(-kBrushStep); });
    add(QKeySequence(Qt::Key_BracketRight), [this] { stepBrushSize(kBrushStep); });
}

void QEraserWidget::stepBrushSize(int delta)
{
    ui->sliderEraserBrush->setValue(ui->sliderEraserBrush->value() + delta);
}

void QEraserWidget::setBusy(bool busy)
{
    m_busy = busy;
    m_view->setEnabled(!busy);
    m_loading->setVisible(busy);
    if (busy)
        m_loading->start();
    else
        m_loading->stop();
    showState();
}

void QEraserWidget::showState()
{
    ui->btnEraserUndo->setEnabled(!m_busy && m_document.canUndo());
    ui->btnEraserRedo->setEnabled(!m_busy && m_document.canRedo());
    ui->btnEraserSave->setEnabled(!m_busy && !m_document.isEmpty());
    ui->btnEraserApply->setEnabled(!m_busy && !m_document.isEmpty());
    ui->btnEraserOpen->setEnabled(!m_busy);
}

void QEraserWidget::openPhoto(const QString& path)
{
    setBusy(true);
    const QPointer<QEraserWidget> guard(this);
    QWorkPool::instance()->post([guard, path] {
        const cv::Mat photo = QImageFiles::read(path);
        runOnGui(guard, [guard, path, photo] {
            if (photo.empty()) {
                guard->setBusy(false);
                QMsgBox::showWarning(
                    tr("\"%1\" is not a photo Brisel can open. Choose a JPG, PNG or BMP file.")
                        .arg(QFileInfo(path).fileName()),
                    1);
                return;
            }
            CSetting::setValue("default", "path", QFileInfo(path).absolutePath());
            guard->m_photoPath = path;
            guard->m_notice->hide();
            guard->m_view->fitToView();
            guard->m_document.setImage(photo);
        });
    });
}

void QEraserWidget::onSave()
{
    if (m_busy || m_document.isEmpty())
        return;
    QImageFormatDialog format(this);
    if (format.exec() != QDialog::Accepted)
        return;
    QSaveFileWriter::Options options;
    options.format = QAppSettings::outputFormat();
    options.maxKilobytes = QSaveFileWriter::maxKilobytes();
    options.photoPath = m_photoPath;
    options.keepPrivate = QAppSettings::keepLocationAndSerials();
    const QString path = QSaveFileWriter::outputPath(QUserHelp::outputFolder(), m_photoPath,
                                                     QSaveFileWriter::extension(options.format));
    m_notice->hide();
    setBusy(true);
    const QPointer<QEraserWidget> guard(this);
    QWorkPool::instance()->post(
        [guard, path, options, state = m_document.view(), alpha = m_document.hasAlpha()] {
            cv::Mat image = state;
            if (!alpha)
                cv::cvtColor(state, image, cv::COLOR_BGRA2BGR);
            QString error;
            const bool ok = QSaveFileWriter::write(path, image, options, nullptr, &error);
            runOnGui(guard, [guard, path, ok, error] { guard->finishSave(ok ? path : QString(), error); });
        });
}

void QEraserWidget::finishSave(const QString& path, const QString& error)
{
    setBusy(false);
    if (path.isEmpty()) {
        QMsgBox::showError(error, 1);
        return;
    }
    m_notice->showSaved(path);
    emit signal_saved(path);
}

void QEraserWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_apply && !localFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void QEraserWidget::dropEvent(QDropEvent* event)
{
    const QString path = localFile(event->mimeData());
    if (!m_apply && !path.isEmpty() && !m_busy)
        openPhoto(path);
}
