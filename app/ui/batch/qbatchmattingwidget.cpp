#include "qbatchmattingwidget.h"

#include "batchchoices.h"
#include "cglobal.h"
#include "csetting.h"
#include "keeptranslated.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingdialog.h"
#include "qbatchmenu.h"
#include "qbatchsaver.h"
#include "qcroptable.h"
#include "qfilechooser.h"
#include "qidphotopanel.h"
#include "qimagebutton.h"
#include "qmsgbox.h"
#include "qoutputsizebox.h"
#include "qpagecutout.h"
#include "qpreviewitem.h"
#include "qprintsheet.h"
#include "qsavenotice.h"
#include "qsizebutton.h"
#include "readtextfile.h"
#include "ui_qbatchmattingwidget.h"

#include <QColorDialog>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

using namespace batchchoices;

QBatchMattingWidget::QBatchMattingWidget(QWidget* parent) : QWidget(parent), ui(new Ui::QBatchMattingWidget)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(":/qss/batchWidget.css"));
    // Where Save all put the files, above the tiles it saved.
    auto* notice = new QSaveNotice(ui->pagePreview);
    ui->vLayoutPreview->insertWidget(0, notice);
    m_saver = new QBatchSaver(notice, this);
    connect(m_saver, &QBatchSaver::signal_finished, this, &QBatchMattingWidget::signal_save_all_finished);
    m_pageCutOut = new QPageCutOut(ui->frameEditLeft);
    ui->vLayoutPage->addWidget(m_pageCutOut);
    m_editor = new QBatchCutWidget(ui->pageEdit);
    ui->hLayoutCrop->addWidget(m_editor);
    showOutputFolder(CSetting::getString("output", "path", CGlobal::getOutputPath()));
    ui->scrollArea->viewport()->installEventFilter(this);
    const QStringList outputSizes{QStringLiteral("1080P"), QStringLiteral("2K"), QStringLiteral("4K"),
                                  QString()};
    for (int i = 0; i < outputSizes.size(); ++i)
        ui->comboOutputSize->addItem(outputSizes.at(i), i);
    keepTranslated(ui->comboOutputSize, [this] { ui->comboOutputSize->setItemText(3, tr("Original size")); });
    ui->comboOutputSize->setCurrentIndex(
        qBound(0, CSetting::getInt("output", "size", 1), outputSizes.size() - 1));
    buildBackgroundButtons();

    connect(ui->comboOutputSize, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &QBatchMattingWidget::onOutputSizeChanged);
    for (int paper = 0; paper < QPrintSheet::PaperCount; ++paper)
        ui->comboSheet->addItem(QPrintSheet::paperName(paper), paper);
    keepTranslated(ui->comboSheet, [this] {
        for (int paper = 0; paper < QPrintSheet::PaperCount; ++paper)
            ui->comboSheet->setItemText(paper, QPrintSheet::paperName(paper));
    });
    // The panel keeps the sheet choice's room: showing it moves nothing else.
    QSizePolicy keepRoom = ui->frameSheet->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    ui->frameSheet->setSizePolicy(keepRoom);
    // The single editor's sheet setting: both editors print on the paper last chosen.
    connect(ui->comboSheet, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [](int index) { CSetting::setValue("idphoto", "sheet", index); });
    connect(this, &QBatchMattingWidget::signal_apply_crop_size, this, [this](int id) {
        m_idApplied = QCropTable::isIdPhoto(id);
        QOutputSizeBox::showExact(ui->comboOutputSize, m_idApplied);
        ui->comboSheet->setCurrentIndex(QIdPhotoPanel::storedSheet());
        ui->frameSheet->setVisible(m_idApplied);
    });
    connect(ui->btnApplySize, &QPushButton::clicked, this, &QBatchMattingWidget::onBtnApply);
    connect(ui->btnBackHome, &QPushButton::clicked, this, &QBatchMattingWidget::signal_back_to_home);
    connect(ui->btnBatchUpload, &QPushButton::clicked, this, &QBatchMattingWidget::onBatchUpload);
    connect(ui->btnSaveAll, &QPushButton::clicked, this, &QBatchMattingWidget::onBtnSaveAll);
    connect(ui->btnSelectOutput, &QPushButton::clicked, this, &QBatchMattingWidget::onBtnSelectOutputPath);
    connectEditPage();
}

QBatchMattingWidget::~QBatchMattingWidget()
{
    delete ui;
}

