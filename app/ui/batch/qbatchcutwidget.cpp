#include "qbatchcutwidget.h"

#include "guihandover.h"
#include "keeptranslated.h"
#include "qedgecontrols.h"
#include "qeraserwidget.h"
#include "qimageconvert.h"
#include "qimagecutoutwidget.h"
#include "qimagefiles.h"
#include "qimagetask.h"
#include "qmaskops.h"
#include "qmsgbox.h"
#include "qpagecutout.h"
#include "qtaskmanager.h"
#include "qviewcontrols.h"
#include "qworkpool.h"
#include "readtextfile.h"
#include "ui_qbatchcutwidget.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>

#include <algorithm>

QBatchCutWidget::QBatchCutWidget(QWidget* parent) : QWidget(parent), ui(new Ui::QBatchCutWidget)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(":/qss/Crop.css"));
    m_controls = new QViewControls({ui->btnZoomIn, ui->btnZoomOut, ui->hSliderImageFactor,
                                    ui->labelImageFactor, ui->BtnUndo, ui->BtnRestore},
                                   "#666666", this);
    setupShortcuts();
    connect(ui->btnEraseObject, &QPushButton::clicked, this, &QBatchCutWidget::onEraseObject);
}

// Window-wide like the single editor's, so they work wherever the focus is on the
// edit page; they sleep while the page is hidden.
void QBatchCutWidget::setupShortcuts()
{
    const auto add = [this](const QKeySequence& keys, auto slot) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    add(QKeySequence(Qt::CTRL + Qt::Key_Z), [this] { undo(); });
    add(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), [this] { m_controls->onBtnRestore(); });
    add(QKeySequence(Qt::CTRL + Qt::Key_Y), [this] { m_controls->onBtnRestore(); });
    const auto step = [this](int delta) {
        // The magic brush has no size to change.
        if (m_view && !m_brush.magic)
            emit signal_brush_size_wanted(m_brush.size + delta);
    };
    add(QKeySequence(Qt::Key_BracketLeft), [step] { step(-kBrushStep); });
    add(QKeySequence(Qt::Key_BracketRight), [step] { step(kBrushStep); });
}

QBatchCutWidget::~QBatchCutWidget()
{
    // The base destructor hides the views, and a view hands its unsaved strokes
    // over when hidden: nobody is left to take them.
    for (QImageCutoutWidget* view : qAsConst(m_views))
        disconnect(view, nullptr, this, nullptr);
    delete ui;
}

void QBatchCutWidget::loadTask(const QString& taskId)
{
    if (taskId == m_taskId && m_view)
        return;
    const std::shared_ptr<QImageTask> task = QTaskManager::getTask(taskId);
    if (!task)
        return;
    if (m_view)
        m_view->hide();
    m_taskId = taskId;
    m_view = m_views.value(taskId);
    if (!m_view) {
        m_view = new QImageCutoutWidget(this);
        m_view->setObjectName(QStringLiteral("brushView"));
        connect(m_view, &QImageCutoutWidget::signal_image_cutout, this, &QBatchCutWidget::onImageCutout);
        connect(m_view, &QImageCutoutWidget::signal_edge_shown, this, &QBatchCutWidget::signal_edge_shown);
        ui->vLayoutImage->addWidget(m_view);
        m_views.insert(taskId, m_view);
        loadImages(task, m_view);
    }
    applyBrush();
    m_view->show();
    m_controls->setZoomTarget(m_view);
    m_controls->setHistoryTarget(m_view);
    emit signal_edge_shown(m_view->edge());
    emit signal_shadow_shown(m_keepShadow.value(taskId));
}

// The task kept only a preview-size copy: its full cut-out is read back from the
// cache, and the photo read, on the pool. The cut-out stays here while the tile's
// view exists, as every stroke is merged with it.
void QBatchCutWidget::loadImages(const std::shared_ptr<QImageTask>& task, QImageCutoutWidget* view)
{
    const QPointer<QBatchCutWidget> guard(this);
    const QPointer<QImageCutoutWidget> target(view);
    QWorkPool::instance()->post([guard, target, task]() {
        QString error;
        const cv::Mat cutout = task->loadCutout(&error);
        const cv::Mat photo = cutout.empty() ? cv::Mat() : QImageFiles::read(task->filePath());
        runOnGui(guard, [guard, target, task, cutout, photo, error]() {
            if (!target || guard->m_views.value(task->id()) != target)
                return;
            if (cutout.empty()) {
                guard->forgetTask(task->id());
                emit guard->signal_load_failed(task->id(), error);
                return;
            }
            guard->m_cutouts.insert(task->id(), cutout);
            target->setImages(photo, cutout);
        });
    });
}

