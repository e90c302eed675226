#pragma once

#include <QColor>
#include <QList>
#include <QSize>
#include <QStringList>
#include <QWidget>

class QBatchCutWidget;
class QBatchMenu;
class QImageButton;
class QPageCutOut;
class QPreviewItem;
class QProgressDialog;
class QSaveNotice;
class QSaveScheduler;
class QSizeButton;

namespace Ui {
class QBatchMattingWidget;
}

// The batch workspace: one preview tile per photo, a common background and crop
// size broadcast to every tile, output folder and size, and "Save all" (run by a
// QSaveScheduler, shown in a progress dialog). GUI thread only; the saves
// themselves run on the work pool.
class QBatchMattingWidget : public QWidget
{
    Q_OBJECT

public:
    // Columns of the background swatches; the tiles take as many as fit.
    static constexpr int kColumns = 5;
    static constexpr int kDelayMs = 50;
    // Tiles "Save all" writes at the same time (each holds a full-size result).
    static constexpr int kParallelSaves = 2;

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
    bool isSaving() const { return m_saveJob != nullptr; }

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
    void finishSaveAll(int saved, const QStringList& failures, int skipped);

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
    // The running "Save all" and its dialog; both null between runs.
    QSaveScheduler* m_saveJob = nullptr;
    QProgressDialog* m_saveProgress = nullptr;
    QString m_saveFolder;
    QSaveNotice* m_saveNotice = nullptr;
};
