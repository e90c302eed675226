#pragma once
// The main menu: interface language, output/cache/log folders, clearing the
// cut-out cache, the keyboard shortcuts, update check and the about box. Lives on the GUI thread.

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;

class QUserHelp : public QObject
{
    Q_OBJECT
public:
    QUserHelp(QWidget* window, QObject* parent = nullptr);
    ~QUserHelp() override;

    // Builds the menu on first call; this object owns it (it is deleted with this
    // object or with the window, whichever goes first).
    QMenu* initMenu();

    // No update service is reachable from this build: logs, and when `interactive`
    // tells the user so.
    void checkUpdate(bool interactive);

    // Opens a section of the help page in the browser; a warning when none opens.
    static void openHelp(const QString& section);

    // Folders the menu opens; the cache folder is "cache" under the data folder.
    static QString cacheFolder();
    static QString outputFolder();

signals:
    // The user chose another interface language (already stored in the settings);
    // whoever owns the translator installs the new one.
    void signal_language_changed(const QString& code);
    // "Clear cache" was chosen; the cache's owner asks, clears and reports.
    void signal_clear_cache();

public slots:
    void onLanguage(const QString& code);
    void onOpenOutputFolder();
    void onOpenCacheFolder();
    void onOpenLogFolder();
    void onClearCache();
    // The help page's list of keyboard shortcuts, in the browser.
    void onShortcuts();
    void onCheckUpdate();
    void onAbout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void retranslateMenu();

    QWidget* m_window = nullptr;
    QPointer<QMenu> m_menu;
};
