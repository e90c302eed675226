#include "qimageformatdialog.h"

#include "qappsettings.h"
#include "qvarnui.h"
#include "ui_qimageformatdialog.h"

QImageFormatDialog::QImageFormatDialog(QWidget* parent) : QBaseDialog(parent), ui(new Ui::QImageFormatDialog)
{
    ui->setupUi(this);
    init(QStringLiteral(":/qss/ImageFormat.css"));
    connect(ui->btnClose, &QPushButton::clicked, this, &QImageFormatDialog::onClose);
    connect(ui->btnFormatPNG, &QPushButton::clicked, this, &QImageFormatDialog::onBtnFormatPNG);
    connect(ui->btnFormatJPG, &QPushButton::clicked, this, &QImageFormatDialog::onBtnFormatJPG);
    connect(ui->btnApply, &QPushButton::clicked, this, &QImageFormatDialog::onBtnApply);
    select(QAppSettings::outputAsJpg());
}

QImageFormatDialog::~QImageFormatDialog()
{
    delete ui;
}

void QImageFormatDialog::select(bool jpg)
{
    m_isJpg = jpg;
    QVarnUI::setCtrlProperty(ui->btnFormatPNG, "checked", !jpg);
    QVarnUI::setCtrlProperty(ui->btnFormatJPG, "checked", jpg);
    ui->labelFormatMsg->setText(
        jpg ? tr("JPG does not support transparent background (the default background is white), the file "
                 "size is small")
            : tr("PNG supports transparent background, the file size is larger"));
}

void QImageFormatDialog::onBtnFormatPNG()
{
    select(false);
}

void QImageFormatDialog::onBtnFormatJPG()
{
    select(true);
}

void QImageFormatDialog::onBtnApply()
{
    QAppSettings::setOutputAsJpg(m_isJpg);
    accept();
}

void QImageFormatDialog::onOK()
{
    onBtnApply();
}
