#include "qpagechangebg.h"
#include "ui_qpagechangebg.h"

#include "cglobal.h"
#include "csetting.h"
#include "keeptranslated.h"
#include "logger.h"
#include "qfilechooser.h"
#include "qimagebutton.h"
#include "qimagefiles.h"
#include "qimageheader.h"
#include "qmsgbox.h"
#include "qswatches.h"
#include "qvarnui.h"
#include "readtextfile.h"

#include <QColorDialog>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTimer>

namespace {

constexpr int kCornerRadius = 4;

QImageButton* buttonAt(QGridLayout* grid, int index)
{
    QLayoutItem* item = grid->itemAtPosition(index / QSwatches::kColumns, index % QSwatches::kColumns);
    return item ? qobject_cast<QImageButton*>(item->widget()) : nullptr;
}

} // namespace

QPageChangeBg::QPageChangeBg(QWidget* parent) : QWidget(parent), ui(new Ui::QPageChangeBg)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(QStringLiteral(":/qss/PageChangeBackground.css")));
    showTab(ui->btnColor);
    fillColorGrid();
    fillTemplateGrid();

    auto* add = new QImageButton(SwatchEntry::Picture, QStringLiteral(":/image/btn.add.template.png"), false,
                                 ui->frameCustom);
    add->setObjectName(QStringLiteral("btnAddTemplate"));
    keepTranslated(add, [add] { add->setToolTip(tr("Add a picture of your own")); });
    ui->gridLayoutCustom->addWidget(add, 0, 0);
    connect(add, &TButton::clicked, this, &QPageChangeBg::onBtnAddTemplate);

    connect(ui->btnColor, &QPushButton::clicked, this, &QPageChangeBg::onBtnColor);
    connect(ui->btnTemplate, &QPushButton::clicked, this, &QPageChangeBg::onBtnTemplate);
    connect(ui->btnCustom, &QPushButton::clicked, this, &QPageChangeBg::onBtnCustom);
}

QPageChangeBg::~QPageChangeBg()
{
    delete ui;
}

void QPageChangeBg::fillColorGrid()
{
    const QVector<SwatchEntry>& entries = QSwatches::pageColors();
    for (int i = 0; i < entries.size(); ++i) {
        const SwatchEntry& e = entries[i];
        auto* button = new QImageButton(e.kind, QLatin1String(e.text), e.bordered, ui->frameColor);
        button->setCheckable(e.checkable);
        ui->gridLayoutColor->addWidget(button, i / QSwatches::kColumns, i % QSwatches::kColumns);
        if (i == entries.size() - 1) {
            keepTranslated(button, [button] { button->setToolTip(tr("More colors")); });
            connect(button, &TButton::clicked, this, &QPageChangeBg::onBtnSelectColor);
            continue;
        }
        const QColor color = e.color;
        connect(button, &TButton::clicked, this, [this, color, button] { onBtnChangeColor(color, button); });
    }
    m_selected = buttonAt(ui->gridLayoutColor, 0);
    m_selected->setChecked(true);
}

void QPageChangeBg::fillTemplateGrid()
{
    const QVector<TemplateEntry>& entries = QSwatches::templates();
    for (int i = 0; i < entries.size(); ++i) {
        auto* button = new QImageButton(SwatchEntry::Picture, QLatin1String(entries[i].thumbnail), true,
                                        ui->frameTemplate);
        button->setCheckable(true);
        ui->gridLayoutTemplate->addWidget(button, i / QSwatches::kColumns, i % QSwatches::kColumns);
        if (i == 0) {
            // The first template is the transparency chequer: it means no background.
            connect(button, &TButton::clicked, this,
                    [this, button] { onBtnChangeColor(QColor(Qt::transparent), button); });
            continue;
        }
        const QString background = QLatin1String(entries[i].background);
        connect(button, &TButton::clicked, this,
                [this, background, button] { onBtnChangeTemplate(background, button); });
    }
}

void QPageChangeBg::showTab(QWidget* tabButton)
{
    const std::pair<QWidget*, QWidget*> tabs[] = {{ui->btnColor, ui->frameColor},
                                                  {ui->btnTemplate, ui->frameTemplate},
                                                  {ui->btnCustom, ui->frameCustom}};
    for (const auto& [button, frame] : tabs) {
        QVarnUI::setCtrlProperty(button, "checked", button == tabButton);
        frame->setVisible(button == tabButton);
    }
}

void QPageChangeBg::onBtnColor()
{
    showTab(ui->btnColor);
}

void QPageChangeBg::onBtnTemplate()
{
    showTab(ui->btnTemplate);
}

void QPageChangeBg::onBtnCustom()
{
    showTab(ui->btnCustom);
}

void QPageChangeBg::select(QImageButton* button)
{
    if (m_selected && m_selected != button)
        m_selected->setChecked(false);
    m_selected = button;
}

void QPageChangeBg::onBtnChangeColor(const QColor& color, QImageButton* button)
{
    select(button);
    emit signal_color(color);
}

