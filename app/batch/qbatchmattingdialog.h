#pragma once

#include "qbasedialog.h"

#include <QList>
#include <QStringList>

class QGridLayout;
class QImageItem;
class QLabel;
class QPushButton;
class QStackedWidget;
class QWidget;

// Collects the photos of a batch: from the file dialog, dropped files or the add
// tile, at most kImageLimit, each path (compared exactly) once. Accepted, the
// caller reads paths() before the dialog is destroyed. GUI thread only.
class QBatchMattingDialog : public QBaseDialog
{
    Q_OBJECT

public:
    static constexpr int kImageLimit = 30;
    static constexpr int kColumns = 5;
    // Grid changes wait this long so that deleted tiles are gone first.
    static constexpr int kRefreshDelayMs = 50;

    explicit QBatchMattingDialog(int kind, QWidget* parent = nullptr);

    const QStringList& paths() const { return m_paths; }
    // The add tile first, then one tile per path in the same order.
    const QList<QImageItem*>& items() const { return m_items; }

    void addFiles(const QStringList& files);
    void updateLayout();

public slots:
    void onBtnAddImage();
    void onRemoveItem(QImageItem* pItem);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm(int kind);

    QStringList m_paths;
    QList<QImageItem*> m_items;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_pageAddImage = nullptr;
    QWidget* m_pageGrid = nullptr;
    QGridLayout* m_grid = nullptr;
    QLabel* m_labelCount = nullptr;
    QPushButton* m_btnCutout = nullptr;
};
