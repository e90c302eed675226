#include "qbatchmattingdialog.h"

#include "cglobal.h"
#include "csetting.h"
#include "qappsettings.h"
#include "qfilechooser.h"
#include "qimageitem.h"
#include "qmsgbox.h"
#include "ui_qbatchmattingdialog.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {
// A press on the empty page and its release may reach different dialogs when one
// closes in between; one flag for all of them keeps a stray release from opening
// the file dialog.
bool g_pagePressed = false;
} // namespace

QBatchMattingDialog::QBatchMattingDialog(int kind, QWidget* parent)
    : QBaseDialog(parent), ui(new Ui::QBatchMattingDialog)
{
    ui->setupUi(this);
    init(":/qss/batchDialog.css");
    if (kind == 1)
        ui->labelTitle->setText(tr("Remove product background in bulk"));
    ui->labelBatchText2->setText(ui->labelBatchText2->text().arg(kImageLimit));
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnCutout, &QPushButton::clicked, this, &QDialog::accept);
    // The choice is remembered as soon as it is made: the batch's photos are matted with it.
    ui->checkFast->setChecked(QAppSettings::batchFast());
    connect(ui->checkFast, &QCheckBox::toggled, this, &QAppSettings::setBatchFast);

    auto* addTile = new QImageItem(ui->pageGrid);
    connect(addTile, &QImageItem::signal_add_image, this, &QBatchMattingDialog::onBtnAddImage);
    m_items << addTile;
    ui->gridLayout->addWidget(addTile, 0, 0);

    for (QWidget* page : {ui->pageAddImage, ui->pageGrid}) {
        page->setAcceptDrops(true);
        page->installEventFilter(this);
    }
}

QBatchMattingDialog::~QBatchMattingDialog()
{
    delete ui;
}

void QBatchMattingDialog::onBtnAddImage()
{
    const QString folder = CSetting::getString("default", "path", CGlobal::getDesktopPath());
    const QStringList files =
        QFileChooser::openFiles(this, tr("Select Image"), folder, QFileChooser::imageFilter());
    if (files.isEmpty())
        return;
    CSetting::setValue("default", "path", QFileInfo(files.first()).absolutePath());
    addFiles(files);
}

void QBatchMattingDialog::addFiles(const QStringList& files)
{
    for (const QString& path : files) {
        if (m_paths.size() >= kImageLimit) {
            QMsgBox::showWarning(
                tr("Up to %1 images can be added; more at once would make Brisel slow to respond.")
                    .arg(kImageLimit),
                1);
            break;
        }
        if (m_paths.contains(path))
            continue;
        auto* item = new QImageItem(path, ui->pageGrid);
        connect(item, &QImageItem::signal_delete, this, &QBatchMattingDialog::onRemoveItem);
        m_items << item;
        m_paths << path;
    }
    QTimer::singleShot(kRefreshDelayMs, this, [this] {
        updateLayout();
        ui->stackedWidget->setCurrentIndex(1);
    });
}

void QBatchMattingDialog::updateLayout()
{
    for (QImageItem* item : m_items)
        ui->gridLayout->removeWidget(item);
    for (int i = 0; i < m_items.size(); ++i)
        ui->gridLayout->addWidget(m_items.at(i), i / kColumns, i % kColumns);
    ui->labelCount->setText(QString::number(m_paths.size()));
    ui->btnCutout->setEnabled(m_items.size() >= 2);
}

void QBatchMattingDialog::onRemoveItem(QImageItem* pItem)
{
    if (!pItem)
        return;
    m_paths.removeOne(pItem->path());
    m_items.removeOne(pItem);
    ui->gridLayout->removeWidget(pItem);
    pItem->deleteLater();
    QTimer::singleShot(kRefreshDelayMs, this, &QBatchMattingDialog::updateLayout);
}

void QBatchMattingDialog::onOK()
{
    if (ui->btnCutout->isEnabled())
        accept();
}

bool QBatchMattingDialog::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (watched == ui->pageAddImage && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            g_pagePressed = true;
        break;
    case QEvent::MouseButtonRelease:
        if (watched == ui->pageAddImage && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            const bool pressed = g_pagePressed;
            g_pagePressed = false;
            if (pressed)
                onBtnAddImage();
        }
        break;
    case QEvent::DragEnter:
        static_cast<QDragEnterEvent*>(event)->acceptProposedAction();
        break;
    case QEvent::Drop: {
        QStringList kept;
        for (const QUrl& url : static_cast<QDropEvent*>(event)->mimeData()->urls()) {
            const QString path = url.toLocalFile();
            if (!path.isEmpty() && QFileChooser::isImageFile(path))
                kept << path;
        }
        if (!kept.isEmpty())
            addFiles(kept);
        break;
    }
    default:
        break;
    }
    return QBaseDialog::eventFilter(watched, event);
}
