#pragma once
// The program's only top-level window: a frameless, translucent frame with its own
// title bar, the home page with the entry cards, the progress page while the
// service works, the single-image workspace and the page that hosts batch mode.
// It asks for the photo, hands it to its QPhotoSession and shows what the session
// reports; its QOutputBar saves the result. It owns the lifetime of the work pool.
// Everything here runs on the GUI thread.

#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace Ui {
class QMainWidgetClass;
}

class QCropWidget;
class QFramelessFrame;
class QHomeToolButton;
class QLoadingCtrl;
class QMenu;
class QOriginWidget;
class QOutputBar;
class QPageManager;
class QPhotoSession;
class QTabButton;
class QUserHelp;

class QBatchMattingWidget;

class QMainWidget : public QWidget
{
    Q_OBJECT

public:
    // Outer pages and the pages of the home stack.
    enum Page
    {
        PageHome = 0,
        PageImage = 1,
        PageBatch = 2
    };
    enum HomePage
    {
        HomeEntry = 0,
        HomeProgress = 1
    };
    // The tab index of the "More" button, which opens the tutorial instead of a page.
    static constexpr int TabMore = 5;
    // Margins around the visible frame of a window that is not maximised; the drop
    // shadow is drawn in them.
    static constexpr int FrameMargin = 4;
    // Delay of page switches after a state change, so the triggering event ends first.
    static constexpr int SwitchDelayMs = 50;

    explicit QMainWidget(QWidget* parent = nullptr);
    ~QMainWidget() override;

    // The kind of the photo last submitted; upload-again reuses it.
    int currentMattingType() const;
    QList<QTabButton*> tabs() const { return tabButtons; }
    QPageManager* pages() const { return pageManager; }

    // Submits a photo the user chose (picker, drop on a card, paste, command line)
    // as `type`, replacing the one shown.
    void submitPhoto(int type, const QString& filePath);
    // Replaces the batch workspace with a new one for `kind` and starts its batch
    // on `paths`, or on what the add dialog collects when there are none.
    void startBatchMode(int kind, const QStringList& paths = {});

public slots:
    void onBtnMax();
    void onBtnMattingPerson();
    void onBtnMattingGoods();
    void onBtnMattingCard();
    void onBtnMenu();
    void onBtnTabClicked(int index, bool checked, QTabButton* button);
    void onBtnUploadAgain();
    void onBtnBackHome();
    void onMattingSuccess(const QString& taskId);
    void onMattingError(const QString& message);
    void onApplyCropSize(int mode, bool flag, const QSize& size);
    // Leaves the progress page; the running task's result is ignored when it comes.
    void onBtnCancel();
    void onClearCache();
    void onMattingStarted();

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setupHomePage();
    void setupWorkspace();
    void setupTabColumn();
    // The side tab that opens page `index` (a QPageManager key, or TabMore).
    QTabButton* tab(int index) const;
    void restoreWindowGeometry();

    // Asks for a photo and submits it; a cancelled picker changes nothing.
    void pickPhoto(int type);
    void showHome(HomePage page);
    void later(std::function<void()> step);
    void applyFrameMargins();
    void setWorkspaceBusy(bool busy);
    // `source` is an untranslated text that must live as long as the window.
    void showMattingStage(const char* source);

    Ui::QMainWidgetClass* ui = nullptr;
    // Owns the service launcher, so a service it started stops with the window.
    QPhotoSession* session = nullptr;
    QMenu* menu = nullptr;
    QUserHelp* userHelp = nullptr;
    QList<QTabButton*> tabButtons;
    QFramelessFrame* frameless = nullptr;
    QLoadingCtrl* loading = nullptr;
    QCropWidget* editView = nullptr;
    // The side panel's tool pages; a child of this window.
    QPageManager* pageManager = nullptr;
    QOriginWidget* originView = nullptr;
    QOutputBar* outputBar = nullptr;
    QBatchMattingWidget* batchWidget = nullptr;
    // What the progress page says, kept untranslated so a language change can show it again.
    const char* mattingStage = QT_TR_NOOP("Removing the background...");
};
