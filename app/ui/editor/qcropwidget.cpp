#include "qcropwidget.h"

#include "guihandover.h"
#include "keeptranslated.h"
#include "qappsettings.h"
#include "qbeautify.h"
#include "qdragouthandle.h"
#include "qedgecontrols.h"
#include "qeraserwidget.h"
#include "qidframer.h"
#include "qidphotopanel.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"
#include "qimagecutoutwidget.h"
#include "qimagesettings.h"
#include "qimagetask.h"
#include "qmaskops.h"
#include "qmsgbox.h"
#include "qpagecutout.h"
#include "qsavefilewriter.h"
#include "qtaskmanager.h"
#include "qviewcontrols.h"
#include "qworkpool.h"
#include "readtextfile.h"
#include "ui_qcropwidget.h"

#include <QDir>
#include <QPointer>
#include <QShortcut>

QCropWidget::QCropWidget(QWidget* parent) : QWidget(parent), ui(new Ui::QCropWidget)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(QStringLiteral(":/qss/Crop.css")));
    m_cropView = new QImageCropWidget(ui->frameImage);
    m_cropView->setObjectName(QStringLiteral("cropView"));
    m_brushView = new QImageCutoutWidget(ui->frameImage);
    m_brushView->setObjectName(QStringLiteral("brushView"));
    ui->vLayoutImage->addWidget(m_cropView);
    ui->vLayoutImage->addWidget(m_brushView);
    m_brushView->hide();
    ui->BtnUndo->hide();
    ui->BtnRestore->hide();
    m_dragOut = new QDragOutHandle(this, ui->frameBottom);
    ui->hLayoutBottom->addWidget(m_dragOut);
    m_controls = new QViewControls({ui->btnZoomIn, ui->btnZoomOut, ui->hSliderImageFactor,
                                    ui->labelImageFactor, ui->BtnUndo, ui->BtnRestore, ui->btnZoomFit},
                                   QStringLiteral("#313131"), this);
    m_controls->setZoomTarget(m_cropView);
    setupShortcuts();

    connect(m_brushView, &QImageCutoutWidget::signal_image_cutout, this, &QCropWidget::onImageCutout);
    connect(ui->btnEraseObject, &QPushButton::clicked, this, &QCropWidget::onEraseObject);
    connect(this, &QCropWidget::signal_beauty_finished, this, &QCropWidget::onBeautyFinished);
    m_framer = new QIdFramer(m_cropView->canvas(), this);
    connect(m_framer, &QIdFramer::signal_framed, m_cropView, qOverload<>(&QWidget::update));
    connect(m_cropView, &QImageCropWidget::signal_subject_moved, m_framer, &QIdFramer::onSubjectMoved);
    // The canvas loads on the pool; the ID size is framed on what it loaded.
    connect(m_cropView->canvas(), &QImageCanvas::signal_update, this, [this] {
        if (m_idPhotoPending && hasImage()) {
            m_idPhotoPending = false;
            emit signal_id_photo_loaded();
        }
    });
    connect(m_framer, &QIdFramer::signal_refused, this, [this](const QString& message) {
        emit signal_exact_size(false);
        QMsgBox::showWarning(message, 1);
    });
}

QCropWidget::~QCropWidget()
{
    // The base destructor hides the brush view, which then hands its unsaved
    // strokes over: nobody is left to take them.
    disconnect(m_brushView, nullptr, this, nullptr);
    delete ui;
}

void QCropWidget::setupShortcuts()
{
    // Window-wide, so they work wherever the focus is in the workspace; a focused
    // line edit still gets its own undo and its brackets first.
    const auto add = [this](const QKeySequence& keys, void (QViewControls::*slot)()) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, m_controls, slot);
    };
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_Z), this);
    undo->setContext(Qt::WindowShortcut);
    connect(undo, &QShortcut::activated, this, [this] {
        if (m_active == CropView)
            undoErase();
        else
            m_controls->onBtnUndo();
    });
    add(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), &QViewControls::onBtnRestore);
    add(QKeySequence(Qt::CTRL + Qt::Key_Y), &QViewControls::onBtnRestore);
    auto* smaller = new QShortcut(QKeySequence(Qt::Key_BracketLeft), this);
    connect(smaller, &QShortcut::activated, this, [this] { stepBrushSize(-kBrushStep); });
    auto* larger = new QShortcut(QKeySequence(Qt::Key_BracketRight), this);
    connect(larger, &QShortcut::activated, this, [this] { stepBrushSize(kBrushStep); });
}

