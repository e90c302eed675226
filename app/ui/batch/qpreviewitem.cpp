#include "qpreviewitem.h"

#include "csetting.h"
#include "guihandover.h"
#include "keeptranslated.h"
#include "qappsettings.h"
#include "qcroptable.h"
#include "qidframing.h"
#include "qimagecanvas.h"
#include "qimagetask.h"
#include "qloadingctrl.h"
#include "qsavefilewriter.h"
#include "qtaskmanager.h"
#include "qvarnui.h"
#include "qworkpool.h"
#include "readtextfile.h"
#include "ui_qpreviewitem.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {
constexpr int kRepaintDelayMs = 50;

// Preview-size copies of background pictures, removed when the program ends.
QString scaledPictureFolder()
{
    static const QTemporaryDir folder;
    return folder.path();
}
} // namespace

QPreviewItem::QPreviewItem(int kind, const QString& imagePath, QWidget* parent)
    : QWidget(parent), m_kind(kind), m_imagePath(imagePath), ui(new Ui::QPreviewItem)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(":/qss/previewItem.css"));
    ui->loading->setColor(QColor(52, 122, 235, 255));
    ui->loading->setLargestDot(16.0);
    installEventFilter(this);

    connect(ui->btnEdit, &QPushButton::clicked, this, [this] {
        if (isReady())
            emit signal_edit_begin(this, m_taskId);
    });
    connect(ui->btnDownload, &QPushButton::clicked, this, [this] { emit signal_save(this); });
    connect(ui->btnDelete, &QPushButton::clicked, this, [this] { emit signal_remove(this); });
    connect(ui->btnRetry, &QPushButton::clicked, this, &QPreviewItem::onRetry);
    startTask();
}

QPreviewItem::~QPreviewItem()
{
    delete ui;
}

bool QPreviewItem::isReady() const
{
    return m_canvas && m_canvas->isLoaded();
}

bool QPreviewItem::isBusy() const
{
    return ui->loading->isRunning();
}

void QPreviewItem::startTask()
{
    m_error.clear();
    setToolTip(QString());
    ui->btnRetry->hide();
    ui->labelError->hide();
    setLoading(true);
    auto task = std::make_shared<QImageTask>(m_kind, m_imagePath);
    // The task keeps only this copy once its result is in the cache.
    task->setPreviewSide(kPreviewSide);
    task->setFast(QAppSettings::batchFast());
    connect(task.get(), &QImageTask::signal_success, this, &QPreviewItem::onMattingSuccess);
    connect(task.get(), &QImageTask::signal_error, this, &QPreviewItem::onMattingError);
    m_taskId = task->id();
    QTaskManager::addTask(task);
    update();
}

void QPreviewItem::onRetry()
{
    if (isFailed())
        startTask();
}

void QPreviewItem::setLoading(bool running)
{
    ui->loading->setVisible(running);
    if (running)
        ui->loading->start();
    else
        ui->loading->stop();
}

void QPreviewItem::onMattingSuccess(const QString& taskId)
{
    m_taskId = taskId;
    const std::shared_ptr<QImageTask> task = QTaskManager::getTask(taskId);
    if (task) {
        ++m_previewSerial; // a hand edit's shrink still running is outdated now
        showPreview(task->preview());
    }
}

// A hand-edited cut-out is shrunk for the tile on the pool, so the GUI never waits
// for it.
void QPreviewItem::loadPreview(const cv::Mat& full)
{
    const QPointer<QPreviewItem> guard(this);
    const int serial = ++m_previewSerial;
    QWorkPool::instance()->post([guard, serial, full]() {
        cv::Mat small;
        try {
            small = QImageTask::previewOf(full, kPreviewSide);
        } catch (const cv::Exception&) {
        }
        runOnGui(guard, [guard, serial, small]() {
            // Shrinks of two quick edits may end in either order.
            if (serial == guard->m_previewSerial)
                guard->showPreview(small);
        });
    });
}

void QPreviewItem::rematte(const QString& reason)
{
    m_edited.release();
    startTask();
    setToolTip(reason);
}

void QPreviewItem::showPreview(const cv::Mat& cutout)
{
    if (cutout.empty()) {
        onMattingError(tr("The result could not be read."));
        return;
    }
    m_previewWidth = cutout.cols;
    m_previewCutout = cutout;
    m_previewFaces.reset();
    ++m_faceSerial;
    if (!m_canvas) {
        m_canvas = std::make_shared<QImageCanvas>();
        // A new cut-out (first result or a hand edit) keeps the batch's choices.
        connect(m_canvas.get(), &QImageCanvas::signal_update, this, [this] {
            applyLook(*m_canvas, m_look, true);
            frameId();
            setLoading(false);
            setToolTip(m_error);
            emit signal_state_changed(this);
            QTimer::singleShot(kRepaintDelayMs, this, qOverload<>(&QWidget::update));
        });
    }
    m_canvas->loadCutout(cutout, QSize(cutout.cols, cutout.rows));
}

