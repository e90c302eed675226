#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace Ui {
class QImageItem;
}

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
    ~QImageItem() override;

    const QString& path() const { return m_path; }
    bool isAddTile() const;
    const QPixmap& thumbnail() const { return m_thumbnail; }

signals:
    void signal_delete(QImageItem* pItem);
    void signal_add_image();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setUpTile();

    // The form holds the children of both kinds; each tile deletes those of the
    // other kind and clears their pointers.
    Ui::QImageItem* ui = nullptr;
    QString m_path;
    QPixmap m_thumbnail;
};