void QPageChangeBg::onBtnChangeTemplate(const QString& imagePath, QImageButton* button)
{
    select(button);
    emit signal_image(imagePath);
}

void QPageChangeBg::onBtnChangeImage(const QString& imagePath, QImageButton* button)
{
    select(button);
    emit signal_image(imagePath);
}

void QPageChangeBg::onBtnSelectColor()
{
    const QColor color = QColorDialog::getColor(Qt::white, this, QString());
    if (color.isValid())
        sendLater(color);
}

void QPageChangeBg::sendLater(const QColor& color)
{
    QTimer::singleShot(kSendDelayMs, this, [this, color] {
        select(nullptr);
        emit signal_color(color);
    });
}

void QPageChangeBg::sendLater(const QString& imagePath)
{
    QTimer::singleShot(kSendDelayMs, this, [this, imagePath] {
        select(nullptr);
        emit signal_image(imagePath);
    });
}

void QPageChangeBg::onBtnAddTemplate()
{
    const QString folder = CSetting::getString("template", "path", CGlobal::getDesktopPath());
    const QString path =
        QFileChooser::openFile(this, tr("Select Image"), folder, QFileChooser::imageFilter());
    if (path.isEmpty())
        return;
    CSetting::setValue("template", "path", QFileInfo(path).absolutePath());
    if (!m_customPaths.contains(path)) {
        if (!QImageFiles::missingReader(path).isEmpty()) {
            QMsgBox::showWarning(QImageFiles::missingReader(path), 1);
            return;
        }
        const QSize claimed = QImageReader(path).size();
        if (qint64(claimed.width()) * claimed.height() > QImageHeader::kMaxPixels) {
            // Refused before decoding: the decoder would allocate all of it first.
            QMsgBox::showWarning(
                tr("\"%1\" is too large to be used as the background.").arg(QDir::toNativeSeparators(path)),
                1);
            return;
        }
        const QImage picture = QImageFiles::readImage(path);
        if (picture.isNull()) {
            // Nothing would show behind the subject; say why rather than add a dead swatch.
            QMsgBox::showWarning(
                tr("\"%1\" cannot be read as a picture, so it cannot be used as the background.")
                    .arg(QDir::toNativeSeparators(path)),
                1);
            return;
        }
        m_customPaths.append(path);
        addCustomButton(path, saveThumbnail(picture));
    }
    sendLater(path);
}

void QPageChangeBg::addCustomButton(const QString& imagePath, const QString& thumbnail)
{
    auto* button = new QImageButton(SwatchEntry::Picture, thumbnail, true, ui->frameCustom);
    button->setToolTip(QDir::toNativeSeparators(imagePath));
    // The add button keeps cell 0, so the n-th picture goes to cell n.
    const int n = m_customPaths.size();
    ui->gridLayoutCustom->addWidget(button, n / QSwatches::kColumns, n % QSwatches::kColumns);
    connect(button, &TButton::clicked, this,
            [this, imagePath, button] { onBtnChangeImage(imagePath, button); });
}

QString QPageChangeBg::thumbnailFolder()
{
    return CGlobal::getAppDataPath() + QStringLiteral("temp/");
}

QImage QPageChangeBg::makeThumbnail(const QImage& picture)
{
    if (picture.isNull())
        return QImage();
    const int side = qMin(picture.width(), picture.height());
    const QImage square =
        picture.copy((picture.width() - side) / 2, (picture.height() - side) / 2, side, side)
            .scaled(QImageButton::kSide, QImageButton::kSide, Qt::IgnoreAspectRatio,
                    Qt::SmoothTransformation);
    QImage thumb(QImageButton::kSide, QImageButton::kSide, QImage::Format_ARGB32_Premultiplied);
    thumb.fill(Qt::transparent);
    QPainter painter(&thumb);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(thumb.rect()), kCornerRadius, kCornerRadius);
    painter.setClipPath(rounded);
    painter.drawImage(0, 0, square);
    painter.end();
    return thumb;
}

QString QPageChangeBg::saveThumbnail(const QImage& picture) const
{
    const QString folder = thumbnailFolder();
    QDir().mkpath(folder);
    // Named by the time; two pictures added within one second get the next free second.
    qint64 stamp = QDateTime::currentSecsSinceEpoch();
    QString path;
    do {
        path = QStringLiteral("%1%2.png").arg(folder).arg(stamp++);
    } while (QFileInfo::exists(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !makeThumbnail(picture).save(&file, "PNG") || !file.commit()) {
        BRISEL_LOG(1, QStringLiteral("Cannot write the thumbnail %1: %2").arg(path, file.errorString()));
        return QString();
    }
    return path;
}

void QPageChangeBg::onPageReset()
{
    onBtnColor();
    QImageButton* transparent = buttonAt(ui->gridLayoutColor, 0);
    select(transparent);
    transparent->setChecked(true);
}
