#include "qmattingbutton.h"

#include "readtextfile.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

QMattingButton::QMattingButton(QWidget* parent) : TButton(parent)
{
    setObjectName(QStringLiteral("QMattingButton"));
    setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("buttonIcon"));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("buttonText"));
    layout->addWidget(m_icon);
    layout->addWidget(m_text);
    installEventFilter(this);
    setStatus(QStringLiteral("normal"));
}

void QMattingButton::setText(const QString& text)
{
    m_text->setText(text);
}

QString QMattingButton::text() const
{
    return m_text->text();
}

void QMattingButton::setIconSize(const QSize& size)
{
    m_icon->setFixedSize(size);
}

void QMattingButton::setLook(int fontPx, const QString& color, const QString& hoverColor,
                             const QString& disabledColor, const QString& icon, const QString& hoverIcon,
                             const QString& disabledIcon)
{
    setStyleSheet(readTextFile(QStringLiteral(":/qss/MattingButton.css"))
                      .arg(fontPx)
                      .arg(color, hoverColor, disabledColor, icon, hoverIcon, disabledIcon));
}

void QMattingButton::enable()
{
    setEnabled(true);
    setStatus(QStringLiteral("normal"));
}

void QMattingButton::disable()
{
    setEnabled(false);
    setStatus(QStringLiteral("disabled"));
}

void QMattingButton::setStatus(const QVariant& status)
{
    for (QWidget* label : {static_cast<QWidget*>(m_icon), static_cast<QWidget*>(m_text)}) {
        label->setProperty("status", status);
        label->style()->unpolish(label);
        label->style()->polish(label);
    }
    TButton::setStatus(status);
}

bool QMattingButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && isEnabled()) {
        if (event->type() == QEvent::Enter)
            setStatus(QStringLiteral("hover"));
        else if (event->type() == QEvent::Leave)
            setStatus(QStringLiteral("normal"));
    }
    return TButton::eventFilter(watched, event);
}
