#pragma once
// The smaller entries of the home page (batch modes, toolbox): an icon above a
// text that both turn to the accent look while the cursor is over them.

#include "tbutton.h"

class QLabel;

class QHomeToolButton : public TButton
{
    Q_OBJECT

public:
    QHomeToolButton(const QString& normalIcon, const QString& hoverIcon, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;
    bool isHovered() const { return hovered; }

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showHover(bool hover);

    QString normalIcon;
    QString hoverIcon;
    QLabel* icon = nullptr;
    QLabel* label = nullptr;
    bool hovered = false;
};
