#include "qmainwidget.h"
#include "ui_qmainwidget.h"

#include "cglobal.h"
#include "cmemory.h"
#include "csetting.h"
#include "qbatchmattingwidget.h"
#include "qcommonmethod.h"
#include "qcropwidget.h"
#include "qenterbutton.h"
#include "qfilechooser.h"
#include "qframelessframe.h"
#include "qhometoolbutton.h"
#include "qimageformatdialog.h"
#include "qloadingctrl.h"
#include "qmsgbox.h"
#include "qoriginwidget.h"
#include "qpagemanager.h"
#include "qphotosession.h"
#include "qtabbutton.h"
#include "qtaskmanager.h"
#include "quserhelp.h"
#include "qvarnui.h"
#include "qworkpool.h"
#include "readtextfile.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace {
// Large enough that the biggest dots of the ring do not touch.
constexpr int kSpinnerSide = 160;
const QSize kDefaultSize(1208, 808);

struct TabSpec
{
    const char* name;
    const char* text;
    const char* icon;
    int index;
};
// Top to bottom; index 3 has no button, and "More" opens the tutorial.
const TabSpec kTabs[] = {
    {"BtnTabChangeBg", QT_TRANSLATE_NOOP("QMainWidget", "Change background"), "change.bg", 0},
    {"BtnTabCutout", QT_TRANSLATE_NOOP("QMainWidget", "Manually remove background"), "cutout", 1},
    {"BtnTabCrop", QT_TRANSLATE_NOOP("QMainWidget", "Crop"), "crop", 2},
    {"BtnTabBeautify", QT_TRANSLATE_NOOP("QMainWidget", "Beautify"), "beautify", 4},
    {"BtnTabMore", QT_TRANSLATE_NOOP("QMainWidget", "More"), "more", QMainWidget::TabMore},
};

// The kinds of photo the picker offers; a file dropped on a card must be one too.
bool isPhotoFile(const QString& path)
{
    static const QStringList suffixes{"jpg", "jpeg", "png", "bmp"};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}
} // namespace

QMainWidget::QMainWidget(QWidget* parent)
    : QWidget(parent), ui(new Ui::QMainWidgetClass), session(new QPhotoSession(this))
{
    ui->setupUi(this);
    if (!QWorkPool::instance()->isRunning())
        QWorkPool::instance()->start(3);

    setWindowTitle(tr("Brisel"));
    ui->labelTitle->setText(tr("Brisel"));
    setStyleSheet(readTextFile(QStringLiteral(":/qss/Main.css")));
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->labelVersion->setText(QStringLiteral(BRISEL_VERSION));
    setOutputFolder(CSetting::getString("output", "path", CGlobal::getOutputPath()));

    userHelp = new QUserHelp(this, this);
    menu = userHelp->initMenu();
    // The title buttons' pictures come from the style sheet.
    ui->labelIco->setPixmap(QPixmap(QStringLiteral(":/image/logo.about.png")));
    setupHomePage();
    setupTabColumn();

    loading = new QLoadingCtrl(ui->frameLoading);
    loading->setObjectName(QStringLiteral("loading"));
    loading->setColor(QColor(52, 122, 235, 255));
    loading->setFixedSize(kSpinnerSide, kSpinnerSide);
    ui->vLayoutLoading->insertWidget(0, loading, 0, Qt::AlignHCenter);
    setupWorkspace();

    connect(ui->btnMin, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btnMax, &QPushButton::clicked, this, &QMainWidget::onBtnMax);
    connect(ui->btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->BtnMenu, &QPushButton::clicked, this, &QMainWidget::onBtnMenu);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QMainWidget::onBtnCancel);
    connect(ui->btnUploadAgain, &QPushButton::clicked, this, &QMainWidget::onBtnUploadAgain);
    connect(ui->btnSave, &QPushButton::clicked, this, &QMainWidget::onBtnSave);
    connect(ui->btnBackHome, &QPushButton::clicked, this, &QMainWidget::onBtnBackHome);
    connect(ui->btnSelectOutput, &QPushButton::clicked, this, &QMainWidget::onBtnSelectOutputPath);
    connect(ui->comboOutputSize, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [](int index) { CSetting::setValue("output", "size", index); });
    connect(session, &QPhotoSession::signal_started, this, &QMainWidget::onMattingStarted);
    connect(session, &QPhotoSession::signal_matting, this,
            [this] { ui->labelMattingText->setText(tr("Cutting background in progerss...")); });
    connect(session, &QPhotoSession::signal_succeeded, this, &QMainWidget::onMattingSuccess);
    connect(session, &QPhotoSession::signal_failed, this, &QMainWidget::onMattingError);
    connect(session, &QPhotoSession::signal_cancelled, this, [this] {
        loading->stop();
        showHome(HomeEntry);
    });
    auto* save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, [this] {
        if (ui->stackedWidget->currentIndex() == PageImage && ui->btnSave->isEnabled())
            onBtnSave();
    });

    // The window has no system frame; this stands in for it.
    frameless = new QFramelessFrame(this, ui->frameTitle, ui->frameMain);
    connect(frameless, &QFramelessFrame::signal_title_double_clicked, this, &QMainWidget::onBtnMax);

    ui->stackedWidget->setCurrentIndex(PageHome);
    ui->stackedWidgetHome->setCurrentIndex(HomeEntry);
    restoreWindowGeometry();
    QTimer::singleShot(SwitchDelayMs, this, [this] { userHelp->checkUpdate(false); });
}

