#include "qimageitem.h"

#include "readtextfile.h"

#include <QBitmap>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>

namespace {
constexpr int kTileWidth = 126;
constexpr int kTileHeight = 144;
constexpr int kInset = 6;

// Reads the photo already shrunk by the decoder where the format allows it, so a
// 12-megapixel JPEG never sits in memory at full size just to become a thumbnail.
QPixmap loadThumbnail(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > 4 * QImageItem::kThumbSide || full.height() > 4 * QImageItem::kThumbSide))
        reader.setScaledSize(full.scaled(4 * QImageItem::kThumbSide, 4 * QImageItem::kThumbSide, Qt::KeepAspectRatio));
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

QImageItem::QImageItem(const QString& path, QWidget* parent) : QWidget(parent), m_path(path)
{
    setUpTile();
    m_thumbnail = loadThumbnail(path);

    const QString fileName = QFileInfo(path).fileName();
    m_labelName = new QLabel(this);
    m_labelName->setObjectName("labelImageName");
    m_labelName->setGeometry(kInset, 122, 110, 20);
    m_labelName->setAlignment(Qt::AlignCenter);
    m_labelName->setText(m_labelName->fontMetrics().elidedText(fileName, Qt::ElideRight, 100));
    m_labelName->setToolTip(fileName);
    m_labelName->hide();

    m_btnDelete = new QPushButton(this);
    m_btnDelete->setObjectName("btnItemDelete");
    m_btnDelete->setGeometry(12, 12, 24, 24);
    m_btnDelete->setCursor(Qt::PointingHandCursor);
    m_btnDelete->hide();
    connect(m_btnDelete, &QPushButton::clicked, this, [this] { emit signal_delete(this); });
    installEventFilter(this);
}

QImageItem::QImageItem(QWidget* parent) : QWidget(parent)
{
    setUpTile();
    m_btnAdd = new QPushButton(this);
    m_btnAdd->setObjectName("btnItemAddImage");
    m_btnAdd->setGeometry(kInset, kInset, kThumbSide, kThumbSide);
    m_btnAdd->setCursor(Qt::PointingHandCursor);
    connect(m_btnAdd, &QPushButton::clicked, this, &QImageItem::signal_add_image);
}

void QImageItem::setUpTile()
{
    setFixedSize(kTileWidth, kTileHeight);
    setStyleSheet(readTextFile(":/qss/imageItem.css"));
}

bool QImageItem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && m_btnDelete && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        const bool hovered = event->type() == QEvent::Enter;
        m_btnDelete->setVisible(hovered);
        m_labelName->setVisible(hovered);
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
        QWidget::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap((kThumbSide - m_thumbnail.width()) / 2 + kInset,
                       (kThumbSide - m_thumbnail.height()) / 2 + kInset, m_thumbnail);
}