void QCropWidget::setTask(const QString& taskId)
{
    showTask(taskId);
    m_idPhotoPending = m_task && m_task->type() == Card;
}

// Without the ID-photo request: a cut-out matted again keeps the page the user is on.
void QCropWidget::showTask(const QString& taskId)
{
    // Leaving the brush view hands its edits over: they belong to the photo before.
    setActiveView(CropView);
    m_taskId = taskId;
    m_task = QTaskManager::getTask(taskId);
    m_cutout = m_task ? m_task->cutout() : cv::Mat();
    m_brushMask.release();
    m_erased.clear();
    m_framer->setCutout(m_cutout);
    emit signal_exact_size(false);
    m_cropView->fitToView();
    m_brushView->fitToView();
    if (m_task)
        m_brushView->setTask(m_task);
    m_cropView->setTask(taskId);
}

bool QCropWidget::hasImage() const
{
    return m_cropView->hasImage();
}

void QCropWidget::setActiveView(View view)
{
    m_active = view;
    const bool brush = view == BrushView;
    // Hiding the brush view first hands its edits over (onImageCutout).
    m_brushView->setVisible(brush);
    m_cropView->setVisible(!brush);
    ui->BtnUndo->setVisible(brush);
    ui->BtnRestore->setVisible(brush);
    // It hands over the composed result, which the brush's strokes join only later.
    m_dragOut->setVisible(!brush);
    ui->btnEraseObject->setVisible(!brush);
    if (brush)
        m_controls->setZoomTarget(m_brushView);
    else
        m_controls->setZoomTarget(m_cropView);
    m_controls->setHistoryTarget(brush ? m_brushView : nullptr);
}

void QCropWidget::onChangeBackgroundColor(const QColor& color)
{
    if (!m_cropView->hasImage())
        return;
    m_cropView->canvas()->setBackgroundColor(color);
    m_framer->recheck();
    m_cropView->update();
}

void QCropWidget::onChangeBackgroundImage(const QString& imagePath)
{
    if (!m_cropView->hasImage())
        return;
    if (!m_cropView->canvas()->setBackgroundImage(imagePath))
        QMsgBox::showWarning(tr("\"%1\" cannot be read as a picture, so it cannot be used as the background.")
                                 .arg(QDir::toNativeSeparators(imagePath)),
                             1);
    m_cropView->update();
}

bool QCropWidget::brushReady() const
{
    return m_active == BrushView && m_brushView->isVisible() && m_brushView->isReady();
}

void QCropWidget::onShowImageCropFrame(bool show)
{
    if (!m_cropView->hasImage())
        return;
    m_cropView->canvas()->setShowCropFrame(show);
    m_cropView->update();
}

void QCropWidget::onChangeBrushSize(int size)
{
    m_brushView->setBrushSize(size);
    m_brushView->update();
}

void QCropWidget::stepBrushSize(int delta)
{
    if (!brushReady() || m_brushView->isMagicMode())
        return;
    const int size = qBound(kMinBrushSize, m_brushView->brushSize() + delta, kMaxBrushSize);
    if (size == m_brushView->brushSize())
        return;
    onChangeBrushSize(size);
    emit signal_brush_size_changed(size);
}

void QCropWidget::onRepairBackground(bool keep)
{
    m_brushView->setKeepMode(keep);
}

void QCropWidget::onApplyCorpSize(int code, bool commit, const QSize& size)
{
    if (!m_cropView->hasImage())
        return;
    m_cropView->canvas()->applyCropSize(code, commit, size);
    m_framer->frame(code, commit);
    if (commit)
        emit signal_exact_size(m_cropView->canvas()->isIdPhotoApplied());
    m_cropView->update();
}

void QCropWidget::onChangeBrush(bool magic)
{
    m_brushView->setMagicMode(magic);
}