void QBatchMattingWidget::connectEditPage()
{
    connect(ui->btnComplete, &QPushButton::clicked, this, &QBatchMattingWidget::onBtnComplete);
    connect(m_pageCutOut, &QPageCutOut::signal_brush_size, m_editor, &QBatchCutWidget::onChangeBrushSize);
    connect(m_pageCutOut, &QPageCutOut::signal_repair_background, m_editor,
            &QBatchCutWidget::onRepairBackground);
    connect(m_pageCutOut, &QPageCutOut::signal_change_brush, m_editor, &QBatchCutWidget::onChangeBrush);
    connect(m_pageCutOut, &QPageCutOut::signal_hardness, m_editor, &QBatchCutWidget::onChangeHardness);
    connect(m_pageCutOut, &QPageCutOut::signal_refine, m_editor, &QBatchCutWidget::onRefine);
    connect(m_pageCutOut, &QPageCutOut::signal_edge, m_editor, &QBatchCutWidget::onEdge);
    connect(m_pageCutOut, &QPageCutOut::signal_keep_shadow, m_editor, &QBatchCutWidget::onKeepShadow);
    connect(m_editor, &QBatchCutWidget::signal_edge_shown, m_pageCutOut, &QPageCutOut::showEdge);
    connect(m_editor, &QBatchCutWidget::signal_shadow_shown, m_pageCutOut, &QPageCutOut::showKeepShadow);
    m_pageCutOut->showShadowSwitch();
    m_editor->onChangeHardness(m_pageCutOut->brushHardness());
    connect(m_editor, &QBatchCutWidget::signal_brush_size_wanted, m_pageCutOut,
            &QPageCutOut::onBrushSizeChanged);
    connect(m_editor, &QBatchCutWidget::signal_cut_begin, this, [this] {
        if (QPreviewItem* item = itemForTask(m_editor->taskId()))
            item->onImageCutBegin();
    });
    connect(m_editor, &QBatchCutWidget::signal_cut_finished, this, [this](cv::Mat image) {
        if (QPreviewItem* item = itemForTask(m_editor->finishedTaskId()))
            item->onImageCutFinished(image);
    });
    // The tile's result has gone from the cache: nothing to edit until it is
    // matted again.
    connect(m_editor, &QBatchCutWidget::signal_load_failed, this,
            [this](const QString& taskId, const QString& message) {
                if (QPreviewItem* item = itemForTask(taskId))
                    item->rematte(message);
                onBtnComplete();
                QMsgBox::showWarning(message, 1);
            });
}

void QBatchMattingWidget::onBtnComplete()
{
    // Hiding the brush view hands its last change to the tile.
    ui->stackedWidget->setCurrentIndex(0);
}

void QBatchMattingWidget::onBtnPreview()
{
    ui->stackedWidget->setCurrentIndex(1);
}

void QBatchMattingWidget::onItemEditBegin(QPreviewItem* pItem, const QString& taskId)
{
    if (!pItem)
        return;
    m_editor->loadTask(taskId);
    // Not when the tile's result could not be read back meanwhile.
    QTimer::singleShot(kDelayMs, this, [this, taskId] {
        if (m_editor->taskId() == taskId)
            onBtnPreview();
    });
}

// Edit results go to the tile of the task they were made from, which need not be
// the tile open now, and are dropped when that tile was deleted meanwhile.
QPreviewItem* QBatchMattingWidget::itemForTask(const QString& taskId) const
{
    for (QPreviewItem* item : m_items)
        if (item->taskId() == taskId)
            return item;
    return nullptr;
}

void QBatchMattingWidget::buildBackgroundButtons()
{
    int i = 0;
    for (const Swatch& swatch : kSwatches) {
        auto* button = new QImageButton(swatch.kind, swatch.text, true, this);
        button->setCheckable(swatch.checkable);
        ui->gridLayoutColor->addWidget(button, i / kColumns, i % kColumns);
        if (swatch.checkable) {
            m_backgrounds << button;
            const QColor color = swatch.color;
            connect(button, &TButton::clicked, this,
                    [this, color, button] { onBtnChangeColor(color, button); });
        } else {
            connect(button, &TButton::clicked, this,
                    i == 4 ? &QBatchMattingWidget::onBtnSelectColor : &QBatchMattingWidget::onBtnAddTemplate);
        }
        ++i;
    }
    selectBackground(m_backgrounds.first());
}

void QBatchMattingWidget::buildSizeButtons()
{
    if (ui->gridLayoutSize->count() > 0)
        return;
    int shown = 0;
    for (const QCropTable::Row* row : QCropTable::batchSizes()) {
        const int id = row->code;
        if (id == QCropTable::kCertificateMenu && m_kind == 1)
            continue;
        auto* button = new QSizeButton(this);
        // Once a size is chosen from the ID-size menu, the button names it in pixels.
        keepTranslated(button, [button, row] {
            if (!button->property("sizeChosen").toBool())
                button->setTexts(QCropTable::label(*row), QString());
        });
        button->setCheckable(true);
        button->setFixedHeight(38);
        button->setProperty("sizeId", id);
        button->setObjectName(QStringLiteral("sizeButton_%1").arg(id));
        ui->gridLayoutSize->addWidget(button, shown / 2, shown % 2);
        connect(button, &TButton::clicked, this, [this, id, button] { onCheckeSizeButton(id, button); });
        if (id == QCropTable::kCertificateMenu) {
            m_certificate = button;
            button->installEventFilter(this);
        }
        ++shown;
    }
}

