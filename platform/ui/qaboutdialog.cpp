#include "qaboutdialog.h"
#include "ui_qaboutdialog.h"

#include "cglobal.h"
#include "qcustomui.h"
#include "qplatformstyle.h"

#include <QPixmap>

QAboutDialog::QAboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui(new Ui::QAboutDialog)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    setModal(true);
    setStyleSheet(QPlatformStyle::load(QStringLiteral("about.css")));
    setWindowTitle(tr("About %1").arg(CGlobal::appTitle()));

    const QPixmap picture(QCustomUI::aboutImage());
    ui->labelImage->setPixmap(picture.width() > 380 ? picture.scaledToWidth(380, Qt::SmoothTransformation)
                                                    : picture);
    ui->labelImage->setVisible(!picture.isNull());
    ui->labelName->setText(CGlobal::appTitle());
    ui->labelVersion->setText(
        tr("Version %1 (build %2)").arg(QStringLiteral(BRISEL_VERSION)).arg(CGlobal::getBuildDate()));
    ui->labelCopyright->setText(tr("Removes the background from your photos."));
    ui->btnClose->setToolTip(tr("Close"));
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

QAboutDialog::~QAboutDialog()
{
    delete ui;
}