void QCropWidget::onKeepShadow(bool keep)
{
    if (!m_task || m_task->keepsShadow() == keep)
        return;
    if ((!m_erased.isEmpty() || m_brushView->canUndo()) && !QPageCutOut::confirmRematte()) {
        emit signal_shadow_shown(!keep);
        return;
    }
    auto task = std::make_shared<QImageTask>(m_task->type(), m_task->filePath());
    task->setKeepShadow(keep);
    m_cropView->setLoading(true);
    connect(task.get(), &QImageTask::signal_success, this,
            [this, path = task->filePath()](const QString& id) {
                m_cropView->setLoading(false);
                const View shown = m_active;
                if (m_task && m_task->filePath() == path) { // not a photo opened meanwhile
                    showTask(id);
                    setActiveView(shown);
                }
            });
    connect(task.get(), &QImageTask::signal_error, this, [this](const QString& message) {
        m_cropView->setLoading(false);
        QMsgBox::showWarning(message, 1);
    });
    QTaskManager::addTask(task);
}

bool QCropWidget::runJob(const std::function<cv::Mat()>& job,
                         const std::function<void(const cv::Mat&)>& apply)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_cropView->setLoading(true);
    const QPointer<QCropWidget> guard(this);
    const QString taskId = m_taskId;
    QWorkPool::instance()->post([guard, job, apply, taskId] {
        cv::Mat result;
        try {
            result = job();
        } catch (const std::exception& e) {
            result.release(); // out of memory or a refused matrix: the picture stays as it was
        }
        runOnGui(guard, [guard, apply, result, taskId] {
            // A result for the photo before would paint its edits over the new one.
            if (!result.empty() && guard->m_taskId == taskId)
                apply(result);
            guard->m_busy = false;
            emit guard->signal_beauty_finished();
        });
    });
    return true;
}

void QCropWidget::onImageBeauty()
{
    if (!m_task || m_cutout.empty()) {
        emit signal_beauty_finished(); // nothing loaded yet: the page's sliders come back
        return;
    }
    emit signal_beauty_begin();
    // Always from the downloaded cut-out, so repeated runs never compound.
    const cv::Mat downloaded = m_task->cutout();
    const QVector<Erased> erased = m_erased;
    const cv::Mat current = m_cutout;
    const cv::Mat mask = m_brushMask;
    const cv::Mat photo = m_brushView->sourceImage();
    const QEdgeControls::Options edge = m_brushView->edge();
    const int tone = QImageSettings::toneLevel();
    const int smooth = QImageSettings::smoothLevel();
    auto beautified = std::make_shared<cv::Mat>();
    const bool started = runJob(
        [=] {
            cv::Mat source = downloaded;
            if (!erased.isEmpty()) {
                cv::Mat colour = QMaskOps::dropAlpha(downloaded);
                for (const Erased& e : erased)
                    colour = QMaskOps::takeChanges(colour, e.before, e.after);
                source = QMaskOps::mergeAlpha(colour, downloaded);
            }
            const cv::Mat m = QBeautify::beautifyCutout(source, current, tone, smooth);
            *beautified = m;
            return mask.empty() || photo.empty()
                       ? m
                       : QEdgeControls::apply(QMaskOps::applyMask(photo, m, mask), photo, edge);
        },
        [this, beautified](const cv::Mat& shown) {
            m_cutout = *beautified;
            m_cropView->canvas()->setCutout(shown);
            m_cropView->update();
        });
    if (!started)
        emit signal_beauty_finished(); // re-enables the page's sliders
}

void QCropWidget::onImageCutout(cv::Mat image)
{
    if (image.empty() || m_cutout.empty())
        return;
    m_brushMask = image.clone();
    const cv::Mat mask = m_brushMask;
    const cv::Mat current = m_cutout;
    const cv::Mat photo = m_brushView->sourceImage();
    const QEdgeControls::Options edge = m_brushView->edge();
    runJob([=] { return QEdgeControls::apply(QMaskOps::applyMask(photo, current, mask), photo, edge); },
           [this](const cv::Mat& merged) {
               m_cropView->canvas()->setCutout(merged);
               m_cropView->update();
           });
}