QMainWidget::~QMainWidget()
{
    CSetting::setValue("window", "geometry", QString::fromLatin1(saveGeometry().toBase64()));
    QWorkPool::instance()->stop();
    delete ui;
}

void QMainWidget::setupHomePage()
{
    struct Card
    {
        const char* picture;
        const char* objectName;
        const char* name;
        const char* text;
        void (QMainWidget::*slot)();
    };
    const Card cards[] = {
        {"person", "EnterPerson", QT_TR_NOOP("Remove Person Background"), QT_TR_NOOP("For Portrait Only"),
         &QMainWidget::onBtnMattingPerson},
        {"goods", "EnterGoods", QT_TR_NOOP("Remove Product Backaround"),
         QT_TR_NOOP("For Products, Clothes, Animals, Cars, etc"), &QMainWidget::onBtnMattingGoods},
        {"card", "EnterCard", QT_TR_NOOP("Create ID Photo"),
         QT_TR_NOOP("Support for changing background, cropping, setting file size, etc"),
         &QMainWidget::onBtnMattingCard},
    };
    int at = 1; // after the left spacer
    int type = Person;
    for (const Card& c : cards) {
        auto* card = new QEnterButton(QStringLiteral(":/image/label.%1.normal.png").arg(c.picture),
                                      QStringLiteral(":/image/label.%1.hover.png").arg(c.picture),
                                      ui->frameHomeButton);
        card->setObjectName(QLatin1String(c.objectName));
        card->setName(tr(c.name));
        card->setText(tr(c.text));
        connect(card, &TButton::clicked, this, c.slot);
        connect(card, &QEnterButton::signal_drop_file, this, [this, type](const QString& path) {
            if (isPhotoFile(path))
                submitPhoto(type, path);
            else
                QMsgBox::showWarning(tr("\"%1\" is not a photo Brisel can open. Drop a JPG, PNG or BMP file.")
                                         .arg(QFileInfo(path).fileName()),
                                     1);
        });
        ++type;
        ui->hLayoutEnterButton->insertWidget(at++, card);
    }

    auto addTool = [this](QBoxLayout* layout, const char* name, const QString& picture, const QString& text,
                          std::function<void()> slot) {
        auto* button = new QHomeToolButton(QStringLiteral(":/image/btn.%1.normal.png").arg(picture),
                                           QStringLiteral(":/image/btn.%1.hover.png").arg(picture), this);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        connect(button, &TButton::clicked, this, slot);
        layout->addWidget(button);
    };
    addTool(ui->hLayoutBatchButton, "BatchPerson", "batch.person", tr("Remove person background in bulk"),
            [this] { startBatchMode(Person); });
    addTool(ui->hLayoutBatchButton, "BatchGoods", "batch.goods", tr("Remove product background in bulk"),
            [this] { startBatchMode(Goods); });
    addTool(ui->hLayoutToolButton, "RemoveMark", "remove.mark", tr("Image watermark remove"),
            [this] { onBtnRemoveMark(); });

    ui->labelBottomText->setText(tr("JPG, PNG and BMP photos. Drop a photo on a card to start."));
    ui->labelBottomVersion->setText(tr("Version %1").arg(QStringLiteral(BRISEL_VERSION)));
}

void QMainWidget::setupTabColumn()
{
    for (const TabSpec& entry : kTabs) {
        auto* tab = new QTabButton(ui->frameImageLeft);
        tab->setObjectName(QLatin1String(entry.name));
        tab->setFixedWidth(100);
        tab->setIconSize(QSize(46, 46));
        tab->setIcons(QStringLiteral(":/image/btn.%1.png").arg(entry.icon),
                      QStringLiteral(":/image/btn.%1.hover.png").arg(entry.icon));
        tab->setText(tr(entry.text));
        tab->setTabIndex(entry.index);
        tab->setCheckable(entry.index != TabMore);
        connect(tab, &QTabButton::signal_tab_clicked, this, &QMainWidget::onBtnTabClicked);
        ui->vLayoutSidebar->addWidget(tab);
        tabButtons.append(tab);
    }
}

