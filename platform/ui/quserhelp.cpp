#include "quserhelp.h"

#include "cglobal.h"
#include "csetting.h"
#include "logger.h"
#include "qaboutdialog.h"
#include "qcommonmethod.h"
#include "qmsgbox.h"
#include "qplatformstyle.h"
#include "qvarnui.h"

#include <QActionGroup>
#include <QDir>
#include <QEvent>
#include <QMenu>

namespace {

const char* const kLanguageGroup = "language";
const char* const kLanguageKey = "type";

QString currentLanguage()
{
    return CSetting::getString(kLanguageGroup, kLanguageKey, QStringLiteral("zh"));
}

// The style sheet draws rounded corners; the window around them must be invisible.
void makeRounded(QMenu* menu)
{
    menu->setAttribute(Qt::WA_TranslucentBackground);
    menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
}

// Without a desktop to open it in, the folder's path is what the user can use.
void openCreatedFolder(const QString& folder)
{
    QDir().mkpath(folder);
    if (!QVarnUI::openFolder(folder, false))
        QMsgBox::showWarning(QUserHelp::tr("The folder %1 could not be opened in a file manager.")
                                 .arg(QDir::toNativeSeparators(folder)),
                             1);
}

struct Entry
{
    const char* name; // a null name is a separator
    const char* text;
    void (QUserHelp::*slot)();
};
const Entry kEntries[] = {
    {"actionOutputFolder", QT_TRANSLATE_NOOP("QUserHelp", "Open output folder"),
     &QUserHelp::onOpenOutputFolder},
    {"actionCacheFolder", QT_TRANSLATE_NOOP("QUserHelp", "Open cache folder"), &QUserHelp::onOpenCacheFolder},
    {"actionLogFolder", QT_TRANSLATE_NOOP("QUserHelp", "Open log folder"), &QUserHelp::onOpenLogFolder},
    {"actionClearCache", QT_TRANSLATE_NOOP("QUserHelp", "Clear cache"), &QUserHelp::onClearCache},
    {nullptr, nullptr, nullptr},
    {"actionShortcuts", QT_TRANSLATE_NOOP("QUserHelp", "Keyboard shortcuts"), &QUserHelp::onShortcuts},
    {"actionCheckUpdate", QT_TRANSLATE_NOOP("QUserHelp", "Check for updates"), &QUserHelp::onCheckUpdate},
    {"actionAbout", QT_TRANSLATE_NOOP("QUserHelp", "About"), &QUserHelp::onAbout},
};

} // namespace

QUserHelp::QUserHelp(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {}

QUserHelp::~QUserHelp()
{
    delete m_menu; // QPointer: already null when the window deleted it first
}

QMenu* QUserHelp::initMenu()
{
    if (m_menu)
        return m_menu;
    m_menu = new QMenu(m_window);
    m_menu->setObjectName(QStringLiteral("menuUserHelp"));
    makeRounded(m_menu);
    m_menu->setStyleSheet(QPlatformStyle::load(QStringLiteral("menu.css")));

    QMenu* language = m_menu->addMenu(QString());
    language->setObjectName(QStringLiteral("menuLanguage"));
    makeRounded(language);
    auto* languages = new QActionGroup(language);
    const QString current = currentLanguage();
    const QPair<QString, QString> choices[] = {{QStringLiteral("zh"), QStringLiteral("中文")},
                                               {QStringLiteral("en"), QStringLiteral("English")}};
    for (const auto& choice : choices) {
        QAction* action = language->addAction(choice.second);
        action->setObjectName(QStringLiteral("actionLanguage_") + choice.first);
        action->setCheckable(true);
        action->setChecked(choice.first == current);
        languages->addAction(action);
        const QString code = choice.first;
        connect(action, &QAction::triggered, this, [this, code] { onLanguage(code); });
    }

    m_menu->addSeparator();
    for (const Entry& entry : kEntries) {
        if (!entry.name) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(QString());
        action->setObjectName(QString::fromLatin1(entry.name));
        connect(action, &QAction::triggered, this, entry.slot);
    }
    retranslateMenu();
    m_menu->installEventFilter(this);
    return m_menu;
}

void QUserHelp::retranslateMenu()
{
    m_menu->findChild<QMenu*>(QStringLiteral("menuLanguage"))->setTitle(tr("Language"));
    for (const Entry& entry : kEntries) {
        if (entry.name)
            m_menu->findChild<QAction*>(QString::fromLatin1(entry.name))->setText(tr(entry.text));
    }
}

bool QUserHelp::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: while the menu is being destroyed, reading m_menu would cast a
    // QObject that is no longer a QMenu.
    if (event->type() == QEvent::LanguageChange && watched == m_menu)
        retranslateMenu();
    return QObject::eventFilter(watched, event);
}

void QUserHelp::checkUpdate(bool interactive)
{
    BRISEL_LOG(1, QStringLiteral("update check skipped: this build has no update service (version %1)")
                      .arg(QStringLiteral(BRISEL_VERSION)));
    if (interactive)
        QMsgBox::showWarning(tr("This copy of Brisel (version %1) does not check for updates online.")
                                 .arg(QStringLiteral(BRISEL_VERSION)),
                             1);
}

void QUserHelp::onCheckUpdate()
{
    checkUpdate(true);
}

QString QUserHelp::cacheFolder()
{
    return CGlobal::getAppDataPath() + "cache/";
}

QString QUserHelp::outputFolder()
{
    QString folder =
        CSetting::getString(QStringLiteral("output"), QStringLiteral("path"), CGlobal::getOutputPath());
    if (folder.trimmed().isEmpty())
        folder = CGlobal::getOutputPath();
    return folder;
}

void QUserHelp::onLanguage(const QString& code)
{
    if (code == currentLanguage())
        return;
    CSetting::setValue(kLanguageGroup, kLanguageKey, code);
    emit signal_language_changed(code);
}

void QUserHelp::onOpenOutputFolder()
{
    openCreatedFolder(outputFolder());
}

void QUserHelp::onOpenCacheFolder()
{
    openCreatedFolder(cacheFolder());
}

void QUserHelp::onOpenLogFolder()
{
    openCreatedFolder(kzl::logger::logFolder());
}

void QUserHelp::onClearCache()
{
    emit signal_clear_cache();
}

void QUserHelp::openHelp(const QString& section)
{
    if (!QCommonMethod::openUrl(section))
        QMsgBox::showWarning(tr("The help page could not be opened in a browser."), 1);
}

void QUserHelp::onShortcuts()
{
    openHelp(QStringLiteral("shortcuts"));
}

void QUserHelp::onAbout()
{
    QAboutDialog about(m_window);
    about.exec();
}