void QCropWidget::onBeautyFinished()
{
    m_cropView->setLoading(false);
}

void QCropWidget::save(const QString& folder, int outputSize)
{
    if (m_saving)
        return;
    if (!m_cropView->hasImage() || !m_task) {
        emit signal_saved(folder);
        return;
    }
    const SaveFormat format = QAppSettings::outputFormat();
    const QString path =
        QSaveFileWriter::outputPath(folder, m_task->filePath(), QSaveFileWriter::extension(format));
    QString error;
    const QImageCanvas* canvas = m_cropView->canvas();
    QImageCanvas::SaveJob job =
        canvas->prepareSave(quint8(format), quint8(outputSize), QSaveFileWriter::kilobytes(), &error);
    job.options.photoPath = m_task->filePath();
    job.options.keepPrivate = QAppSettings::keepLocationAndSerials();
    if (job.image.empty()) {
        emit signal_save_failed(error);
        return;
    }
    if (canvas->isIdPhotoApplied()) {
        job.sheet = QIdPhotoPanel::storedSheet();
        job.sheetGap = QIdPhotoPanel::storedGapPixels();
        if (job.sheet != QPrintSheet::NoSheet)
            job.sheetMate = m_framer->sheetMate(QIdPhotoPanel::storedSheetMate());
        if (canvas->cropMode() == QCropTable::kCustomIdSize)
            job.options.dpi = QIdPhotoPanel::customDpi();
        const QCropTable::IdRules* rules = QCropTable::idRules(canvas->cropMode());
        if (rules && !QCropTable::notice(*rules).isEmpty())
            QMsgBox::showWarning(QCropTable::notice(*rules), 1);
    }
    m_saving = true;
    const QPointer<QCropWidget> guard(this);
    QWorkPool::instance()->post([guard, path, job] {
        QSaveFileWriter::Result result;
        QString message;
        const bool ok = job.write(path, &result, &message);
        if (ok)
            message = QSaveFileWriter::rangeMessage(job.options, result);
        runOnGui(guard, [guard, path, ok, message] { guard->finishSave(path, ok, message); });
    });
}

void QCropWidget::finishSave(const QString& path, bool ok, const QString& message)
{
    m_saving = false;
    if (!ok) {
        emit signal_save_failed(message);
        return;
    }
    if (!message.isEmpty())
        QMsgBox::showWarning(message, 1);
    emit signal_saved(path);
}

void QCropWidget::onEraseObject()
{
    if (m_busy || !m_cropView->hasImage() || m_cutout.empty())
        return;
    const cv::Mat photo = m_brushView->sourceImage();
    const cv::Mat current = m_cutout;
    const cv::Mat mask = m_brushMask;
    runJob(
        [=] {
            return mask.empty() || photo.empty() ? current.clone()
                                                 : QMaskOps::applyMask(photo, current, mask);
        },
        [this, photo](const cv::Mat& shown) {
            // The eraser stays open while the user may open another photo here.
            const QPointer<QCropWidget> guard(this);
            QEraserWidget::editImage(this, shown,
                                     [guard, shown, photo, taskId = m_taskId](const cv::Mat& erased) {
                                         if (guard && guard->m_taskId == taskId)
                                             guard->applyErased(shown, photo, erased);
                                     });
        });
}

void QCropWidget::applyErased(const cv::Mat& shown, const cv::Mat& photo, const cv::Mat& erased)
{
    // The brush view's photo takes the erased colours too: a Keep stroke there then
    // keeps what the user sees.
    runJob([=] { return QMaskOps::takeChanges(photo, shown, erased); },
           [=](const cv::Mat& retouched) {
               m_erased.append({shown, erased, photo});
               showBaked(erased, retouched);
           });
}

void QCropWidget::showBaked(const cv::Mat& result, const cv::Mat& photo)
{
    m_cutout = result;
    m_brushMask.release();
    m_brushView->setImages(photo, result);
    m_cropView->canvas()->setCutout(result);
    m_cropView->update();
}

void QCropWidget::undoErase()
{
    if (m_busy || m_erased.isEmpty())
        return;
    const Erased before = m_erased.takeLast();
    showBaked(before.before, before.photo);
}