void QBatchCutWidget::forgetTask(const QString& taskId)
{
    m_cutouts.remove(taskId);
    m_erased.remove(taskId);
    m_handedOverSerial.remove(taskId);
    m_keepShadow.remove(taskId);
    QImageCutoutWidget* view = m_views.take(taskId);
    if (!view)
        return;
    if (view == m_view) {
        m_view = nullptr;
        m_taskId.clear();
        m_controls->setZoomTarget<QImageCutoutWidget>(nullptr);
        m_controls->setHistoryTarget(nullptr);
    }
    view->deleteLater();
}

// Only the open view follows at once; another tile's view takes the brush when it
// is opened again.
void QBatchCutWidget::applyBrush()
{
    if (!m_view)
        return;
    m_view->setBrushSize(m_brush.size);
    m_view->setKeepMode(m_brush.keep);
    m_view->setMagicMode(m_brush.magic);
    m_view->setHardness(m_brush.hardness);
}

void QBatchCutWidget::onChangeBrushSize(int size)
{
    m_brush.size = size;
    applyBrush();
}

void QBatchCutWidget::onRepairBackground(bool keep)
{
    m_brush.keep = keep;
    applyBrush();
}

void QBatchCutWidget::onChangeBrush(bool magic)
{
    m_brush.magic = magic;
    applyBrush();
}

void QBatchCutWidget::onChangeHardness(int hardness)
{
    m_brush.hardness = hardness;
    applyBrush();
}

void QBatchCutWidget::onRefine()
{
    if (m_view)
        m_view->refine();
}

void QBatchCutWidget::onEdge(const QEdgeControls::Options& edge, bool final)
{
    if (m_view)
        m_view->setEdge(edge, final);
}

void QBatchCutWidget::onImageCutout(cv::Mat image)
{
    const cv::Mat cutout = m_cutouts.value(m_taskId);
    if (cutout.empty() || !m_view || image.empty())
        return;
    emit signal_cut_begin();
    // The job works on its own copies: the next stroke may replace the kept mask
    // while it runs.
    m_lastMask = image.clone();
    const cv::Mat mask = m_lastMask.clone();
    const cv::Mat photo = m_view->sourceImage().clone();
    const QEdgeControls::Options edge = m_view->edge();
    const QPointer<QBatchCutWidget> guard(this);
    const QString taskId = m_taskId;
    const int serial = ++m_mergeSerial;
    QWorkPool::instance()->post([guard, cutout, taskId, serial, mask, photo, edge]() {
        cv::Mat merged;
        try {
            merged = QEdgeControls::apply(QMaskOps::applyMask(photo, cutout, mask), photo, edge);
        } catch (const cv::Exception&) {
        }
        runOnGui(guard, [guard, taskId, serial, merged]() {
            guard->m_finishedTaskId = taskId;
            // Merges run side by side: one that ends after a later stroke's
            // merge was handed over must not undo that stroke, so the tile
            // only gets an empty result (its indicator stops).
            int& handedOver = guard->m_handedOverSerial[taskId];
            const bool stale = serial < handedOver;
            handedOver = std::max(handedOver, serial);
            emit guard->signal_cut_finished(stale ? cv::Mat() : merged);
        });
    });
}

void QBatchCutWidget::undo()
{
    if (m_view && !m_view->canUndo() && !m_erased.value(m_taskId).isEmpty()) {
        const QPair<cv::Mat, cv::Mat> before = m_erased[m_taskId].takeLast();
        bake(m_taskId, before.first, before.second);
    } else {
        m_controls->onBtnUndo();
    }
}

