#pragma once
// Entry card of the home page: a title, a picture and a description. Hovering swaps
// the picture for its hover version and lifts it by ten pixels; a photo file dropped
// on the card is reported so the caller can start the card's flow with it.

#include "tbutton.h"

class QPropertyAnimation;
namespace Ui {
class QEnterButton;
}

class QEnterButton : public TButton
{
    Q_OBJECT
public:
    QEnterButton(const QString& normalImage, const QString& hoverImage, QWidget* parent = nullptr);
    ~QEnterButton() override;

    void setName(const QString& text);
    void setText(const QString& text);

    // How far the picture sits below its raised position while the cursor is away.
    static constexpr int liftDistance = 10;

signals:
    // A single local file was dropped on the card.
    void signal_drop_file(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showPicture(const QString& path, int fromY, int toY);

    Ui::QEnterButton* ui = nullptr;
    QString normalImage;
    QString hoverImage;
    QPropertyAnimation* animation = nullptr;
};
