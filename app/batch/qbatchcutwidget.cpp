#include "qbatchcutwidget.h"

#include "qimagecutoutwidget.h"
#include "qimagehelp.h"
#include "qimagetask.h"
#include "qmattingbutton.h"
#include "qtaskmanager.h"
#include "qworkpool.h"
#include "readtextfile.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {
QMattingButton* makeHistoryButton(const char* name, const QString& text, const QString& icon, QWidget* parent)
{
    auto* button = new QMattingButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setIconSize(QSize(16, 16));
    button->setLook(14, "#666666", "#347AEB", "#B7B7B9", QString(":/image/btn.%1.png").arg(icon),
                    QString(":/image/btn.%1.hover.png").arg(icon), QString(":/image/btn.%1.disable.png").arg(icon));
    button->disable();
    return button;
}

QPushButton* makeZoomButton(const char* name, const char* picture, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon(picture));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}
} // namespace

QBatchCutWidget::QBatchCutWidget(QWidget* parent) : QWidget(parent)
{
    setStyleSheet(readTextFile(":/qss/Crop.css"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    auto* frameImage = new QFrame(this);
    frameImage->setObjectName("frameImage");
    m_imageLayout = new QVBoxLayout(frameImage);
    m_imageLayout->setObjectName("vLayoutImage");
    root->addWidget(frameImage, 1);

    auto* bottom = new QFrame(this);
    bottom->setObjectName("frameBottom");
    auto* bar = new QHBoxLayout(bottom);
    auto* labelText = new QLabel(tr("View:"), bottom);
    labelText->setObjectName("labelImageText");
    m_labelFactor = new QLabel("100%", bottom);
    m_labelFactor->setObjectName("labelImageFactor");
    QPushButton* zoomIn = makeZoomButton("btnZoomIn", ":/image/btn.zoom.in.png", bottom);
    m_slider = new QSlider(Qt::Horizontal, bottom);
    m_slider->setObjectName("hSliderImageFactor");
    m_slider->setRange(kMinPercent, kMaxPercent);
    m_slider->setValue(100);
    QPushButton* zoomOut = makeZoomButton("btnZoomOut", ":/image/btn.zoom.out.png", bottom);
    auto* hint = new QLabel(tr("（Right click to move the canvas）"), bottom);
    hint->setObjectName("labelImageDesc");
    m_btnUndo = makeHistoryButton("BtnUndo", tr("Undo"), "undo", bottom);
    m_btnRestore = makeHistoryButton("BtnRestore", tr("Restore"), "restore", bottom);
    for (QWidget* w : std::initializer_list<QWidget*>{labelText, m_labelFactor, zoomIn, m_slider, zoomOut, hint})
        bar->addWidget(w);
    bar->addStretch();
    bar->addWidget(m_btnUndo);
    bar->addWidget(m_btnRestore);
    root->addWidget(bottom);

    connect(zoomIn, &QPushButton::clicked, this, &QBatchCutWidget::onBtnZoomIn);
    connect(zoomOut, &QPushButton::clicked, this, &QBatchCutWidget::onBtnZoomOut);
    connect(m_slider, &QSlider::valueChanged, this, &QBatchCutWidget::onSliderValueChanged);
    connect(m_btnUndo, &TButton::clicked, this, &QBatchCutWidget::onBtnUndo);
    connect(m_btnRestore, &TButton::clicked, this, &QBatchCutWidget::onBtnRestore);
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
        connect(m_view, &QImageCutoutWidget::signal_image_cutout, this, &QBatchCutWidget::onImageCutout);
        connect(m_view, &QImageCutoutWidget::signal_factor_changed, this, &QBatchCutWidget::onFactorChanged);
        connect(m_view, &QImageCutoutWidget::signal_history_changed, this, &QBatchCutWidget::onHistoryChanged,
                Qt::QueuedConnection);
        m_imageLayout->addWidget(m_view);
        m_views.insert(taskId, m_view);
        loadImages(task, m_view);
    }
    m_view->show();
    onFactorChanged(m_view->factor());
    onHistoryChanged();
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
        const cv::Mat photo = cutout.empty() ? cv::Mat() : QImageHelp::readImageFile(task->filePath());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, target, task, cutout, photo, error]() {
                if (!guard || !target || guard->m_views.value(task->id()) != target)
                    return;
                if (cutout.empty()) {
                    guard->forgetTask(task->id());
                    emit guard->signal_load_failed(task->id(), error);
                    return;
                }
                guard->m_cutouts.insert(task->id(), cutout);
                target->setImages(photo, cutout);
            },
            Qt::QueuedConnection);
    });
}

void QBatchCutWidget::forgetTask(const QString& taskId)
{
    m_cutouts.remove(taskId);
    QImageCutoutWidget* view = m_views.take(taskId);
    if (!view)
        return;
    if (view == m_view) {
        m_view = nullptr;
        m_taskId.clear();
    }
    view->deleteLater();
}

void QBatchCutWidget::showFactor(int percent)
{
    const QSignalBlocker block(m_slider);
    m_slider->setValue(percent);
    m_labelFactor->setText(QString("%1%").arg(m_slider->value()));
}

// The minus picture sits on "zoom in" and the plus picture on "zoom out": each
// button does what its picture shows.
void QBatchCutWidget::onBtnZoomIn()
{
    if (m_view)
        showFactor(int(m_view->zoomOut() * 100));
}

void QBatchCutWidget::onBtnZoomOut()
{
    if (m_view)
        showFactor(int(m_view->zoomIn() * 100));
}

void QBatchCutWidget::onSliderValueChanged(int value)
{
    m_labelFactor->setText(QString("%1%").arg(value));
    if (m_view)
        m_view->setFactor(value / 100.0f);
}

void QBatchCutWidget::onFactorChanged(float factor)
{
    showFactor(int(factor * 100));
}

void QBatchCutWidget::onBtnUndo()
{
    if (m_view)
        m_view->undo();
    onHistoryChanged();
}

void QBatchCutWidget::onBtnRestore()
{
    if (m_view)
        m_view->redo();
    onHistoryChanged();
}

void QBatchCutWidget::onHistoryChanged()
{
    const bool undo = m_view && m_view->canUndo();
    const bool restore = m_view && m_view->canRedo();
    undo ? m_btnUndo->enable() : m_btnUndo->disable();
    restore ? m_btnRestore->enable() : m_btnRestore->disable();
}

void QBatchCutWidget::onChangeBrushSize(int size)
{
    if (m_view)
        m_view->setBrushSize(size);
}

void QBatchCutWidget::onRepairBackground(bool keep)
{
    if (m_view)
        m_view->setKeepMode(keep);
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
    const QPointer<QBatchCutWidget> guard(this);
    const QString taskId = m_taskId;
    QWorkPool::instance()->post([guard, cutout, taskId, mask, photo]() {
        cv::Mat merged;
        try {
            merged = QImageHelp::applyMask(photo, cutout, mask);
        } catch (const cv::Exception&) {
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, taskId, merged]() {
                if (!guard)
                    return;
                guard->m_finishedTaskId = taskId;
                emit guard->signal_cut_finished(merged);
            },
            Qt::QueuedConnection);
    });
}