void QMainWidget::setupWorkspace()
{
    originView = new QOriginWidget(ui->frameImageContent);
    originView->setObjectName(QStringLiteral("originView"));
    editView = new QCropWidget(ui->frameImageContent);
    editView->setObjectName(QStringLiteral("editView"));
    ui->hLayoutImage->addWidget(originView, 1);
    ui->hLayoutImage->addWidget(editView, 1);
    connect(editView, &QCropWidget::signal_saved, this, [this](const QString& path) {
        setWorkspaceBusy(false);
        QVarnUI::openFolder(path, true);
    });
    connect(editView, &QCropWidget::signal_save_failed, this, [this](const QString& message) {
        setWorkspaceBusy(false);
        QMsgBox::showError(message, 1);
    });
    connect(editView, &QCropWidget::signal_beauty_begin, this, [this] { setWorkspaceBusy(true); });
    connect(editView, &QCropWidget::signal_beauty_finished, this, [this] { setWorkspaceBusy(false); });
    // The tool pages open in the side panel to the right of the pictures.
    pageManager = new QPageManager(this);
    pageManager->setLayout(ui->hLayoutWork);
    pageManager->connectView(editView);
    connect(pageManager, &QPageManager::signal_apply_crop_size, this, &QMainWidget::onApplyCropSize);

    const QStringList sizes{QStringLiteral("1080P"), QStringLiteral("2K"), QStringLiteral("4K"),
                            tr("Original resolution")};
    for (int i = 0; i < sizes.size(); ++i)
        ui->comboOutputSize->addItem(sizes[i], i);
    const int stored = CSetting::getInt("output", "size", 1);
    ui->comboOutputSize->setCurrentIndex(stored >= 0 && stored < sizes.size() ? stored : 1);
}

void QMainWidget::restoreWindowGeometry()
{
    const QByteArray saved = QByteArray::fromBase64(CSetting::getString("window", "geometry").toLatin1());
    if (saved.isEmpty() || !restoreGeometry(saved)) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QRect r(QPoint(), kDefaultSize.boundedTo(screen.size()).expandedTo(minimumSize()));
        r.moveCenter(screen.center());
        setGeometry(r);
    }
    applyFrameMargins();
}

void QMainWidget::setOutputFolder(const QString& folder)
{
    ui->lineEditOutput->setText(QDir::toNativeSeparators(folder));
    ui->lineEditOutput->setCursorPosition(0);
    ui->lineEditOutput->setToolTip(ui->lineEditOutput->text());
}

void QMainWidget::later(std::function<void()> step)
{
    QTimer::singleShot(SwitchDelayMs, this, std::move(step));
}

void QMainWidget::showHome(HomePage page)
{
    later([this, page] {
        ui->stackedWidget->setCurrentIndex(PageHome);
        ui->stackedWidgetHome->setCurrentIndex(page);
    });
}

void QMainWidget::paintEvent(QPaintEvent* event)
{
    frameless->paintShadow(event);
}

void QMainWidget::onBtnMax()
{
    if (isMaximized()) {
        ui->mainLayout->setContentsMargins(FrameMargin, FrameMargin, FrameMargin, FrameMargin);
        showNormal();
    } else {
        ui->mainLayout->setContentsMargins(0, 0, 0, 0);
        showMaximized();
    }
}

void QMainWidget::applyFrameMargins()
{
    const int m = isMaximized() ? 0 : FrameMargin;
    ui->mainLayout->setContentsMargins(m, m, m, m);
    ui->btnMax->setToolTip(isMaximized() ? tr("Restore") : tr("Maximize"));
}

void QMainWidget::changeEvent(QEvent* event)
{
    // The system can maximise or restore the window too (keyboard, window manager).
    if (event->type() == QEvent::WindowStateChange)
        applyFrameMargins();
    QWidget::changeEvent(event);
}

void QMainWidget::onBtnMattingPerson()
{
    pickPhoto(Person);
}

void QMainWidget::onBtnMattingGoods()
{
    pickPhoto(Goods);
}

void QMainWidget::onBtnMattingCard()
{
    pickPhoto(Card);
}

void QMainWidget::onBtnUploadAgain()
{
    pickPhoto(session->type());
}

int QMainWidget::currentMattingType() const
{
    return session->type();
}

