#include "qimageitem.h"

#include "readtextfile.h"
#include "ui_qimageitem.h"

#include <QBitmap>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QStyleOption>

namespace {
constexpr int kInset = 6;

// Reads the photo already shrunk by the decoder where the format allows it, so a
// 12-megapixel JPEG never sits in memory at full size just to become a thumbnail.
QPixmap loadThumbnail(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() &&
        (full.width() > 4 * QImageItem::kThumbSide || full.height() > 4 * QImageItem::kThumbSide))
        reader.setScaledSize(
            full.scaled(4 * QImageItem::kThumbSide, 4 * QImageItem::kThumbSide, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    QPixmap scaled = QPixmap::fromImage(image.scaled(QImageItem::kThumbSide, QImageItem::kThumbSide,
                                                     Qt::KeepAspectRatio, Qt::SmoothTransformation));
    // Bits set are shown: the rounded rectangle keeps the picture, the corners drop.
    QBitmap mask(scaled.size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(mask.rect(), 4, 4);
    painter.end();
    scaled.setMask(mask);
    return scaled;
}
} // namespace

QImageItem::QImageItem(const QString& path, QWidget* parent)
    : QWidget(parent), ui(new Ui::QImageItem), m_path(path)
{
    setUpTile();
    delete ui->btnItemAddImage;
    ui->btnItemAddImage = nullptr;
    m_thumbnail = loadThumbnail(path);

    const QString fileName = QFileInfo(path).fileName();
    ui->labelImageName->setText(ui->labelImageName->fontMetrics().elidedText(fileName, Qt::ElideRight, 100));
    ui->labelImageName->setToolTip(fileName);
    // It stays in the batch (the service may still read it, or say why not), but
    // the user sees at once which file has no picture to show.
    if (m_thumbnail.isNull())
        setToolTip(tr("%1 cannot be shown as a picture.").arg(fileName));
    connect(ui->btnItemDelete, &QPushButton::clicked, this, [this] { emit signal_delete(this); });
    installEventFilter(this);
}

QImageItem::QImageItem(QWidget* parent) : QWidget(parent), ui(new Ui::QImageItem)
{
    setUpTile();
    delete ui->labelImageName;
    ui->labelImageName = nullptr;
    delete ui->btnItemDelete;
    ui->btnItemDelete = nullptr;
    connect(ui->btnItemAddImage, &QPushButton::clicked, this, &QImageItem::signal_add_image);
}

QImageItem::~QImageItem()
{
    delete ui;
}

void QImageItem::setUpTile()
{
    ui->setupUi(this);
    setStyleSheet(readTextFile(":/qss/imageItem.css"));
}

bool QImageItem::isAddTile() const
{
    return ui->btnItemAddImage != nullptr;
}

bool QImageItem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && ui->btnItemDelete &&
        (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        const bool hovered = event->type() == QEvent::Enter;
        ui->btnItemDelete->setVisible(hovered);
        ui->labelImageName->setVisible(hovered);
    }
    return QWidget::eventFilter(watched, event);
}

void QImageItem::paintEvent(QPaintEvent* event)
{
    if (isAddTile() || m_thumbnail.isNull()) {
        // Let the style sheet draw the plain tile.
        QStyleOption option;
        option.initFrom(this);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
        if (!isAddTile()) {
            painter.setPen(QColor(0x99, 0x99, 0x99));
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, tr("No preview"));
        }
        QWidget::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap((kThumbSide - m_thumbnail.width()) / 2 + kInset,
                       (kThumbSide - m_thumbnail.height()) / 2 + kInset, m_thumbnail);
}
