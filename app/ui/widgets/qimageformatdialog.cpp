#include "qimageformatdialog.h"

#include "qappsettings.h"
#include "qvarnui.h"
#include "ui_qimageformatdialog.h"

QImageFormatDialog::QImageFormatDialog(QWidget* parent) : QBaseDialog(parent), ui(new Ui::QImageFormatDialog)
{
    ui->setupUi(this);
    init(QStringLiteral(":/qss/ImageFormat.css"));
    connect(ui->btnClose, &QPushButton::clicked, this, &QImageFormatDialog::onClose);
    connect(ui->btnFormatPNG, &QPushButton::clicked, this, [this] { select(SaveFormat::Png); });
    connect(ui->btnFormatJPG, &QPushButton::clicked, this, [this] { select(SaveFormat::Jpg); });
    connect(ui->btnFormatWEBP, &QPushButton::clicked, this, [this] { select(SaveFormat::Webp); });
    connect(ui->btnApply, &QPushButton::clicked, this, &QImageFormatDialog::onBtnApply);
    select(QAppSettings::outputFormat());
}

QImageFormatDialog::~QImageFormatDialog()
{
    delete ui;
}

void QImageFormatDialog::select(SaveFormat format)
{
    m_format = format;
    QVarnUI::setCtrlProperty(ui->btnFormatPNG, "checked", format == SaveFormat::Png);
    QVarnUI::setCtrlProperty(ui->btnFormatJPG, "checked", format == SaveFormat::Jpg);
    QVarnUI::setCtrlProperty(ui->btnFormatWEBP, "checked", format == SaveFormat::Webp);
    switch (format) {
    case SaveFormat::Jpg:
        ui->labelFormatMsg->setText(
            tr("JPG does not support transparent background (the default background is "
               "white), the file size is small"));
        break;
    case SaveFormat::Webp:
        ui->labelFormatMsg->setText(
            tr("WebP keeps the transparent background and is small; some older programs cannot open it"));
        break;
    case SaveFormat::Png:
        ui->labelFormatMsg->setText(tr("PNG supports transparent background, the file size is larger"));
        break;
    }
}

void QImageFormatDialog::onBtnApply()
{
    QAppSettings::setOutputFormat(m_format);
    accept();
}

void QImageFormatDialog::onOK()
{
    onBtnApply();
}