void QBatchCutWidget::onEraseObject()
{
    if (!m_view || !m_view->isReady())
        return;
    const cv::Mat cutout = m_cutouts.value(m_taskId);
    const cv::Mat photo = m_view->sourceImage();
    const cv::Mat mask = QImageConvert::imageToMat(m_view->mask()).clone();
    const QPointer<QBatchCutWidget> guard(this);
    const QString taskId = m_taskId;
    QWorkPool::instance()->post([guard, taskId, cutout, photo, mask] {
        const cv::Mat shown = QMaskOps::applyMask(photo, cutout, mask);
        runOnGui(guard, [guard, taskId, shown, photo] {
            QEraserWidget::editImage(guard, shown, [guard, taskId, shown, photo](const cv::Mat& erased) {
                QWorkPool::instance()->post([guard, taskId, shown, photo, erased] {
                    const cv::Mat retouched = QMaskOps::takeChanges(photo, shown, erased);
                    runOnGui(guard, [guard, taskId, shown, photo, erased, retouched] {
                        if (!guard->m_views.contains(taskId))
                            return;
                        guard->m_erased[taskId].append({shown, photo});
                        guard->bake(taskId, erased, retouched);
                    });
                });
            });
        });
    });
}

void QBatchCutWidget::bake(const QString& taskId, const cv::Mat& result, const cv::Mat& photo)
{
    m_cutouts.insert(taskId, result);
    m_views.value(taskId)->setImages(photo, result);
    m_finishedTaskId = taskId;
    m_handedOverSerial[taskId] = ++m_mergeSerial;
    if (taskId == m_taskId)
        emit signal_edge_shown(QEdgeControls::Options()); // the view starts over
    emit signal_cut_begin();
    emit signal_cut_finished(result);
}

void QBatchCutWidget::onKeepShadow(bool keep)
{
    const std::shared_ptr<QImageTask> tile = QTaskManager::getTask(m_taskId);
    if (!m_view || !tile || m_keepShadow.value(m_taskId) == keep)
        return;
    if ((!m_erased.value(m_taskId).isEmpty() || m_view->canUndo()) && !QPageCutOut::confirmRematte()) {
        emit signal_shadow_shown(!keep);
        return;
    }
    m_keepShadow.insert(m_taskId, keep);
    auto task = std::make_shared<QImageTask>(tile->type(), tile->filePath());
    task->setKeepShadow(keep);
    const QString taskId = m_taskId;
    connect(task.get(), &QImageTask::signal_success, this, [this, taskId, keep](const QString& id) {
        takeShadowCutout(taskId, keep, QTaskManager::getTask(id));
    });
    connect(task.get(), &QImageTask::signal_error, this, [this, taskId, keep](const QString& message) {
        if (m_keepShadow.value(taskId) != keep)
            return;
        m_keepShadow.insert(taskId, !keep);
        if (taskId == m_taskId)
            emit signal_shadow_shown(!keep);
        m_finishedTaskId = taskId;
        emit signal_cut_finished(cv::Mat());
        QMsgBox::showWarning(message, 1);
    });
    emit signal_cut_begin();
    QTaskManager::addTask(task);
}

// The photo is read again: the new cut-out is matted from the file, so an erase
// made on the old one no longer applies.
void QBatchCutWidget::takeShadowCutout(const QString& taskId, bool keep,
                                       const std::shared_ptr<QImageTask>& task)
{
    if (!task)
        return;
    const QPointer<QBatchCutWidget> guard(this);
    QWorkPool::instance()->post([guard, taskId, keep, task] {
        const cv::Mat cutout = task->loadCutout();
        const cv::Mat photo = cutout.empty() ? cv::Mat() : QImageFiles::read(task->filePath());
        task->releaseCutout();
        runOnGui(guard, [guard, taskId, keep, cutout, photo] {
            // A later switch on the same tile, or the tile gone: this answer is stale.
            if (!guard->m_views.contains(taskId) || guard->m_keepShadow.value(taskId) != keep)
                return;
            if (cutout.empty() || photo.empty()) {
                guard->m_finishedTaskId = taskId;
                emit guard->signal_cut_finished(cv::Mat());
                return;
            }
            guard->m_erased.remove(taskId);
            guard->bake(taskId, cutout, photo);
        });
    });
}
