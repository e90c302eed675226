#include "qhometoolbutton.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {
const char* kTextStyle = "font-size: 16px;font-family: Microsoft YaHei;color: #313131;";
const char* kHoverTextStyle = "font-size: 16px;font-family: Microsoft YaHei;color: #347AEB;";
constexpr int kIconSide = 40;
} // namespace

QHomeToolButton::QHomeToolButton(const QString& normalIcon, const QString& hoverIcon, QWidget* parent)
    : TButton(parent), normalIcon(normalIcon), hoverIcon(hoverIcon)
{
    setCursor(Qt::PointingHandCursor);
    // Never squeezed: a clipped caption would hide what the entry does.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 16, 8);
    layout->setSpacing(10);
    icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("labelToolIcon"));
    icon->setFixedSize(kIconSide, kIconSide);
    icon->setScaledContents(true);
    label = new QLabel(this);
    label->setObjectName(QStringLiteral("labelToolText"));
    layout->addWidget(icon);
    layout->addWidget(label);
    showHover(false);
}

void QHomeToolButton::setText(const QString& text)
{
    label->setText(text);
}

QString QHomeToolButton::text() const
{
    return label->text();
}

void QHomeToolButton::enterEvent(QEvent* event)
{
    showHover(true);
    TButton::enterEvent(event);
}

void QHomeToolButton::leaveEvent(QEvent* event)
{
    showHover(false);
    TButton::leaveEvent(event);
}

void QHomeToolButton::showHover(bool hover)
{
    hovered = hover;
    icon->setPixmap(QPixmap(hover ? hoverIcon : normalIcon));
    label->setStyleSheet(QLatin1String(hover ? kHoverTextStyle : kTextStyle));
    setStatus(hover ? QStringLiteral("hover") : QStringLiteral("normal"));
}
