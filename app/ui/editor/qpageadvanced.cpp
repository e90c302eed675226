#include "qpageadvanced.h"

#include "keeptranslated.h"
#include "qappsettings.h"
#include "qsavefilewriter.h"
#include "readtextfile.h"
#include "ui_qpageadvanced.h"

#include <QIntValidator>

QPageAdvanced::QPageAdvanced(QWidget* parent) : QWidget(parent), ui(new Ui::QPageAdvanced)
{
    ui->setupUi(this);
    setStyleSheet(readTextFile(QStringLiteral(":/qss/PageAdvanced.css")));
    ui->lineEdit->setValidator(new QIntValidator(0, kMaxKilobytes, ui->lineEdit));
    keepTranslated(this, [this] {
        ui->retranslateUi(this);
        ui->lineEdit->setPlaceholderText(tr("No limit"));
        ui->lineEdit->setToolTip(
            tr("Saved JPG files are made no larger than this; leave it empty for the best quality."));
        ui->checkKeepPrivate->setToolTip(tr("Off: saved files leave out where the photo was taken and the "
                                            "serial numbers of the camera and lens."));
    });
    onPageReset();
    connect(ui->lineEdit, &QLineEdit::textEdited, this, &QPageAdvanced::onSizeEdited);
    connect(ui->checkKeepPrivate, &QCheckBox::toggled, this, &QAppSettings::setKeepLocationAndSerials);
}

QPageAdvanced::~QPageAdvanced()
{
    delete ui;
}

void QPageAdvanced::onPageReset()
{
    const int stored = QSaveFileWriter::maxKilobytes();
    ui->lineEdit->setText(stored > 0 ? QString::number(stored) : QString());
    ui->checkKeepPrivate->setChecked(QAppSettings::keepLocationAndSerials());
}

void QPageAdvanced::onSizeEdited(const QString& text)
{
    // The validator lets only digits through; an empty box (or 0) is no limit.
    QSaveFileWriter::setMaxKilobytes(text.toInt());
}
