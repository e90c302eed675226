#include "qpagecutout.h"
#include "ui_qpagecutout.h"

#include "keeptranslated.h"
#include "qimagesettings.h"
#include "qmaskstroke.h"
#include "qvarnui.h"
#include "readtextfile.h"

QPageCutOut::QPageCutOut(QWidget* parent) : QWidget(parent), ui(new Ui::QPageCutOut)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(QStringLiteral(":/qss/PageCutOut.css")));
    choose(ui->btnTabBrush, ui->btnTabMagic);
    choose(ui->btnRemove, ui->btnKeep);
    ui->frameTolerance->hide();

    connect(ui->btnTabBrush, &QPushButton::clicked, this, &QPageCutOut::onBtnTabBrush);
    connect(ui->btnTabMagic, &QPushButton::clicked, this, &QPageCutOut::onBtnTabMagic);
    connect(ui->btnRemove, &QPushButton::clicked, this, &QPageCutOut::onBtnTabRemove);
    connect(ui->btnKeep, &QPushButton::clicked, this, &QPageCutOut::onBtnTabKeep);
    connect(ui->hSliderBrushSize, &QSlider::valueChanged, this, &QPageCutOut::onChangedBrushSize);
    connect(ui->hSliderHardness, &QSlider::valueChanged, this, &QPageCutOut::onChangedHardness);
    connect(ui->hSliderTolerance, &QSlider::valueChanged, this, &QPageCutOut::onChangedTolerance);
}

QPageCutOut::~QPageCutOut()
{
    delete ui;
}

void QPageCutOut::choose(QPushButton* on, QPushButton* off)
{
    QVarnUI::setCtrlProperty(on, "checked", true);
    QVarnUI::setCtrlProperty(off, "checked", false);
}

void QPageCutOut::onBtnTabBrush()
{
    choose(ui->btnTabBrush, ui->btnTabMagic);
    ui->frameBrushSize->show();
    ui->frameHardness->show();
    ui->frameTolerance->hide();
    emit signal_change_brush(false);
}

void QPageCutOut::onBtnTabMagic()
{
    choose(ui->btnTabMagic, ui->btnTabBrush);
    ui->frameTolerance->show();
    ui->frameBrushSize->hide();
    ui->frameHardness->hide();
    emit signal_change_brush(true);
}

void QPageCutOut::onBtnTabRemove()
{
    choose(ui->btnRemove, ui->btnKeep);
    emit signal_repair_background(false);
}

void QPageCutOut::onBtnTabKeep()
{
    choose(ui->btnKeep, ui->btnRemove);
    emit signal_repair_background(true);
}

void QPageCutOut::onChangedBrushSize(int value)
{
    ui->labelBrushSize->setText(QString::number(value));
    emit signal_brush_size(value);
}

int QPageCutOut::brushHardness() const
{
    // The slider sets how far the edge is softened: at its default 0 the brush
    // paints the crisp edge it has always had, and the row reads "0%".
    return QMaskStroke::kMaxHardness - ui->hSliderHardness->value();
}

void QPageCutOut::onChangedHardness(int value)
{
    ui->labelHardness->setText(QStringLiteral("%1%").arg(value));
    emit signal_hardness(brushHardness());
}

void QPageCutOut::onChangedTolerance(int value)
{
    ui->labelTolerance->setText(QStringLiteral("%1").arg(value));
    QImageSettings::setTolerance(value);
}

void QPageCutOut::onBrushSizeChanged(int size)
{
    ui->hSliderBrushSize->setValue(size);
}

void QPageCutOut::onPageReset()
{
    // Through the sliders, so labels, settings and the view follow; a slider that
    // already has its default changes nothing.
    ui->hSliderBrushSize->setValue(kDefaultBrushSize);
    ui->hSliderHardness->setValue(kDefaultHardness);
    ui->hSliderTolerance->setValue(kDefaultTolerance);
    onBtnTabRemove();
    onBtnTabBrush();
}
