#include "qtabbutton.h"

#include "readtextfile.h"
#include "ui_qtabbutton.h"

#include <QEvent>
#include <QLayout>

#include <algorithm>

namespace {

const QString kNormal = QStringLiteral("normal");
const QString kHover = QStringLiteral("hover");

} // namespace

QTabButton::QTabButton(QWidget* parent) : TButton(parent), ui(new Ui::QTabButton)
{
    ui->setupUi(this);
    setCursor(Qt::PointingHandCursor);
    setStatus(kNormal);
    installEventFilter(this);
    connect(this, &TButton::clicked, this,
            [this](bool checked) { emit signal_tab_clicked(m_tabIndex, checked, this); });
}

QTabButton::~QTabButton()
{
    delete ui;
}

void QTabButton::setIconSize(const QSize& size)
{
    ui->buttonIcon->setFixedSize(size);
}

void QTabButton::setIcons(const QString& normalIcon, const QString& hoverIcon)
{
    m_normalIcon = normalIcon;
    m_hoverIcon = hoverIcon;
    setStyleSheet(readTextFile(QStringLiteral(":/qss/TabButton.css")).arg(normalIcon, hoverIcon));
}

void QTabButton::setText(const QString& text)
{
    ui->buttonText->setText(text);
}

QString QTabButton::text() const
{
    return ui->buttonText->text();
}

void QTabButton::setTabIndex(int index)
{
    m_tabIndex = index;
}

QLabel* QTabButton::iconLabel() const
{
    return ui->buttonIcon;
}

QLabel* QTabButton::textLabel() const
{
    return ui->buttonText;
}

QSize QTabButton::sizeHint() const
{
    // The column gives every tab a fixed width; a long caption wraps onto more lines
    // at that width, so ask the layout how tall the tab must be for it.
    const QSize hint = TButton::sizeHint();
    const int w = minimumWidth() == maximumWidth() ? maximumWidth() : hint.width();
    return QSize(w, std::max(hint.height(), layout()->heightForWidth(w)));
}

QSize QTabButton::minimumSizeHint() const
{
    return sizeHint();
}

void QTabButton::setChecked(bool value)
{
    TButton::setChecked(value);
    setStatus(isChecked() ? kHover : kNormal);
}

void QTabButton::setStatus(const QVariant& status)
{
    applyStatus(ui->buttonIcon, status);
    applyStatus(ui->buttonText, status);
    TButton::setStatus(status);
}

bool QTabButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter)
            setStatus(kHover);
        else if (event->type() == QEvent::Leave && !isChecked())
            setStatus(kNormal);
    }
    return TButton::eventFilter(watched, event);
}
