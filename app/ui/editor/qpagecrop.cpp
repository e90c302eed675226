#include "qpagecrop.h"
#include "ui_qpagecrop.h"

#include "csetting.h"
#include "keeptranslated.h"
#include "qcroptable.h"
#include "qidphotopanel.h"
#include "qimagesettings.h"
#include "qmsgbox.h"
#include "qsizebutton.h"
#include "qvarnui.h"
#include "readtextfile.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kRegularColumns = 2;
constexpr int kRegularHeight = 38;
constexpr int kListHeight = 48; // label and explanation, one above the other
constexpr int kListSpacing = 6;

// The typed size a code uses: millimetres at a density for the ID size, pixels otherwise.
QSize sizeOf(int code)
{
    return code == QCropTable::kCustomIdSize
               ? QIdPhotoPanel::customPixels()
               : QSize(QImageSettings::customWidth(), QImageSettings::customHeight());
}

} // namespace

QPageCrop::QPageCrop(QWidget* parent) : QWidget(parent), ui(new Ui::QPageCrop)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setStyleSheet(readTextFile(QStringLiteral(":/qss/PageCrop.css")));

    const QVector<const QCropTable::Row*> regular = QCropTable::tab(QCropTable::Tab::Regular);
    for (int column = 0; column < kRegularColumns; ++column)
        ui->gridLayout->setColumnStretch(column, 1);
    for (int i = 0; i < regular.size(); ++i)
        ui->gridLayout->addWidget(addSizeButton(*regular[i], kRegularHeight, ui->pageTabRegular),
                                  i / kRegularColumns, i % kRegularColumns);
    // The ID sizes scroll, so the ID panel below them always has its room.
    auto* sizes = new QScrollArea(ui->pageTabCertificate);
    sizes->setObjectName(QStringLiteral("scrollIdSizes"));
    sizes->setFrameShape(QFrame::NoFrame);
    sizes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sizes->setWidgetResizable(true);
    auto* list = new QWidget(sizes);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(kListSpacing);
    QVector<const QCropTable::Row*> idRows = QCropTable::tab(QCropTable::Tab::Certificate);
    idRows << QCropTable::row(QCropTable::kCustomIdSize);
    for (const QCropTable::Row* row : idRows)
        listLayout->addWidget(addSizeButton(*row, kListHeight, list));
    sizes->setWidget(list);
    ui->vLayoutCertificate->addWidget(sizes, 1);
    ui->vLayoutPageCertificate->setStretchFactor(ui->vLayoutCertificate, 1);
    m_idPanel = new QIdPhotoPanel(ui->pageTabCertificate);
    ui->vLayoutCertificate->addWidget(m_idPanel);
    for (const QCropTable::Row* row : QCropTable::tab(QCropTable::Tab::Ecommerce))
        ui->vLayoutEcommerce->addWidget(addSizeButton(*row, kListHeight, ui->pageTabEcommerce));

    select(firstRegularButton());
    ui->frameCustomSize->hide();
    showTab(0);

    connect(ui->btnTabRegular, &QPushButton::clicked, this, &QPageCrop::onBtnTabRegular);
    connect(ui->btnTabCertificate, &QPushButton::clicked, this, &QPageCrop::onBtnTabCertificate);
    connect(ui->btnTabEcommerce, &QPushButton::clicked, this, &QPageCrop::onBtnTabEcommerce);
    connect(ui->btnApplyCrop, &QPushButton::clicked, this, &QPageCrop::onBtnApply);
}

QPageCrop::~QPageCrop()
{
    delete ui;
}

QSizeButton* QPageCrop::addSizeButton(const QCropTable::Row& row, int height, QWidget* parent)
{
    auto* button = new QSizeButton(parent);
    button->setObjectName(QStringLiteral("btnSize%1").arg(row.code));
    button->setFixedHeight(height);
    button->setProperty("code", row.code);
    keepTranslated(
        button, [button, r = &row] { button->setTexts(QCropTable::label(*r), QCropTable::explanation(*r)); });
    const int code = row.code;
    connect(button, &TButton::clicked, this, [this, code, button] { onClickedSizeButton(code, button); });
    return button;
}

QSizeButton* QPageCrop::firstRegularButton() const
{
    return qobject_cast<QSizeButton*>(ui->gridLayout->itemAtPosition(0, 0)->widget());
}

void QPageCrop::showTab(int index)
{
    QPushButton* const tabs[] = {ui->btnTabRegular, ui->btnTabCertificate, ui->btnTabEcommerce};
    for (int i = 0; i < 3; ++i)
        QVarnUI::setCtrlProperty(tabs[i], "checked", i == index);
    ui->stackedWidget->setCurrentIndex(index);
}

void QPageCrop::onBtnTabRegular()
{
    showTab(0);
}

void QPageCrop::onBtnTabCertificate()
{
    showTab(1);
}

void QPageCrop::onBtnTabEcommerce()
{
    showTab(2);
}

void QPageCrop::select(QSizeButton* button)
{
    if (m_selected && m_selected != button)
        m_selected->setChecked(false);
    m_selected = button;
    m_selected->setChecked(true);
}

void QPageCrop::onClickedSizeButton(int id, QSizeButton* button)
{
    select(button);
    const bool custom = id == QCropTable::kCustomSize;
    ui->frameCustomSize->setVisible(custom);
    if (custom) {
        ui->lineEditWidth->setText(QString::number(QImageSettings::customWidth()));
        ui->lineEditHeight->setText(QString::number(QImageSettings::customHeight()));
    }
    m_idPanel->showCustomSize(id == QCropTable::kCustomIdSize);
    m_currentCode = id;
    emit signal_apply_crop_size(id, false, sizeOf(id));
}

void QPageCrop::onBtnApply()
{
    // The boxes only count for the custom size; with another size chosen they are
    // hidden and may hold stale text.
    if (m_currentCode == QCropTable::kCustomSize) {
        const QSize typed(ui->lineEditWidth->text().trimmed().toInt(),
                          ui->lineEditHeight->text().trimmed().toInt());
        if (!QCropTable::isValidCustomSize(typed)) {
            QMsgBox::showWarning(tr("Please enter a width and a height from %1 to %2 pixels.")
                                     .arg(QCropTable::kMinCustomSide)
                                     .arg(QCropTable::kMaxCustomSide),
                                 1);
            return;
        }
        QImageSettings::setCustomWidth(typed.width());
        QImageSettings::setCustomHeight(typed.height());
    }
    if (QCropTable::isIdPhoto(m_currentCode))
        CSetting::setValue("idphoto", "size", m_currentCode);
    emit signal_apply_crop_size(m_currentCode, true, sizeOf(m_currentCode));
}

void QPageCrop::showIdPhoto()
{
    const int first = QCropTable::tab(QCropTable::Tab::Certificate).first()->code;
    auto* button =
        findChild<QSizeButton*>(QStringLiteral("btnSize%1").arg(CSetting::getInt("idphoto", "size", first)));
    if (!button || !QCropTable::isIdPhoto(button->property("code").toInt()))
        button = findChild<QSizeButton*>(QStringLiteral("btnSize%1").arg(first));
    showTab(1);
    onClickedSizeButton(button->property("code").toInt(), button);
}

void QPageCrop::onPageReset()
{
    m_idPanel->onPageReset();
    m_idPanel->showCustomSize(false);
    showTab(0);
    select(firstRegularButton());
    m_currentCode = QCropTable::kWholePicture;
    ui->frameCustomSize->hide();
}

void QPageCrop::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit signal_show_crop_frame(true);
}

void QPageCrop::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit signal_show_crop_frame(false);
}
