#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

namespace Ui {
class QPageChangeBg;
}

class QImageButton;

// The "Change background" page of the side panel: a grid of colours with a colour
// picker, the fifteen template pictures and the user's own pictures. A choice is
// announced with signal_color or signal_image; the page manager routes both to
// the editing view. A fully transparent colour means "no background".
//
// Own pictures and their buttons stay for the whole run; their 38 x 38 thumbnails
// are PNG files in the folder "temp" of the application data. GUI thread only.
class QPageChangeBg : public QWidget
{
    Q_OBJECT

public:
    // Delay before a dialog's choice is sent, so the dialog is gone first.
    static constexpr int kSendDelayMs = 50;

    explicit QPageChangeBg(QWidget* parent = nullptr);
    ~QPageChangeBg() override;

    QImageButton* selectedButton() const { return m_selected; }
    QList<QString> customPaths() const { return m_customPaths; }

    // The swatch of a picture: its centred square scaled to 38 x 38, with rounded
    // corners left transparent. Null for a null picture.
    static QImage makeThumbnail(const QImage& picture);
    // "<application data>/temp/".
    static QString thumbnailFolder();

signals:
    void signal_color(const QColor& color);
    void signal_image(const QString& imagePath);

public slots:
    void onBtnColor();
    void onBtnTemplate();
    void onBtnCustom();
    void onBtnChangeColor(const QColor& color, QImageButton* button);
    void onBtnChangeTemplate(const QString& imagePath, QImageButton* button);
    void onBtnChangeImage(const QString& imagePath, QImageButton* button);
    void onBtnAddTemplate();
    void onBtnSelectColor();
    void onPageReset();

private:
    void fillColorGrid();
    void fillTemplateGrid();
    void showTab(QWidget* tabButton);
    // Unchecks the swatch selected before (unless it is `button`); null deselects.
    void select(QImageButton* button);
    // Writes the thumbnail of `picture` under a new name; the name, empty on failure.
    QString saveThumbnail(const QImage& picture) const;
    void addCustomButton(const QString& imagePath, const QString& thumbnail);
    void sendLater(const QColor& color);
    void sendLater(const QString& imagePath);

    Ui::QPageChangeBg* ui = nullptr;
    QImageButton* m_selected = nullptr;
    QList<QString> m_customPaths;
};
