#include "qmainwidget.h"
#include "ui_qmainwidget.h"

#include "cmemory.h"
#include "csetting.h"
#include "cwinapp.h"
#include "keeptranslated.h"
#include "logger.h"
#include "qbatchmattingwidget.h"
#include "qclipboardactions.h"
#include "qcropwidget.h"
#include "qcutoutcache.h"
#include "qenterbutton.h"
#include "qeraserwidget.h"
#include "qfilechooser.h"
#include "qframelessframe.h"
#include "qhometoolbutton.h"
#include "qloadingctrl.h"
#include "qmsgbox.h"
#include "qoriginwidget.h"
#include "qoutputbar.h"
#include "qpagemanager.h"
#include "qphotosession.h"
#include "qsavenotice.h"
#include "qtabbutton.h"
#include "qtaskmanager.h"
#include "quserhelp.h"
#include "qworkpool.h"
#include "readtextfile.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
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
// Top to bottom; "More" opens the tutorial.
const TabSpec kTabs[] = {
    {"BtnTabChangeBg", QT_TRANSLATE_NOOP("QMainWidget", "Change background"), "change.bg",
     QPageManager::ChangeBg},
    {"BtnTabCutout", QT_TRANSLATE_NOOP("QMainWidget", "Manually remove background"), "cutout",
     QPageManager::CutOut},
    {"BtnTabCrop", QT_TRANSLATE_NOOP("QMainWidget", "Crop"), "crop", QPageManager::Crop},
    {"BtnTabFileSize", QT_TRANSLATE_NOOP("QMainWidget", "File size"), "advance", QPageManager::Advanced},
    {"BtnTabBeautify", QT_TRANSLATE_NOOP("QMainWidget", "Beautify"), "beautify", QPageManager::Beautify},
    {"BtnTabMore", QT_TRANSLATE_NOOP("QMainWidget", "More"), "more", QMainWidget::TabMore},
};
} // namespace

