#include "qbatchmattingdialog.h"

#include "batchlabels.h"

#include "cglobal.h"
#include "csetting.h"
#include "qfilechooser.h"
#include "qimageitem.h"
#include "qmsgbox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// A press on the empty page and its release may reach different dialogs when one
// closes in between; one flag for all of them keeps a stray release from opening
// the file dialog.
bool g_pagePressed = false;

const QStringList kSuffixes{".png", ".jpg", ".jpeg", ".bmp"};

QPushButton* makeButton(const char* name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFixedSize(110, 38);
    return button;
}
} // namespace

QBatchMattingDialog::QBatchMattingDialog(int kind, QWidget* parent) : QBaseDialog(parent)
{
    init(":/qss/batchDialog.css");
    buildForm(kind);

    auto* addTile = new QImageItem(m_pageGrid);
    connect(addTile, &QImageItem::signal_add_image, this, &QBatchMattingDialog::onBtnAddImage);
    m_items << addTile;
    m_grid->addWidget(addTile, 0, 0);
    m_btnCutout->setEnabled(false);

    for (QWidget* page : {m_pageAddImage, m_pageGrid}) {
        page->setAcceptDrops(true);
        page->installEventFilter(this);
    }
}

void QBatchMattingDialog::buildForm(int kind)
{
    resize(708, 428);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto* frameMain = new QFrame(this);
    frameMain->setObjectName("frameMain");
    outer->addWidget(frameMain);
    auto* mainLayout = new QVBoxLayout(frameMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    auto* frameTitle = new QFrame(frameMain);
    frameTitle->setObjectName("frameTitle");
    frameTitle->setMinimumHeight(42);
    auto* titleLayout = new QHBoxLayout(frameTitle);
    titleLayout->addWidget(makeNamedLabel("labelTitle",
                                     kind == 1 ? tr("Remove product background in bulk")
                                               : tr("Remove person background in bulk"),
                                     frameTitle));
    mainLayout->addWidget(frameTitle);

    m_pages = new QStackedWidget(frameMain);
    m_pages->setObjectName("stackedWidget");
    m_pageAddImage = new QWidget;
    m_pageAddImage->setObjectName("pageAddImage");
    m_pageAddImage->setStyleSheet("QWidget#pageAddImage{\n\tborder:none;\n\tbackground:#FFFFFF;\n}");
    auto* addLayout = new QVBoxLayout(m_pageAddImage);
    addLayout->addStretch();
    QLabel* picture = makeNamedLabel("labelBatchAddImage", QString(), m_pageAddImage);
    picture->setFixedSize(108, 108);
    addLayout->addWidget(picture, 0, Qt::AlignHCenter);
    addLayout->addWidget(makeNamedLabel("labelBatchImageText", tr("Drag files here or click to add files"), m_pageAddImage),
                         0, Qt::AlignHCenter);
    addLayout->addStretch();

    m_pageGrid = new QWidget;
    m_pageGrid->setObjectName("pageGrid");
    auto* gridPageLayout = new QVBoxLayout(m_pageGrid);
    gridPageLayout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(m_pageGrid);
    scroll->setObjectName("scrollArea");
    scroll->setStyleSheet("border:none;\nbackground:#FFFFFF;");
    scroll->setWidgetResizable(true);
    auto* contents = new QWidget;
    contents->setObjectName("scrollAreaWidgetContents");
    auto* contentsLayout = new QVBoxLayout(contents);
    m_grid = new QGridLayout;
    m_grid->setObjectName("gridLayout");
    m_grid->setSpacing(10);
    m_grid->setContentsMargins(12, 4, 12, 0);
    auto* gridRow = new QHBoxLayout;
    gridRow->addLayout(m_grid);
    gridRow->addStretch();
    contentsLayout->addLayout(gridRow);
    contentsLayout->addStretch();
    scroll->setWidget(contents);
    gridPageLayout->addWidget(scroll);
    m_pages->addWidget(m_pageAddImage);
    m_pages->addWidget(m_pageGrid);
    m_pages->setCurrentIndex(0);
    mainLayout->addWidget(m_pages, 1);

    auto* frameBottom = new QFrame(frameMain);
    frameBottom->setObjectName("frameBottom");
    frameBottom->setMinimumHeight(68);
    auto* bottomLayout = new QHBoxLayout(frameBottom);
    bottomLayout->setContentsMargins(20, 0, 20, 0);
    bottomLayout->addWidget(makeNamedLabel("labelBatchText1", tr("Selected"), frameBottom));
    m_labelCount = makeNamedLabel("labelCount", "0", frameBottom);
    bottomLayout->addWidget(m_labelCount);
    bottomLayout->addWidget(makeNamedLabel("labelBatchText2", tr("/%1 images").arg(kImageLimit), frameBottom));
    bottomLayout->addStretch();
    QPushButton* cancel = makeButton("btnCancel", tr("No"), frameBottom);
    cancel->setCursor(Qt::PointingHandCursor);
    m_btnCutout = makeButton("btnCutout", tr("Cutout"), frameBottom);
    bottomLayout->addWidget(cancel);
    bottomLayout->addWidget(m_btnCutout);
    mainLayout->addWidget(frameBottom);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnCutout, &QPushButton::clicked, this, &QDialog::accept);
}

void QBatchMattingDialog::onBtnAddImage()
{
    const QString folder = CSetting::getString("default", "path", CGlobal::getDesktopPath());
    const QStringList files =
        QFileChooser::openFiles(this, tr("Select Image"), folder, tr("Images(*.jpg;*.jpeg;*.png;*.bmp)"));
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
                tr("Up to %1 images can be added. Too many image processing tasks may cause stuck.").arg(kImageLimit),
                1);
            break;
        }
        if (m_paths.contains(path))
            continue;
        auto* item = new QImageItem(path, m_pageGrid);
        connect(item, &QImageItem::signal_delete, this, &QBatchMattingDialog::onRemoveItem);
        m_items << item;
        m_paths << path;
    }
    QTimer::singleShot(kRefreshDelayMs, this, [this] {
        updateLayout();
        m_pages->setCurrentIndex(1);
    });
}

void QBatchMattingDialog::updateLayout()
{
    for (QImageItem* item : m_items)
        m_grid->removeWidget(item);
    for (int i = 0; i < m_items.size(); ++i)
        m_grid->addWidget(m_items.at(i), i / kColumns, i % kColumns);
    m_labelCount->setText(QString::number(m_paths.size()));
    m_btnCutout->setEnabled(m_items.size() >= 2);
}

void QBatchMattingDialog::onRemoveItem(QImageItem* pItem)
{
    if (!pItem)
        return;
    m_paths.removeOne(pItem->path());
    m_items.removeOne(pItem);
    m_grid->removeWidget(pItem);
    pItem->deleteLater();
    QTimer::singleShot(kRefreshDelayMs, this, &QBatchMattingDialog::updateLayout);
}

bool QBatchMattingDialog::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (watched == m_pageAddImage && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            g_pagePressed = true;
        break;
    case QEvent::MouseButtonRelease:
        if (watched == m_pageAddImage && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
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
            if (!path.isEmpty() && kSuffixes.contains("." + QFileInfo(path).suffix().toLower()))
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
