#pragma once

#include "qbasedialog.h"

#include <QList>
#include <QStringList>

class QImageItem;

namespace Ui {
class QBatchMattingDialog;
}

// Collects the photos of a batch: from the file dialog, dropped files or the add
// tile, at most kImageLimit, each path (compared exactly) once. Accepted, the
// caller reads paths() before the dialog is destroyed. Its Fast box writes
// QAppSettings::batchFast(), which the batch's photos are matted with. GUI thread only.
class QBatchMattingDialog : public QBaseDialog
{
    Q_OBJECT

public:
    static constexpr int kImageLimit = 30;
    static constexpr int kColumns = 5;
    // Grid changes wait this long so that deleted tiles are gone first.
    static constexpr int kRefreshDelayMs = 50;

    explicit QBatchMattingDialog(int kind, QWidget* parent = nullptr);
    ~QBatchMattingDialog() override;

    const QStringList& paths() const { return m_paths; }
    // The add tile first, then one tile per path in the same order.
    const QList<QImageItem*>& items() const { return m_items; }

    void addFiles(const QStringList& files);
    void updateLayout();

public slots:
    void onBtnAddImage();
    void onRemoveItem(QImageItem* pItem);

protected:
    // Return starts the batch only when "Start" could be clicked (a photo is added).
    void onOK() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ui::QBatchMattingDialog* ui = nullptr;
    QStringList m_paths;
    QList<QImageItem*> m_items;
};