void QPreviewItem::onMattingError(const QString& message)
{
    m_error = message.isEmpty() ? tr("The photo could not be processed.") : message;
    setLoading(false);
    setToolTip(m_error);
    ui->labelError->ensurePolished(); // the style sheet sets its font
    const QFontMetrics metrics(ui->labelError->font());
    ui->labelError->setText(metrics.elidedText(m_error, Qt::ElideRight, ui->labelError->width()));
    ui->labelError->show();
    ui->btnRetry->show();
    ui->frameBottom->hide();
    emit signal_state_changed(this);
    update();
}

void QPreviewItem::applyLook(QImageCanvas& canvas, const Look& look, bool preview)
{
    if (!look.image.isEmpty()) {
        if (!preview || !look.previewImage.isEmpty())
            canvas.setBackgroundImage(preview ? look.previewImage : look.image);
    } else if (look.hasColor)
        canvas.setBackgroundColor(look.color);
    if (look.cropId)
        canvas.applyCropSize(look.cropId, true, look.cropSize);
}

void QPreviewItem::onChangeBackgroundColor(const QColor& color)
{
    if (!isReady())
        return;
    m_look.hasColor = true;
    m_look.color = color;
    m_look.image.clear();
    QFile::remove(m_look.previewImage);
    m_look.previewImage.clear();
    m_canvas->setBackgroundColor(color);
    update();
}

// The preview gets the picture shrunk by the factor its cut-out was shrunk by, so
// that it looks like the saved result; read, shrunk and written on the pool. Thirty
// tiles holding a photo-size picture (and a composed surface of its size) would
// take gigabytes and stall the GUI for seconds.
void QPreviewItem::onChangeBackgroundImage(const QString& imagePath)
{
    const std::shared_ptr<QImageTask> task = QTaskManager::getTask(m_taskId);
    if (!isReady() || !task || task->sourceSize().isEmpty())
        return;
    m_look.image = imagePath;
    const double scale = double(m_previewWidth) / task->sourceSize().width();
    const QString scaledPath =
        QString("%1/%2_%3.png").arg(scaledPictureFolder(), m_taskId).arg(++m_backgroundSerial);
    const QPointer<QPreviewItem> guard(this);
    QWorkPool::instance()->post([guard, imagePath, scale, scaledPath]() {
        QImageReader reader(imagePath);
        reader.setAutoTransform(true);
        const QImage picture = reader.read();
        const QSize size(std::max(1, qRound(picture.width() * scale)),
                         std::max(1, qRound(picture.height() * scale)));
        const bool written =
            !picture.isNull() &&
            picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(scaledPath);
        runOnGui(guard, [guard, imagePath, scaledPath, written]() {
            // Dropped when another background was chosen meanwhile.
            if (guard->m_look.image != imagePath || !guard->isReady())
                return;
            QFile::remove(guard->m_look.previewImage);
            guard->m_look.previewImage = written ? scaledPath : QString();
            guard->m_canvas->setBackgroundImage(guard->m_look.previewImage);
            guard->update();
        });
    });
}

void QPreviewItem::onCropImage(int id, bool commit, const QSize& size)
{
    if (!isReady())
        return;
    m_look.cropId = id;
    m_look.cropSize = size;
    m_canvas->applyCropSize(id, commit, size);
    frameId();
    update();
}

void QPreviewItem::frameId()
{
    if (!m_canvas || !QCropTable::isIdPhoto(m_look.cropId))
        return;
    if (m_previewFaces) {
        QIdFraming::applyTo(*m_canvas, *m_previewFaces);
        update();
        return;
    }
    if (m_findingFaces || m_previewCutout.empty())
        return;
    m_findingFaces = true;
    const QPointer<QPreviewItem> guard(this);
    const int serial = m_faceSerial;
    const cv::Mat cutout = m_previewCutout;
    QWorkPool::instance()->post([guard, serial, cutout] {
        const QIdFraming::Detection found = QIdFraming::detect(cutout);
        runOnGui(guard, [guard, serial, found] {
            guard->m_findingFaces = false;
            // Faces of an older cut-out: look again in the current one.
            if (serial == guard->m_faceSerial)
                guard->m_previewFaces = found;
            guard->frameId();
        });
    });
}

void QPreviewItem::onImageCutBegin()
{
    setLoading(true);
}

