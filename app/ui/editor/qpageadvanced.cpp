#include "qpageadvanced.h"

#include "keeptranslated.h"
#include "qappsettings.h"
#include "qsavefilewriter.h"
#include "readtextfile.h"
#include "ui_qpageadvanced.h"

#include <QIntValidator>
#include <QPushButton>

QPageAdvanced::QPageAdvanced(QWidget* parent) : QWidget(parent), ui(new Ui::QPageAdvanced)
{
    ui->setupUi(this);
    setStyleSheet(readTextFile(QStringLiteral(":/qss/PageAdvanced.css")));
    ui->lineEdit->setValidator(new QIntValidator(0, kMaxKilobytes, ui->lineEdit));
    ui->lineEditMin->setValidator(new QIntValidator(0, kMaxKilobytes, ui->lineEditMin));
    for (const QSaveFileWriter::Kilobytes& range : QSaveFileWriter::kCommonRanges) {
        auto* button = new QPushButton(QStringLiteral("%1-%2 KB").arg(range.min).arg(range.max), this);
        button->setObjectName(QStringLiteral("btnRange%1_%2").arg(range.min).arg(range.max));
        connect(button, &QPushButton::clicked, this, [this, range] {
            ui->lineEditMin->setText(QString::number(range.min));
            ui->lineEdit->setText(QString::number(range.max));
            onMinSizeEdited(ui->lineEditMin->text());
            onSizeEdited(ui->lineEdit->text());
        });
        ui->hLayoutRanges->addWidget(button);
    }
    keepTranslated(this, [this] {
        ui->retranslateUi(this);
        ui->lineEdit->setPlaceholderText(tr("No limit"));
        ui->lineEditMin->setPlaceholderText(tr("No limit"));
        ui->lineEdit->setToolTip(
            tr("Saved JPG files are made no larger than this; leave it empty for the best quality."));
        ui->checkKeepPrivate->setToolTip(tr("Off: saved files leave out where the photo was taken and the "
                                            "serial numbers of the camera and lens."));
        ui->lineEditMin->setToolTip(
            tr("Saved JPG files are made at least this large where the quality allows; "
               "some ID forms ask for it."));
    });
    onPageReset();
    connect(ui->lineEdit, &QLineEdit::textEdited, this, &QPageAdvanced::onSizeEdited);
    connect(ui->lineEditMin, &QLineEdit::textEdited, this, &QPageAdvanced::onMinSizeEdited);
    connect(ui->checkKeepPrivate, &QCheckBox::toggled, this, &QAppSettings::setKeepLocationAndSerials);
}

QPageAdvanced::~QPageAdvanced()
{
    delete ui;
}

void QPageAdvanced::onPageReset()
{
    const QSaveFileWriter::Kilobytes stored = QSaveFileWriter::kilobytes();
    ui->lineEdit->setText(stored.max > 0 ? QString::number(stored.max) : QString());
    ui->lineEditMin->setText(stored.min > 0 ? QString::number(stored.min) : QString());
    ui->checkKeepPrivate->setChecked(QAppSettings::keepLocationAndSerials());
}

void QPageAdvanced::onSizeEdited(const QString& text)
{
    // The validator lets only digits through; an empty box (or 0) is no limit.
    QSaveFileWriter::setMaxKilobytes(text.toInt());
}

void QPageAdvanced::onMinSizeEdited(const QString& text)
{
    QSaveFileWriter::setMinKilobytes(text.toInt());
}
