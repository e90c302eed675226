#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

// One 126 x 144 tile of the batch add dialog: either a photo (thumbnail, name and a
// delete button shown on hover) or the "add" tile. The photo is decoded once here
// and only the 114 x 114 thumbnail is kept. GUI thread only.
class QImageItem : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kThumbSide = 114;

    QImageItem(const QString& path, QWidget* parent = nullptr);
    explicit QImageItem(QWidget* parent = nullptr);

    const QString& path() const { return m_path; }
    bool isAddTile() const { return m_btnAdd != nullptr; }
    const QPixmap& thumbnail() const { return m_thumbnail; }

signals:
    void signal_delete(QImageItem* pItem);
    void signal_add_image();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setUpTile();

    QString m_path;
    QPixmap m_thumbnail;
    QLabel* m_labelName = nullptr;
    QPushButton* m_btnDelete = nullptr;
    QPushButton* m_btnAdd = nullptr;
};