void QPreviewItem::onImageCutFinished(cv::Mat image)
{
    if (isReady() && !image.empty()) {
        m_edited = image;
        loadPreview(image);
    } else {
        setLoading(false);
    }
    emit signal_edit_finished(this);
}

QString QPreviewItem::targetPath(quint8 format, const QString& folder) const
{
    return QSaveFileWriter::outputPath(folder, m_imagePath, QSaveFileWriter::extension(SaveFormat(format)));
}

void QPreviewItem::saveTo(quint8 format, const QString& folder, bool openFolder, const SaveDone& done)
{
    const QString file = targetPath(format, folder);
    const QString photo = m_imagePath;
    const bool keepPrivate = QAppSettings::keepLocationAndSerials();
    buildResult(format, [file, photo, keepPrivate, openFolder, done](QImageCanvas::SaveJob job, QString why) {
        job.options.photoPath = photo;
        job.options.keepPrivate = keepPrivate;
        const bool ok = job.write(file, nullptr, &why);
        runOnGui([ok, file, why, openFolder, done]() {
            if (ok && openFolder)
                QVarnUI::openFolder(file, true);
            done(ok, file, why);
        });
    });
}

void QPreviewItem::buildResult(quint8 format, const ResultReady& ready)
{
    const quint8 outputSize = quint8(CSetting::getInt("output", "size", 1));
    const std::shared_ptr<QImageTask> task = QTaskManager::getTask(m_taskId);
    if (!isReady() || !task) {
        const QString why = tr("The photo has no result yet.");
        QWorkPool::instance()->post([ready, why]() { ready({}, why); });
        return;
    }
    const QPointer<QPreviewItem> guard(this);
    const QString taskId = m_taskId;
    const Look look = m_look;
    const cv::Mat edited = m_edited;
    const QSaveFileWriter::Kilobytes kilobytes = QSaveFileWriter::kilobytes();
    QWorkPool::instance()->post([guard, task, taskId, look, edited, format, outputSize, kilobytes, ready]() {
        QString error;
        const cv::Mat full = edited.empty() ? task->loadCutout(&error) : edited;
        // Unguarded: `ready` is owed an answer even when the tile has gone.
        runOnGui([guard, task, taskId, look, full, error, format, outputSize, kilobytes, ready]() {
            if (full.empty()) {
                if (guard && guard->m_taskId == taskId)
                    guard->rematte(error);
                QWorkPool::instance()->post([ready, error]() { ready({}, error); });
                return;
            }
            // The canvas is this build's alone: the pool job below may apply the
            // look (a background picture is read there) and render it.
            auto canvas = std::make_shared<QImageCanvas>();
            auto connection = std::make_shared<QMetaObject::Connection>();
            *connection = connect(canvas.get(), &QImageCanvas::signal_update, canvas.get(), [=] {
                QObject::disconnect(*connection);
                QWorkPool::instance()->post([=]() mutable {
                    applyLook(*canvas, look, false);
                    if (QCropTable::isIdPhoto(look.cropId))
                        QIdFraming::applyTo(*canvas, QIdFraming::detect(full));
                    QString why;
                    ready(canvas->prepareSave(format, outputSize, kilobytes, &why), why);
                    // The canvas is a QObject of the GUI thread: its last reference goes there.
                    runOnGui([canvas]() {});
                    canvas.reset();
                });
            });
            canvas->loadCutout(full, task->sourceSize());
        });
    });
}

bool QPreviewItem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        const bool hovered = event->type() == QEvent::Enter;
        // Download and Edit need a result; Retry and the delete button do not.
        ui->frameBottom->setVisible(hovered && isReady());
        ui->btnDelete->setVisible(hovered);
    }
    return QWidget::eventFilter(watched, event);
}

void QPreviewItem::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (int y = 0; y < height(); y += 8)
        for (int x = 0; x < width(); x += 8)
            painter.fillRect(QRect(x, y, 8, 8),
                             ((x / 8 + y / 8) % 2 == 0) ? QColor(255, 255, 255) : QColor(220, 220, 220));
    if (isReady()) {
        QPixmap picture = m_canvas->composedPixmap(false);
        if (m_canvas->isCropApplied())
            picture = picture.copy(m_canvas->cropRect());
        picture = picture.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QPoint at((width() - picture.width()) / 2, (height() - picture.height()) / 2);
        painter.drawPixmap(at, picture);
        painter.setPen(QColor(160, 160, 160));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(at, QSize(picture.width() - 1, picture.height() - 1)));
    } else if (isFailed()) {
        // A red cross in a circle: the photo failed; the line below says why.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(220, 50, 50), 4));
        painter.drawEllipse(QPoint(80, 60), 28, 28);
        painter.drawLine(66, 46, 94, 74);
        painter.drawLine(94, 46, 66, 74);
    }
}