QMainWidget::QMainWidget(QWidget* parent)
    : QWidget(parent), ui(new Ui::QMainWidgetClass), session(new QPhotoSession(this))
{
    ui->setupUi(this);
    if (!QWorkPool::instance()->isRunning())
        QWorkPool::instance()->start(3);

    keepTranslated(this, [this] {
        ui->retranslateUi(this);
        setWindowTitle(tr("Brisel"));
        ui->labelTitle->setText(tr("Brisel"));
        ui->labelMattingText->setText(tr(mattingStage));
    });
    setStyleSheet(readTextFile(QStringLiteral(":/qss/Main.css")));
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->labelVersion->setText(QStringLiteral(BRISEL_VERSION));

    userHelp = new QUserHelp(this, this);
    menu = userHelp->initMenu();
    connect(userHelp, &QUserHelp::signal_language_changed, this, [] { CWinApp::loadTranslator(); });
    connect(userHelp, &QUserHelp::signal_clear_cache, this, &QMainWidget::onClearCache);
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
    // Like Save's Ctrl+S, Esc belongs to the button and works only while it shows.
    auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), ui->btnCancel);
    connect(cancel, &QShortcut::activated, this, &QMainWidget::onBtnCancel);
    ui->btnCancel->setToolTip(tr("Cancel (%1)").arg(cancel->key().toString(QKeySequence::NativeText)));
    connect(ui->btnUploadAgain, &QPushButton::clicked, this, &QMainWidget::onBtnUploadAgain);
    connect(ui->btnBackHome, &QPushButton::clicked, this, &QMainWidget::onBtnBackHome);
    connect(session, &QPhotoSession::signal_started, this, &QMainWidget::onMattingStarted);
    connect(session, &QPhotoSession::signal_matting, this,
            [this] { showMattingStage(QT_TR_NOOP("Removing the background...")); });
    connect(session, &QPhotoSession::signal_succeeded, this, &QMainWidget::onMattingSuccess);
    connect(session, &QPhotoSession::signal_failed, this, &QMainWidget::onMattingError);
    connect(session, &QPhotoSession::signal_cancelled, this, [this] {
        loading->stop();
        showHome(HomeEntry);
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
        {"goods", "EnterGoods", QT_TR_NOOP("Remove Product Background"),
         QT_TR_NOOP("For Products, Clothes, Animals, Cars, etc."), &QMainWidget::onBtnMattingGoods},
        {"card", "EnterCard", QT_TR_NOOP("Create ID Photo"),
         QT_TR_NOOP("Change the background, crop, set the file size and more"),
         &QMainWidget::onBtnMattingCard},
    };
    int at = 1; // after the left spacer
    int type = Person;
    QEnterButton* first = nullptr;
    for (const Card& c : cards) {
        auto* card = new QEnterButton(QStringLiteral(":/image/label.%1.normal.png").arg(c.picture),
                                      QStringLiteral(":/image/label.%1.hover.png").arg(c.picture),
                                      ui->frameHomeButton);
        card->setObjectName(QLatin1String(c.objectName));
        keepTranslated(card, [card, c] {
            card->setName(tr(c.name));
            card->setText(tr(c.text));
        });
        connect(card, &TButton::clicked, this, c.slot);
        connect(card, &QEnterButton::signal_drop_file, this, [this, type](const QString& path) {
            if (QFileChooser::isImageFile(path))
                submitPhoto(type, path);
            else
                QMsgBox::showWarning(
                    tr("\"%1\" is not a photo Brisel can open. Drop a JPG, PNG, WebP or HEIC file.")
                        .arg(QFileInfo(path).fileName()),
                    1);
        });
        ++type;
        ui->hLayoutEnterButton->insertWidget(at++, card);
        first = first ? first : card;
    }
    // The first card (people, the commonest photo) answers Ctrl+O; the shortcut is
    // the card's child, so it works only while the home page shows the cards.
    auto* open = new QShortcut(QKeySequence::Open, first);
    connect(open, &QShortcut::activated, this, &QMainWidget::onBtnMattingPerson);
    first->setToolTip(tr("Pick a photo (%1)").arg(open->key().toString(QKeySequence::NativeText)));

    auto addTool = [this](QBoxLayout* layout, const char* name, const QString& picture, const char* text,
                          std::function<void()> slot) {
        auto* button = new QHomeToolButton(QStringLiteral(":/image/btn.%1.normal.png").arg(picture),
                                           QStringLiteral(":/image/btn.%1.hover.png").arg(picture), this);
        button->setObjectName(QLatin1String(name));
        keepTranslated(button, [button, text] { button->setText(tr(text)); });
        connect(button, &TButton::clicked, this, slot);
        layout->addWidget(button);
    };
    addTool(ui->hLayoutBatchButton, "BatchPerson", "batch.person",
            QT_TR_NOOP("Remove person background in bulk"), [this] { startBatchMode(Person); });
    addTool(ui->hLayoutBatchButton, "BatchGoods", "batch.goods",
            QT_TR_NOOP("Remove product background in bulk"), [this] { startBatchMode(Goods); });
    addTool(ui->hLayoutToolButton, "RemoveMark", "remove.mark", QT_TR_NOOP("Remove image watermarks"),
            [this] { QEraserWidget::pickPhoto(this); });
    QEraserWidget::openOnDrop(findChild<QWidget*>(QStringLiteral("RemoveMark")));

    keepTranslated(ui->frameHomeBottom, [this] {
        ui->labelBottomText->setText(tr("JPG, PNG and BMP photos. Drop a photo on a card to start."));
        ui->labelBottomVersion->setText(tr("Version %1").arg(QStringLiteral(BRISEL_VERSION)));
    });
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
        keepTranslated(tab, [tab, text = entry.text] { tab->setText(tr(text)); });
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
    outputBar = new QOutputBar(ui, editView, this);
    connect(outputBar, &QOutputBar::signal_busy, this, &QMainWidget::setWorkspaceBusy);
    new QClipboardActions(ui, editView, session, this);
    connect(editView, &QCropWidget::signal_beauty_begin, this, [this] { setWorkspaceBusy(true); });
    connect(editView, &QCropWidget::signal_beauty_finished, this, [this] { setWorkspaceBusy(false); });
    // The tool pages open in the side panel to the right of the pictures.
    pageManager = new QPageManager(this);
    pageManager->setLayout(ui->hLayoutWork);
    pageManager->connectView(editView);
    connect(pageManager, &QPageManager::signal_apply_crop_size, this, &QMainWidget::onApplyCropSize);
    connect(editView, &QCropWidget::signal_id_photo_loaded, this, [this] {
        tab(QPageManager::Crop)->setChecked(true);
        onBtnTabClicked(QPageManager::Crop, true, tab(QPageManager::Crop));
    });
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
    // The maximise button's tip names what it does now, in the current language.
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::LanguageChange)
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
    const QString folder = CSetting::getString("default", "path");
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
    showMattingStage(QT_TR_NOOP("Connecting to the matting service..."));
    loading->start();
    showHome(HomeProgress);
}

