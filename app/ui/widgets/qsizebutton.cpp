#include "qsizebutton.h"
#include "ui_qsizebutton.h"

#include "qvarnui.h"
#include "readtextfile.h"

QSizeButton::QSizeButton(QWidget* parent) : TButton(parent), ui(new Ui::QSizeButton)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("SizeButton"));
    setStyleSheet(readTextFile(QStringLiteral(":/qss/SizeButton.css")));
    setCursor(Qt::PointingHandCursor);
    setCheckable(true);
    showChecked();
}

QSizeButton::~QSizeButton()
{
    delete ui;
}

void QSizeButton::setTexts(const QString& name, const QString& explanation)
{
    ui->labelName->setText(name);
    ui->labelExplain->setText(explanation);
    ui->labelExplain->setVisible(!explanation.isEmpty());
}

QString QSizeButton::name() const
{
    return ui->labelName->text();
}

QString QSizeButton::explanation() const
{
    return ui->labelExplain->text();
}

void QSizeButton::setChecked(bool value)
{
    TButton::setChecked(value);
    showChecked();
}

bool QSizeButton::toggle()
{
    // Choosing a size again keeps it chosen: one size is always selected.
    checked = true;
    showChecked();
    return checked;
}

void QSizeButton::showChecked()
{
    QVarnUI::setCtrlProperty(this, "checked", checked);
}
