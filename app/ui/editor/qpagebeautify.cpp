#include "qpagebeautify.h"
#include "ui_qpagebeautify.h"

#include "keeptranslated.h"
#include "qimagesettings.h"
#include "qvarnui.h"
#include "readtextfile.h"

#include <QMouseEvent>

QPageBeautify::QPageBeautify(QWidget* parent) : QWidget(parent), ui(new Ui::QPageBeautify)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(QStringLiteral(":/qss/PageBeautify.css")));
    showTab(ui->btnTabSkim, ui->frameSkimTone, ui->btnTabSmooth, ui->frameSmooth);

    connect(ui->btnTabSkim, &QPushButton::clicked, this, &QPageBeautify::onBtnSkimTone);
    connect(ui->btnTabSmooth, &QPushButton::clicked, this, &QPageBeautify::onBtnSmooth);
    connect(ui->hSliderStrenghtTone, &QSlider::valueChanged, this, &QPageBeautify::onChangedTone);
    connect(ui->hSliderSmooth, &QSlider::valueChanged, this, &QPageBeautify::onChangedSmooth);
    ui->hSliderStrenghtTone->installEventFilter(this);
    ui->hSliderSmooth->installEventFilter(this);
}

QPageBeautify::~QPageBeautify()
{
    delete ui;
}

void QPageBeautify::showTab(QPushButton* on, QFrame* shown, QPushButton* off, QFrame* hidden)
{
    QVarnUI::setCtrlProperty(on, "checked", true);
    QVarnUI::setCtrlProperty(off, "checked", false);
    hidden->hide();
    shown->show();
}

void QPageBeautify::setSlidersEnabled(bool enabled)
{
    ui->hSliderStrenghtTone->setEnabled(enabled);
    ui->hSliderSmooth->setEnabled(enabled);
}

void QPageBeautify::onBtnSkimTone()
{
    showTab(ui->btnTabSkim, ui->frameSkimTone, ui->btnTabSmooth, ui->frameSmooth);
}

void QPageBeautify::onBtnSmooth()
{
    showTab(ui->btnTabSmooth, ui->frameSmooth, ui->btnTabSkim, ui->frameSkimTone);
}

void QPageBeautify::onChangedSmooth(int value)
{
    ui->labelSmooth->setText(QString::number(value));
    QImageSettings::setSmoothLevel(value);
    m_sliderDirty = true;
}

void QPageBeautify::onChangedTone(int value)
{
    ui->labelSkimTone->setText(QString::number(value));
    QImageSettings::setToneLevel(value);
    m_sliderDirty = true;
}

void QPageBeautify::onPageReset()
{
    // Through the sliders, so the labels and levels follow.
    ui->hSliderStrenghtTone->setValue(0);
    ui->hSliderSmooth->setValue(0);
    onBtnSkimTone();
}

void QPageBeautify::onBeautyFinished()
{
    setSlidersEnabled(true);
}

bool QPageBeautify::eventFilter(QObject* watched, QEvent* event)
{
    // A disabled slider's release is a run already under way.
    const bool slider = (watched == ui->hSliderStrenghtTone || watched == ui->hSliderSmooth) &&
                        static_cast<QWidget*>(watched)->isEnabled();
    if (!slider || !m_sliderDirty || event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return QWidget::eventFilter(watched, event);
    // The slider ends its drag first: a disabled widget would drop the release and
    // stay "pressed". The sliders are disabled before the signal, so a receiver
    // that finishes at once (nothing to beautify) re-enables them in its own call.
    watched->event(event);
    setSlidersEnabled(false);
    emit signal_image_beauty();
    return true;
}
