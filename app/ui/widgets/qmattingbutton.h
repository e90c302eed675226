#pragma once

#include "tbutton.h"

class QLabel;

// The icon-and-text button of the editing hosts (Undo, Restore and the like). Its
// look comes from the style sheet template ":/qss/MattingButton.css", which picks
// the icon and text colour by the dynamic property "status" ("normal", "hover",
// "disabled") set on the button and both labels.
class QMattingButton : public TButton
{
    Q_OBJECT

public:
    explicit QMattingButton(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;
    void setIconSize(const QSize& size);
    // Fills the template: font size in px, text colours and icons for the normal,
    // hovered and disabled states.
    void setLook(int fontPx, const QString& color, const QString& hoverColor, const QString& disabledColor,
                 const QString& icon, const QString& hoverIcon, const QString& disabledIcon);

    void enable();
    void disable();
    void setStatus(const QVariant& status) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_icon = nullptr;
    QLabel* m_text = nullptr;
};