QList<QSizeButton*> QBatchMattingWidget::sizeButtons() const
{
    QList<QSizeButton*> buttons;
    for (int i = 0; i < ui->gridLayoutSize->count(); ++i)
        buttons << qobject_cast<QSizeButton*>(ui->gridLayoutSize->itemAt(i)->widget());
    return buttons;
}

void QBatchMattingWidget::selectBackground(QImageButton* button)
{
    if (m_currentBackground && m_currentBackground != button)
        m_currentBackground->setChecked(false);
    m_currentBackground = button;
    if (button)
        button->setChecked(true);
}

void QBatchMattingWidget::selectSize(QSizeButton* button)
{
    if (m_currentSize && m_currentSize != button)
        m_currentSize->setChecked(false);
    m_currentSize = button;
    if (button)
        button->setChecked(true);
}

bool QBatchMattingWidget::showAddDialog(int kind)
{
    QBatchMattingDialog dialog(kind, this);
    if (dialog.exec() != QDialog::Accepted) {
        emit signal_back_to_home();
        return false;
    }
    startBatch(kind, dialog.paths());
    return true;
}

void QBatchMattingWidget::startBatch(int kind, const QStringList& paths)
{
    m_kind = kind;
    selectBackground(m_backgrounds.first());
    buildSizeButtons();
    selectSize(sizeButtons().value(0));
    if (kind == 0 && !m_menu) {
        m_menu = new QBatchMenu(this);
        m_menu->hide();
        m_menu->installEventFilter(this);
        for (const QCropTable::Row* row : QCropTable::tab(QCropTable::Tab::Certificate)) {
            const int id = row->code;
            // The certificate button then names the chosen size by its pixels.
            const QString buttonText = QStringLiteral("%1x%2px >").arg(row->width).arg(row->height);
            QPushButton* entry = m_menu->addItem([this, id, buttonText] { onMenuClicked(id, buttonText); });
            keepTranslated(entry, [entry, row] { entry->setText(QCropTable::label(*row)); });
        }
    }
    clearItems();
    for (const QString& path : paths) {
        auto* item = new QPreviewItem(kind, path, this);
        connect(this, &QBatchMattingWidget::signal_change_color, item,
                &QPreviewItem::onChangeBackgroundColor);
        connect(this, &QBatchMattingWidget::signal_change_image, item,
                &QPreviewItem::onChangeBackgroundImage);
        connect(this, &QBatchMattingWidget::signal_apply_crop_size, item, &QPreviewItem::onCropImage);
        connect(item, &QPreviewItem::signal_remove, this, &QBatchMattingWidget::onItemDelete);
        connect(item, &QPreviewItem::signal_save, this, &QBatchMattingWidget::onItemSave);
        connect(item, &QPreviewItem::signal_edit_begin, this, &QBatchMattingWidget::onItemEditBegin);
        m_items << item;
    }
    updateItemLayout();
}

void QBatchMattingWidget::clearItems()
{
    for (QPreviewItem* item : m_items) {
        ui->gridLayoutItems->removeWidget(item);
        m_editor->forgetTask(item->taskId());
        item->deleteLater();
    }
    m_items.clear();
}

// As many tiles in a row as the visible width of the scroll area holds.
int QBatchMattingWidget::itemColumns() const
{
    const QMargins margins = ui->vLayoutItems->contentsMargins();
    const int width = ui->scrollArea->viewport()->width() - margins.left() - margins.right();
    const int spacing = qMax(0, ui->gridLayoutItems->horizontalSpacing());
    return qMax(1, (width + spacing) / (QPreviewItem::kSide + spacing));
}

void QBatchMattingWidget::updateItemLayout()
{
    m_itemColumns = itemColumns();
    for (QPreviewItem* item : m_items)
        ui->gridLayoutItems->removeWidget(item);
    for (int i = 0; i < m_items.size(); ++i) {
        ui->gridLayoutItems->addWidget(m_items.at(i), i / m_itemColumns, i % m_itemColumns);
        m_items.at(i)->show();
    }
}

void QBatchMattingWidget::onBtnChangeColor(const QColor& color, QImageButton* pButton)
{
    selectBackground(pButton);
    emit signal_change_color(color);
}

