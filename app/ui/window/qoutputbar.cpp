#include "qoutputbar.h"
#include "ui_qmainwidget.h"

#include "csetting.h"
#include "keeptranslated.h"
#include "qcropwidget.h"
#include "qfilechooser.h"
#include "qimageformatdialog.h"
#include "qmsgbox.h"
#include "qoutputsizebox.h"
#include "qsavenotice.h"
#include "quserhelp.h"

#include <QDir>
#include <QFileInfo>
#include <QShortcut>
#include <QTimer>

namespace {
constexpr int kRepaintDelayMs = 50;
} // namespace

QOutputBar::QOutputBar(Ui::QMainWidgetClass* form, QCropWidget* editView, QWidget* window)
    : QObject(window), ui(form), m_editView(editView), m_window(window)
{
    // Between the pictures and the bar, so it never covers the result it reports.
    m_notice = new QSaveNotice(ui->frameImageBottom->parentWidget());
    auto* column = qobject_cast<QBoxLayout*>(ui->frameImageBottom->parentWidget()->layout());
    column->insertWidget(column->indexOf(ui->frameImageBottom), m_notice);

    // An empty stored folder (a hand-edited settings file) would save beside the
    // program; the menu's output folder has the same fallback.
    showFolder(QUserHelp::outputFolder());
    for (int i = 0; i < kSizeCount; ++i)
        ui->comboOutputSize->addItem(QString(), i);
    // A named size only ever shrinks: the texts say so, as the saved file does.
    keepTranslated(ui->comboOutputSize, [this] {
        const QStringList sizes{tr("Up to 1080P"), tr("Up to 2K"), tr("Up to 4K"), tr("Original size")};
        for (int i = 0; i < kSizeCount; ++i)
            ui->comboOutputSize->setItemText(i, sizes[i]);
        ui->comboOutputSize->setToolTip(
            tr("1080P, 2K and 4K limit the long side to 1920, 2000 and 4000 pixels; "
               "a smaller photo keeps its size."));
    });
    const int stored = CSetting::getInt("output", "size", kDefaultSize);
    ui->comboOutputSize->setCurrentIndex(stored >= 0 && stored < kSizeCount ? stored : kDefaultSize);
    connect(ui->comboOutputSize, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [](int index) { CSetting::setValue("output", "size", index); });
    connect(m_editView, &QCropWidget::signal_exact_size, this,
            [this](bool exact) { QOutputSizeBox::showExact(ui->comboOutputSize, exact); });

    // A child of the button: Qt offers a shortcut only while its widget is visible and
    // enabled, so Ctrl+S works exactly when Save could be clicked, and it never
    // competes with another page's Ctrl+S.
    auto* save = new QShortcut(QKeySequence::Save, ui->btnSave);
    connect(save, &QShortcut::activated, this, &QOutputBar::onSave);
    ui->btnSave->setToolTip(tr("Save the result (%1)").arg(save->key().toString(QKeySequence::NativeText)));
    connect(ui->btnSave, &QPushButton::clicked, this, &QOutputBar::onSave);
    connect(ui->btnSelectOutput, &QPushButton::clicked, this, &QOutputBar::onSelectFolder);

    connect(m_editView, &QCropWidget::signal_saved, this, [this](const QString& path) {
        emit signal_busy(false);
        if (!QFileInfo(path).isFile())
            return;
        m_notice->showSaved(path);
        // The folder opens after every save, as it always did; the notice stays for
        // when it cannot, and for later.
        m_notice->onOpenFolder();
    });
    connect(m_editView, &QCropWidget::signal_save_failed, this, [this](const QString& message) {
        emit signal_busy(false);
        QMsgBox::showError(message, 1);
    });
}

void QOutputBar::onSave()
{
    QImageFormatDialog format(m_window);
    if (format.exec() != QDialog::Accepted)
        return;
    m_notice->hide();
    emit signal_busy(true);
    m_editView->save(QUserHelp::outputFolder(), ui->comboOutputSize->currentData().toInt());
}

void QOutputBar::onSelectFolder()
{
    const QString folder = QFileChooser::outputFolder(m_window);
    if (folder.isEmpty())
        return;
    showFolder(folder);
    // The translucent frame keeps traces of the closed dialog until it repaints.
    QTimer::singleShot(kRepaintDelayMs, m_window, qOverload<>(&QWidget::update));
}

void QOutputBar::showFolder(const QString& folder)
{
    ui->lineEditOutput->setText(QDir::toNativeSeparators(folder));
    ui->lineEditOutput->setCursorPosition(0);
    ui->lineEditOutput->setToolTip(ui->lineEditOutput->text());
}
