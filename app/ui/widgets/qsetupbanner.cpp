#include "qsetupbanner.h"

#include "qservicesetup.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kTopMargin = 56; // below the window's title bar
constexpr int kMaxWidth = 720;
constexpr int kSuccessShownMs = 6000;

} // namespace

QSetupBanner* QSetupBanner::startIfNeeded(QWidget* window)
{
    if (!QServiceSetup::needsPreparation())
        return nullptr;
    auto* setup = new QServiceSetup;
    auto* banner = new QSetupBanner(setup, window);
    setup->prepare();
    return banner;
}

QSetupBanner::QSetupBanner(QServiceSetup* setup, QWidget* window) : QFrame(window)
{
    setObjectName(QStringLiteral("setupBanner"));
    setup->setParent(this);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("labelSetupBanner"));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressSetup"));
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(120);
    auto* close = new QPushButton(QStringLiteral("×"), this);
    close->setObjectName(QStringLiteral("btnCloseSetup"));
    close->setToolTip(tr("Close"));
    close->setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 6, 8, 6);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_bar);
    layout->addWidget(close);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(setup, &QServiceSetup::signal_progress, this, &QSetupBanner::onProgress);
    connect(setup, &QServiceSetup::signal_finished, this, &QSetupBanner::onFinished);
    window->installEventFilter(this);
    hide();
}

bool QSetupBanner::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        place();
    return QFrame::eventFilter(watched, event);
}

void QSetupBanner::place()
{
    const QWidget* window = parentWidget();
    const int width = qMin(kMaxWidth, window->width() - 40);
    setGeometry((window->width() - width) / 2, kTopMargin, width,
                qMax(sizeHint().height(), heightForWidth(width)));
    raise();
}

void QSetupBanner::onProgress(const QString& text, int percent)
{
    m_text->setText(tr("%1 Photos on a plain background can be cut out meanwhile.").arg(text));
    m_bar->setRange(0, percent < 0 ? 0 : 100); // 0..0: busy without a known end
    m_bar->setValue(qMax(0, percent));
    m_bar->show();
    place();
    show();
}

void QSetupBanner::onFinished(bool ok, const QString& message)
{
    m_text->setText(message);
    m_bar->hide();
    place();
    show();
    if (ok)
        QTimer::singleShot(kSuccessShownMs, this, &QWidget::hide);
}