void QBatchMattingWidget::onBtnSelectColor()
{
    const QColor color = QColorDialog::getColor(Qt::white, this, QString());
    if (!color.isValid())
        return;
    QTimer::singleShot(kDelayMs, this, [this, color] {
        selectBackground(nullptr);
        emit signal_change_color(color);
    });
}

void QBatchMattingWidget::onBtnAddTemplate()
{
    const QString file = QFileChooser::openFile(
        this, tr("Select Image"), CSetting::getString("template", "path", CGlobal::getDesktopPath()),
        QFileChooser::imageFilter());
    if (file.isEmpty())
        return;
    CSetting::setValue("template", "path", QFileInfo(file).absolutePath());
    QTimer::singleShot(kDelayMs, this, [this, file] {
        selectBackground(nullptr);
        emit signal_change_image(file);
    });
}

void QBatchMattingWidget::onCheckeSizeButton(int id, QSizeButton* pButton)
{
    selectSize(pButton);
    ui->frameCustomSize->setVisible(id == QCropTable::kCustomSize);
    if (id != QCropTable::kCustomSize && id != QCropTable::kCertificateMenu)
        emit signal_apply_crop_size(id, true, QSize(0, 0));
}

void QBatchMattingWidget::onBtnApply()
{
    const QSize typed(ui->lineEditWidth->text().trimmed().toInt(),
                      ui->lineEditHeight->text().trimmed().toInt());
    if (QCropTable::isValidCustomSize(typed))
        emit signal_apply_crop_size(QCropTable::kCustomSize, true, typed);
    else
        QMsgBox::showWarning(tr("Please enter a width and a height from %1 to %2 pixels.")
                                 .arg(QCropTable::kMinCustomSide)
                                 .arg(QCropTable::kMaxCustomSide),
                             1);
}

void QBatchMattingWidget::onMenuClicked(int id, const QString& text)
{
    m_menu->hide();
    selectSize(m_certificate);
    m_certificate->setTexts(text, QString());
    m_certificate->setProperty("sizeChosen", true);
    emit signal_apply_crop_size(id, true, QSize(0, 0));
}

bool QBatchMattingWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->scrollArea->viewport() && event->type() == QEvent::Resize &&
        itemColumns() != m_itemColumns)
        updateItemLayout();
    if (m_menu && m_certificate && (watched == m_menu || watched == m_certificate)) {
        if (event->type() == QEvent::Enter) {
            const QRect b = m_certificate->geometry();
            const QPoint at = m_certificate->parentWidget()->mapTo(this, b.topLeft());
            m_menu->move(at.x() + b.width() - 4, at.y() + (b.height() - m_menu->height()) / 2);
            m_menu->raise();
            m_menu->show();
        } else if (event->type() == QEvent::Leave &&
                   !m_menu->geometry().contains(mapFromGlobal(QCursor::pos()))) {
            m_menu->hide();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QBatchMattingWidget::onOutputSizeChanged(int index)
{
    CSetting::setValue("output", "size", index);
}

void QBatchMattingWidget::onBtnSelectOutputPath()
{
    const QString folder = QFileChooser::outputFolder(this);
    if (folder.isEmpty())
        return;
    showOutputFolder(folder);
    emit signal_output_folder_changed(folder);
}

// Shown as the main window shows it; the field is read-only, as a typed folder
// would bypass the writability check of the picker.
void QBatchMattingWidget::showOutputFolder(const QString& folder)
{
    ui->editOutputPath->setText(QDir::toNativeSeparators(folder));
    ui->editOutputPath->setCursorPosition(0);
    ui->editOutputPath->setToolTip(ui->editOutputPath->text());
}

void QBatchMattingWidget::onItemDelete(QPreviewItem* pItem)
{
    if (!pItem)
        return;
    ui->gridLayoutItems->removeWidget(pItem);
    m_items.removeOne(pItem);
    m_editor->forgetTask(pItem->taskId());
    pItem->deleteLater();
    updateItemLayout();
    if (m_items.isEmpty())
        QTimer::singleShot(kDelayMs, this, [this] { showAddDialog(m_kind); });
}

void QBatchMattingWidget::onBatchUpload()
{
    if (QMsgBox::showQuestion(tr("Clear all photos?")) != 1)
        return;
    clearItems();
    updateItemLayout();
    QTimer::singleShot(kDelayMs, this, [this] {
        update();
        showAddDialog(m_kind);
    });
}

void QBatchMattingWidget::onItemSave(QPreviewItem* pItem)
{
    m_saver->saveOne(pItem);
}

void QBatchMattingWidget::onBtnSaveAll()
{
    m_saver->saveAll(m_items, m_idApplied ? QIdPhotoPanel::storedSheet() : int(QPrintSheet::NoSheet));
}

bool QBatchMattingWidget::isSaving() const
{
    return m_saver->isSaving();
}