void QMainWidget::pickPhoto(int type)
{
    const QString folder = CSetting::getString("default", "path", CGlobal::getDesktopPath());
    const QString file =
        QFileChooser::openFile(this, tr("Select Image"), folder, QFileChooser::imageFilter());
    if (file.isEmpty())
        return;
    submitPhoto(type, file);
}

void QMainWidget::submitPhoto(int type, const QString& filePath)
{
    CSetting::setValue("default", "path", QFileInfo(filePath).absolutePath());
    session->submit(type, filePath);
}

void QMainWidget::onMattingStarted()
{
    ui->labelMattingText->setText(tr("Connecting to the matting service..."));
    loading->start();
    showHome(HomeProgress);
}

void QMainWidget::onMattingSuccess(const QString& taskId)
{
    loading->stop();
    pageManager->reset();
    tabButtons.at(4)->setVisible(session->type() != Goods);
    for (QTabButton* tab : tabButtons)
        tab->setChecked(false);
    pageManager->hidePage();
    ui->frameImageHeader->hide();
    originView->hide();
    later([this, taskId] {
        editView->setTask(taskId);
        originView->setTask(QTaskManager::getTask(taskId));
        ui->frameImageHeader->show();
        originView->show();
        ui->stackedWidget->setCurrentIndex(PageImage);
    });
}

void QMainWidget::onMattingError(const QString& message)
{
    loading->stop();
    QMsgBox::showError(message, 1);
    showHome(HomeEntry);
}

void QMainWidget::onBtnCancel()
{
    session->cancel();
}

void QMainWidget::onBtnBackHome()
{
    QTaskManager::clear();
    showHome(HomeEntry);
}

void QMainWidget::onBtnTabClicked(int index, bool checked, QTabButton* button)
{
    for (QTabButton* tab : tabButtons)
        if (tab != button)
            tab->setChecked(false);
    if (index == TabMore) {
        QCommonMethod::openUrl(QStringLiteral("tutorial"));
        return;
    }
    // An open editing page takes the place of the original photo.
    ui->frameImageHeader->setVisible(!checked);
    originView->setVisible(!checked);
    if (checked)
        pageManager->showPage(index);
    else
        pageManager->hidePage();
}

void QMainWidget::onApplyCropSize(int, bool commit, const QSize&)
{
    // A size button only previews its crop; "Yes" commits it and closes the page.
    if (!commit)
        return;
    pageManager->hidePage();
    ui->frameImageHeader->show();
    originView->show();
    tabButtons.at(2)->setChecked(false);
}

void QMainWidget::onBtnSave()
{
    QImageFormatDialog format(this);
    if (format.exec() != QDialog::Accepted)
        return;
    setWorkspaceBusy(true);
    editView->save(CSetting::getString("output", "path", CGlobal::getOutputPath()),
                   ui->comboOutputSize->currentData().toInt());
}

void QMainWidget::onBtnSelectOutputPath()
{
    const QString folder = QFileChooser::outputFolder(this);
    if (folder.isEmpty())
        return;
    setOutputFolder(folder);
    later([this] { update(); });
}

void QMainWidget::setWorkspaceBusy(bool busy)
{
    ui->btnBackHome->setEnabled(!busy);
    ui->btnUploadAgain->setEnabled(!busy);
    ui->btnSave->setEnabled(!busy);
}

void QMainWidget::startBatchMode(int kind)
{
    if (batchWidget)
        batchWidget->deleteLater();
    // Built without a parent and then placed: built inside the styled window, its
    // own style sheet did not reach the buttons its form had already made.
    batchWidget = new QBatchMattingWidget;
    ui->vLayoutBatch->addWidget(batchWidget);
    connect(batchWidget, &QBatchMattingWidget::signal_output_folder_changed, this,
            &QMainWidget::setOutputFolder);
    connect(batchWidget, &QBatchMattingWidget::signal_back_to_home, this, [this] {
        ui->stackedWidget->setCurrentIndex(PageHome);
        CMemory::releaseFreed();
    });
    if (batchWidget->showAddDialog(kind))
        later([this] { ui->stackedWidget->setCurrentIndex(PageBatch); });
}

void QMainWidget::onBtnRemoveMark()
{
    QCommonMethod::openLink(QStringLiteral("tolvane_win"), QStringLiteral("home"));
}

void QMainWidget::onBtnMenu()
{
    if (!menu)
        return;
    const QPoint button = ui->BtnMenu->mapToGlobal(QPoint(0, 0));
    const int x = button.x() - (menu->sizeHint().width() - ui->BtnMenu->width()) / 2;
    const int y = ui->frameTitle->mapToGlobal(QPoint(0, ui->frameTitle->height())).y();
    menu->exec(QPoint(x, y));
}
