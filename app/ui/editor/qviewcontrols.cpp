#include "qviewcontrols.h"

#include "qimagecutoutwidget.h"
#include "qmattingbutton.h"
#include "qviewport.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {
constexpr int kPercent = 100;

void setUpHistoryButton(QMattingButton* button, const QString& textColor, const QString& icon)
{
    button->setIconSize(QSize(16, 16));
    button->setLook(14, textColor, QStringLiteral("#347AEB"), QStringLiteral("#B7B7B9"),
                    QStringLiteral(":/image/btn.%1.png").arg(icon),
                    QStringLiteral(":/image/btn.%1.hover.png").arg(icon),
                    QStringLiteral(":/image/btn.%1.disable.png").arg(icon));
    button->disable();
}
} // namespace

QViewControls::QViewControls(const Widgets& widgets, const QString& textColor, QObject* parent)
    : QObject(parent), m_widgets(widgets)
{
    setUpHistoryButton(m_widgets.undo, textColor, QStringLiteral("undo"));
    setUpHistoryButton(m_widgets.restore, textColor, QStringLiteral("restore"));
    connect(m_widgets.zoomIn, &QPushButton::clicked, this, &QViewControls::onBtnZoomIn);
    connect(m_widgets.zoomOut, &QPushButton::clicked, this, &QViewControls::onBtnZoomOut);
    m_widgets.slider->setRange(int(QViewport::kMinFactor * kPercent), int(QViewport::kMaxFactor * kPercent));
    if (m_widgets.fit)
        connect(m_widgets.fit, &QPushButton::clicked, this, &QViewControls::onBtnFit);
    connect(m_widgets.slider, &QSlider::valueChanged, this, &QViewControls::onSliderValueChanged);
    connect(m_widgets.undo, &TButton::clicked, this, &QViewControls::onBtnUndo);
    connect(m_widgets.restore, &TButton::clicked, this, &QViewControls::onBtnRestore);
}

// factor < 0: no target, the bar keeps what it shows.
void QViewControls::setZoom(Zoom zoom, float factor, QMetaObject::Connection factorConnection)
{
    disconnect(m_factorConnection);
    m_factorConnection = factorConnection;
    m_zoom = std::move(zoom);
    if (factor >= 0.0f)
        showFactor(factor);
}

void QViewControls::setHistoryTarget(QImageCutoutWidget* view)
{
    disconnect(m_historyConnection);
    disconnect(m_readyConnection);
    m_history = view;
    if (view) {
        m_historyConnection = connect(view, &QImageCutoutWidget::signal_history_changed, this,
                                      &QViewControls::onHistoryChanged);
        m_readyConnection =
            connect(view, &QImageCutoutWidget::signal_ready, this, &QViewControls::onHistoryChanged);
    }
    onHistoryChanged();
}

void QViewControls::showFactor(float factor)
{
    const QSignalBlocker blocker(m_widgets.slider);
    m_widgets.slider->setValue(qRound(factor * kPercent));
    // The label tells the true scale, also where the slider's range ends.
    m_widgets.factor->setText(QStringLiteral("%1%").arg(qRound(factor * kPercent)));
}

void QViewControls::onBtnZoomIn()
{
    if (m_zoom.view)
        showFactor(m_zoom.out());
}

void QViewControls::onBtnZoomOut()
{
    if (m_zoom.view)
        showFactor(m_zoom.in());
}

void QViewControls::onBtnFit()
{
    if (m_zoom.view)
        showFactor(m_zoom.fit());
}

void QViewControls::onSliderValueChanged(int value)
{
    m_widgets.factor->setText(QStringLiteral("%1%").arg(value));
    if (m_zoom.view)
        m_zoom.set(float(value) / kPercent);
}

void QViewControls::onFactorChanged(float factor)
{
    showFactor(factor);
}

// Keyboard shortcuts reach these too: a hidden view (another page shows) is left
// alone.
bool QViewControls::historyReady() const
{
    return m_history && m_history->isVisible() && m_history->isReady();
}

void QViewControls::onBtnUndo()
{
    if (!historyReady() || !m_history->canUndo())
        return;
    m_history->undo();
    onHistoryChanged();
}

void QViewControls::onBtnRestore()
{
    if (!historyReady() || !m_history->canRedo())
        return;
    m_history->redo();
    onHistoryChanged();
}

void QViewControls::onHistoryChanged()
{
    const bool ready = m_history && m_history->isReady();
    if (ready && m_history->canUndo())
        m_widgets.undo->enable();
    else
        m_widgets.undo->disable();
    if (ready && m_history->canRedo())
        m_widgets.restore->enable();
    else
        m_widgets.restore->disable();
}
