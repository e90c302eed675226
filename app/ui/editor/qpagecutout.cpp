#include "qpagecutout.h"
#include "ui_qpagecutout.h"

#include "keeptranslated.h"
#include "qappsettings.h"
#include "qimagesettings.h"
#include "qmaskstroke.h"
#include "qmsgbox.h"
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
    ui->checkKeepShadow->hide();
    ui->checkRefineAuto->setChecked(QAppSettings::refineAfterStroke());

    connect(ui->btnTabBrush, &QPushButton::clicked, this, &QPageCutOut::onBtnTabBrush);
    connect(ui->btnTabMagic, &QPushButton::clicked, this, &QPageCutOut::onBtnTabMagic);
    connect(ui->btnRemove, &QPushButton::clicked, this, &QPageCutOut::onBtnTabRemove);
    connect(ui->btnKeep, &QPushButton::clicked, this, &QPageCutOut::onBtnTabKeep);
    connect(ui->hSliderBrushSize, &QSlider::valueChanged, this, &QPageCutOut::onChangedBrushSize);
    connect(ui->hSliderHardness, &QSlider::valueChanged, this, &QPageCutOut::onChangedHardness);
    connect(ui->hSliderTolerance, &QSlider::valueChanged, this, &QPageCutOut::onChangedTolerance);
    connect(ui->btnRefine, &QPushButton::clicked, this, &QPageCutOut::signal_refine);
    connect(ui->checkRefineAuto, &QCheckBox::toggled, this, &QAppSettings::setRefineAfterStroke);
    for (QSlider* slider : {ui->hSliderFeather, ui->hSliderShift}) {
        connect(slider, &QSlider::valueChanged, this,
                [this, slider] { edgeChanged(!slider->isSliderDown()); });
        connect(slider, &QSlider::sliderReleased, this, [this] { edgeChanged(true); });
    }
    connect(ui->checkDecontaminate, &QCheckBox::toggled, this, [this] { edgeChanged(true); });
    connect(ui->checkKeepShadow, &QCheckBox::toggled, this, &QPageCutOut::signal_keep_shadow);
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
    ui->checkRefineAuto->setChecked(QAppSettings::refineAfterStroke());
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
    // The slider reads as its label says: the higher, the crisper the edge.
    return ui->hSliderHardness->value() * QMaskStroke::kMaxHardness / kMaxSliderHardness;
}

void QPageCutOut::onChangedHardness(int value)
{
    ui->labelHardness->setText(QStringLiteral("%1%").arg(value));
    emit signal_hardness(brushHardness());
}

void QPageCutOut::showShadowSwitch()
{
    ui->checkKeepShadow->show();
}

QEdgeControls::Options QPageCutOut::edge() const
{
    return {ui->hSliderFeather->value(), ui->hSliderShift->value(), ui->checkDecontaminate->isChecked()};
}

void QPageCutOut::edgeChanged(bool final)
{
    ui->labelFeather->setText(tr("%1 px").arg(ui->hSliderFeather->value()));
    ui->labelShift->setText(tr("%1 px").arg(ui->hSliderShift->value()));
    emit signal_edge(edge(), final);
}

void QPageCutOut::showEdge(const QEdgeControls::Options& edge)
{
    {
        const QSignalBlocker feather(ui->hSliderFeather), shift(ui->hSliderShift),
            colours(ui->checkDecontaminate);
        ui->hSliderFeather->setValue(edge.feather);
        ui->hSliderShift->setValue(edge.shift);
        ui->checkDecontaminate->setChecked(edge.decontaminate);
    }
    ui->labelFeather->setText(tr("%1 px").arg(edge.feather));
    ui->labelShift->setText(tr("%1 px").arg(edge.shift));
}

bool QPageCutOut::confirmRematte()
{
    return QMsgBox::showQuestion(tr("The photo is cut out again with or without its shadow, which discards "
                                    "your brush strokes and erasures on it. Go on?")) == 1;
}

void QPageCutOut::showKeepShadow(bool keep)
{
    const QSignalBlocker shadow(ui->checkKeepShadow);
    ui->checkKeepShadow->setChecked(keep);
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
    showKeepShadow(false);              // a new cut-out is matted as asked already
    showEdge(QEdgeControls::Options()); // a new cut-out starts with plain edges of its own
    onBtnTabRemove();
    onBtnTabBrush();
}
