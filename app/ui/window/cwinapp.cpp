#include "cwinapp.h"

#include "cglobal.h"
#include "logger.h"
#include "qappsettings.h"
#include "qcrashhandler.h"
#include "qcustomui.h"
#include "qhandover.h"
#include "qhttpclient.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qopenrequest.h"
#include "qopenwith.h"
#include "qsetupbanner.h"
#include "qsingleinstance.h"
#include "quser.h"
#include "uexception.h"

#include <QDir>
#include <QMetaType>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

#include <opencv2/core.hpp>

namespace {

// Only named, never used by the program itself: the platform library may look a
// "QValue" type up by name, so the name has to exist.
struct QValue
{
};

const char* const kAppId = "brisel_win";
constexpr int kAppType = 22;
const char* const kInstanceName = "BRISEL_1_1";
// A running copy that is still starting needs a moment before it listens.
constexpr int kHandOverMs = 10000;

// Unattended runs, used by the start-up tests that drive the real program:
// BRISEL_AUTO_CLOSE_MS=N answers every message box with OK, printing its text on
// stderr, and ends the event loop N ms after the main window shows. -1 when unset.
int autoCloseMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("BRISEL_AUTO_CLOSE_MS", &ok);
    return ok && ms >= 0 ? ms : -1;
}

void printLine(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

void answerMessageBoxesUnattended()
{
    QMsgBox::setTestHook([](QMsgBox::Kind, const QString& text) {
        printLine(QStringLiteral("message box: ") + text);
        return 1;
    });
}

void closeUnattended(QWidget* window, int ms)
{
    QTimer::singleShot(ms, window, [window] {
        printLine(QStringLiteral("closing window: ") + window->windowTitle());
        QCoreApplication::quit();
    });
}

// `brisel --version`: also where the data and the translation came from, so an
// installation can be checked from a terminal.
int printVersion()
{
    const auto translator = CWinApp::createTranslator(CGlobal::getDataPath(), QAppSettings::language());
    std::printf("Brisel %s (build %d)\ndata: %s\ntranslation: %s\n", BRISEL_VERSION, CGlobal::getBuildDate(),
                qPrintable(CGlobal::getDataPath()),
                translator->isEmpty() ? "none" : qPrintable(translator->filePath()));
    return 0;
}

} // namespace

Q_DECLARE_METATYPE(QValue)
// Declared here only: test suites declare it in their own files, and a second
// declaration reachable from a shared header would clash with theirs.
Q_DECLARE_METATYPE(cv::Mat)

CWinApp::CWinApp(int& argc, char** argv) : m_app(argc, argv)
{
    qRegisterMetaType<QValue>("QValue");
    // Queued signals carry images between the worker threads and the GUI thread.
    qRegisterMetaType<cv::Mat>("Mat");
    CGlobal::init();
    QCrashHandler::setFallbackFolder(CGlobal::getAppDataPath() + QStringLiteral("dumps/"));
    QHttpClient::Instance()->start(3);
    QCustomUI::setAboutImage(QStringLiteral(":/image/logo.about.png"));
    loadTranslator();
    QUser::Instance()->setProduct(
        QVexProduct(kAppType, QString::fromLatin1(kAppId), tr("Brisel"), QStringLiteral(BRISEL_VERSION)));
}

CWinApp::~CWinApp()
{
    QHttpClient::Instance()->close();
    CGlobal::release();
}

int CWinApp::run()
{
    try {
        if (QCoreApplication::arguments().contains(QStringLiteral("--version")))
            return printVersion();
        // Before the window changes the working folder: relative paths are the user's.
        QOpenRequest request;
        QString usage;
        const QOpenRequest::Outcome parsed =
            QOpenRequest::parse(QCoreApplication::arguments(), &request, &usage);
        if (parsed != QOpenRequest::Open) {
            std::fprintf(parsed == QOpenRequest::Help ? stdout : stderr, "%s",
                         usage.toLocal8Bit().constData());
            return parsed == QOpenRequest::Help ? 0 : QOpenRequest::kUsageExit;
        }

        const int unattendedMs = autoCloseMs();
        if (unattendedMs >= 0)
            answerMessageBoxesUnattended();

        const QString instance = QString::fromLatin1(kInstanceName);
        m_instance = std::make_unique<QSingleInstance>(instance);
        if (m_instance->isAnotherRunning()) {
            // The running copy opens the photos, or just comes to the front.
            if (!QHandOver::send(instance, request.encode(), kHandOverMs))
                QMsgBox::showWarning(tr("Brisel is already running."), 1);
            return 0;
        }

        QUser::Instance()->httpOnline(nullptr, nullptr);
        const auto window = openMainWindow();
        auto* opener = new QOpenWith(window.get());
        QHandOver handOver(instance);
        QObject::connect(&handOver, &QHandOver::signal_received, opener, &QOpenWith::openHandedOver);
        if (!request.paths.isEmpty())
            QTimer::singleShot(0, opener, [opener, request] { opener->open(request); });
        if (unattendedMs >= 0)
            closeUnattended(window.get(), unattendedMs);
        return QApplication::exec();
    } catch (const UException& e) {
        BRISEL_LOG(1, QString::fromStdWString(e.description()));
        return 1;
    }
}

std::unique_ptr<QMainWidget> CWinApp::openMainWindow()
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    auto window = std::make_unique<QMainWidget>();
    QSetupBanner::startIfNeeded(window.get());
    window->show();
    return window;
}

void CWinApp::loadTranslator()
{
    // Owned by the application object, so it goes with Qt and never outlives it.
    static QPointer<QTranslator> current;
    delete current; // uninstalls itself
    current = createTranslator(CGlobal::getDataPath(), QAppSettings::language()).release();
    current->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(current);
    CGlobal::setAppTitle(tr("Brisel"));
}

std::unique_ptr<QTranslator> CWinApp::createTranslator(const QString& dataPath, const QString& language)
{
    auto translator = std::make_unique<QTranslator>();
    // The code comes from a settings file the user may edit; keep it from naming a
    // file outside the language folder.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (plainName.match(language).hasMatch())
        translator->load(QStringLiteral("%1language/brisel_%2.qm").arg(dataPath, language));
    return translator;
}
