#pragma once

#include <QColor>
#include <QList>
#include <QSize>
#include <QStringList>
#include <QWidget>

class QBatchCutWidget;
class QBatchMenu;
class QBatchSaver;
class QImageButton;
class QPageCutOut;
class QPreviewItem;
class QSizeButton;

namespace Ui {
class QBatchMattingWidget;
}

// The batch workspace: one preview tile per photo, a common background and crop
// size broadcast to every tile, output folder and size, and the saves (run by a
// QBatchSaver). GUI thread only.
class QBatchMattingWidget : public QWidget
{
    Q_OBJECT

public:
    // Columns of the background swatches; the tiles take as many as fit.
    static constexpr int kColumns = 5;
    static constexpr int kDelayMs = 50;

    explicit QBatchMattingWidget(QWidget* parent = nullptr);
    ~QBatchMattingWidget() override;

    // Runs the add dialog; false (after signal_back_to_home) when it was cancelled.
    bool showAddDialog(int kind);
    void startBatch(int kind, const QStringList& paths);
    void updateItemLayout();

    const QList<QPreviewItem*>& items() const { return m_items; }
    QList<QSizeButton*> sizeButtons() const;
    int kind() const { return m_kind; }
    QBatchCutWidget* editor() const { return m_editor; }
    bool isSaving() const;

signals:
    void signal_change_color(const QColor& color);
    void signal_change_image(const QString& path);
    void signal_apply_crop_size(int id, bool commit, const QSize& size);
    void signal_back_to_home();
    // The output folder was chosen here (already stored in the settings).
    void signal_output_folder_changed(const QString& folder);
    // Every tile of a "Save all" was handled (or the run was cancelled).
    void signal_save_all_finished(int saved, const QStringList& failures, int skipped);

public slots:
    void onBtnChangeColor(const QColor& color, QImageButton* pButton);
    void onBtnSelectColor();
    void onBtnAddTemplate();
    void onBtnApply();
    void onBtnComplete();
    void onBtnPreview();
    void onItemEditBegin(QPreviewItem* pItem, const QString& taskId);
    void onCheckeSizeButton(int id, QSizeButton* pButton);
    void onBatchUpload();
    void onBtnSaveAll();
    void onItemSave(QPreviewItem* pItem);
    void onItemDelete(QPreviewItem* pItem);
    void onOutputSizeChanged(int index);
    void onBtnSelectOutputPath();
    void onMenuClicked(int id, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectEditPage();
    QPreviewItem* itemForTask(const QString& taskId) const;
    void buildBackgroundButtons();
    void buildSizeButtons();
    void selectBackground(QImageButton* button);
    void selectSize(QSizeButton* button);
    void clearItems();
    void showOutputFolder(const QString& folder);
    int itemColumns() const;

    int m_kind = 0;
    int m_itemColumns = 0;
    QList<QPreviewItem*> m_items;
    QList<QImageButton*> m_backgrounds;
    QImageButton* m_currentBackground = nullptr;
    QSizeButton* m_currentSize = nullptr;
    QSizeButton* m_certificate = nullptr;
    QBatchMenu* m_menu = nullptr;
    Ui::QBatchMattingWidget* ui = nullptr;
    QPageCutOut* m_pageCutOut = nullptr;
    QBatchCutWidget* m_editor = nullptr;
    QBatchSaver* m_saver = nullptr;
    // An ID size is applied to the batch: "Save all" may put the photos on print sheets.
    bool m_idApplied = false;
};
