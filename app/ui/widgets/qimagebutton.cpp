#include "qimagebutton.h"

#include <QLabel>

namespace {
constexpr int kBorder = 2;
} // namespace

QImageButton::QImageButton(int kind, const QString& text, bool bordered, QWidget* parent)
    : TButton(parent), m_text(text)
{
    setObjectName(QStringLiteral("ImageButton"));
    setCursor(Qt::PointingHandCursor);
    setFixedSize(kSide, kSide);
    m_picture = new QLabel(this);
    m_picture->setStyleSheet(kind == 0 ? QStringLiteral("border-image:url(%1);").arg(text)
                                       : QStringLiteral("background-color:%1;border-radius: 4px;").arg(text));
    m_selection = new QLabel(this);
    m_selection->setStyleSheet(QStringLiteral("border-image:url(:/image/btn.checked.template.png);"));
    m_selection->hide();
    const QRect inner = bordered ? QRect(kBorder, kBorder, kSide - 2 * kBorder, kSide - 2 * kBorder)
                                 : QRect(0, 0, kSide, kSide);
    if (bordered)
        setStyleSheet(QStringLiteral("QFrame#ImageButton{border: 2px solid #D7D7D7;border-radius: 6px;}"));
    m_picture->setGeometry(inner);
    m_selection->setGeometry(inner);
}

bool QImageButton::isSelectionShown() const
{
    return m_selection->isVisibleTo(this);
}

void QImageButton::setChecked(bool value)
{
    if (value == checked)
        return;
    TButton::setChecked(value);
    showSelection();
}

bool QImageButton::toggle()
{
    checked = checkable;
    showSelection();
    update();
    return checked;
}

void QImageButton::showSelection()
{
    m_selection->setVisible(checked);
}
