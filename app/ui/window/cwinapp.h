#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QString>
#include <QTranslator>

#include <memory>

class QMainWidget;
class QSingleInstance;

// The application object: lives on main()'s stack for the whole run. Construction
// brings up Qt, the platform services and the translation; run() hands a second
// start over to the first, opens the main window and runs the event loop;
// destruction tears the platform services down before Qt goes.
class CWinApp
{
    Q_DECLARE_TR_FUNCTIONS(CWinApp)

public:
    // argc is kept by reference by Qt and must outlive the object.
    CWinApp(int& argc, char** argv);
    ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Reads the command line (QOpenRequest), then either opens the window with the
    // photos named there, or hands them to the copy already running (QHandOver),
    // which opens them and comes to the front.
    // The process exit code: the event loop's, 0 when the photos went to another
    // copy (or --help, --version), QOpenRequest::kUsageExit for a bad command line, 1 after a
    // start-up failure (logged).
    int run();

    // Opens and shows the main window as a start does, from the program's folder;
    // also used by the tests that drive the real program. GUI thread; the caller
    // owns the window.
    static std::unique_ptr<QMainWidget> openMainWindow();

    // Installs the translation named by the "language"/"type" setting, replacing
    // (and destroying) the previous one; every widget then gets QEvent::LanguageChange.
    // Called again whenever the user picks a language in the main menu. GUI thread.
    static void loadTranslator();

    // A translator for "<dataPath>language/brisel_<language>.qm". A missing file or a
    // code that is not a plain name (letters, digits, '_', '-') gives an empty
    // translator, which leaves the source texts in place.
    static std::unique_ptr<QTranslator> createTranslator(const QString& dataPath, const QString& language);

private:
    QApplication m_app;
    std::unique_ptr<QSingleInstance> m_instance;
};
