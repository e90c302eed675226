#include "tbutton.h"

#include <QMouseEvent>
#include <QStyle>

TButton::TButton(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("TButton"));
}

void TButton::setCheckable(bool value)
{
    checkable = value;
}

bool TButton::isCheckable() const
{
    return checkable;
}

bool TButton::isChecked() const
{
    return checked;
}

void TButton::setChecked(bool value)
{
    if (checkable && checked != value)
        checked = value;
}

void TButton::applyStatus(QWidget* widget, const QVariant& status)
{
    widget->setProperty("status", status);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

void TButton::setStatus(const QVariant& status)
{
    applyStatus(this, status);
}

bool TButton::toggle()
{
    checked = checkable ? !checked : false;
    return checked;
}

void TButton::mousePressEvent(QMouseEvent* event)
{
    pressed = true;
    update();
    event->accept();
}

void TButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (pressed) {
        setFocus(Qt::MouseFocusReason);
        toggle();
        pressed = false;
        update();
        emit clicked(checked);
        return;
    }
    update();
}