void QMainWidget::showMattingStage(const char* source)
{
    mattingStage = source;
    ui->labelMattingText->setText(tr(source));
}

void QMainWidget::onMattingSuccess(const QString& taskId)
{
    loading->stop();
    pageManager->reset();
    // The notice is about the previous photo's file.
    outputBar->notice()->hide();
    // Beautify works on faces; a product has none.
    tab(QPageManager::Beautify)->setVisible(session->type() != Goods);
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

QTabButton* QMainWidget::tab(int index) const
{
    for (QTabButton* button : tabButtons)
        if (button->tabIndex() == index)
            return button;
    return nullptr;
}

void QMainWidget::onBtnTabClicked(int index, bool checked, QTabButton* button)
{
    for (QTabButton* tab : tabButtons)
        if (tab != button)
            tab->setChecked(false);
    if (index == TabMore) {
        QUserHelp::openHelp(QStringLiteral("tutorial"));
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
    // A size button only previews its crop; "Apply" commits it and closes the page.
    if (!commit)
        return;
    pageManager->hidePage();
    ui->frameImageHeader->show();
    originView->show();
    tab(QPageManager::Crop)->setChecked(false);
}

void QMainWidget::setWorkspaceBusy(bool busy)
{
    ui->btnBackHome->setEnabled(!busy);
    ui->btnUploadAgain->setEnabled(!busy);
    ui->btnSave->setEnabled(!busy);
}

void QMainWidget::startBatchMode(int kind, const QStringList& paths)
{
    if (batchWidget)
        batchWidget->deleteLater();
    // Built without a parent and then placed: built inside the styled window, its
    // own style sheet did not reach the buttons its form had already made.
    batchWidget = new QBatchMattingWidget;
    ui->vLayoutBatch->addWidget(batchWidget);
    connect(batchWidget, &QBatchMattingWidget::signal_output_folder_changed, outputBar,
            &QOutputBar::showFolder);
    connect(batchWidget, &QBatchMattingWidget::signal_back_to_home, this, [this] {
        ui->stackedWidget->setCurrentIndex(PageHome);
        CMemory::releaseFreed();
    });
    if (!paths.isEmpty())
        batchWidget->startBatch(kind, paths);
    if (!paths.isEmpty() || batchWidget->showAddDialog(kind))
        later([this] { ui->stackedWidget->setCurrentIndex(PageBatch); });
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

void QMainWidget::onClearCache()
{
    if (QMsgBox::showQuestion(tr("Delete all cached cut-outs? They are downloaded again when needed.")) != 1)
        return;
    const QCutoutCache::Cleared cleared = QCutoutCache().clear();
    BRISEL_LOG(1, QStringLiteral("cache cleared: %1 files, %2 bytes, %3 could not be removed")
                      .arg(cleared.removed)
                      .arg(cleared.freed)
                      .arg(cleared.failed));
    if (cleared.failed > 0)
        QMsgBox::showError(
            tr("%n cached file(s) could not be deleted; they may be in use.", nullptr, cleared.failed), 1);
    else
        QMsgBox::showWarning(tr("%n cached cut-out(s) deleted, %1 freed.", nullptr, cleared.removed)
                                 .arg(QLocale().formattedDataSize(cleared.freed)),
                             1);
}
