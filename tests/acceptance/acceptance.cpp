#include "acceptance.h"

#include "csetting.h"
#include "imagefixtures.h"
#include "photometadata.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"
#include "qtaskmanager.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <deque>

namespace acceptance {
namespace {

constexpr int kUserPauseMs = 200;

// Records what the program shows in the desktop instead of launching a file manager.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    UrlRecorder() : QObject(qApp) { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

UrlRecorder& urlRecorder()
{
    static auto* recorder = new UrlRecorder;
    return *recorder;
}

// ---- the dialog poller ----

// An answer returns true once it has dealt with the dialog, false when the dialog
// is not its kind or not ready yet (it is offered the next one again).
using Answer = std::function<bool(QWidget* dialog)>;
std::deque<Answer> g_answers;
QStringList g_messages;
bool g_busy = false;
int g_running = 0; // answers being carried out; one may open a nested dialog

// A visible, enabled widget called `nameOrText`, or a button showing that text.
QWidget* widgetIn(QWidget* dialog, const QString& nameOrText)
{
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        if ((w->objectName() == nameOrText || (button && button->text() == nameOrText)) && w->isVisible() &&
            w->isEnabled())
            return w;
    }
    return nullptr;
}

void press(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

// Closes a message box (Qt's or the program's) with its OK button, recording the text.
bool closeMessageBox(QWidget* dialog)
{
    auto* box = qobject_cast<QMessageBox*>(dialog);
    auto* label = dialog->findChild<QLabel*>(QStringLiteral("labelText"));
    if (!box && !(label && dialog->inherits("QMsgBox")))
        return false;
    g_messages << (box ? box->text() : label->text());
    QWidget* ok = box ? box->button(QMessageBox::Ok) : widgetIn(dialog, QStringLiteral("btnOk"));
    if (ok)
        press(ok);
    else
        dialog->close();
    return true;
}

void poll()
{
    QWidget* dialog = QApplication::activeModalWidget();
    if (g_busy || !dialog || !dialog->isVisible())
        return;
    // Later, not here: a press may open a dialog of its own, and this timer does
    // not fire again while its slot runs.
    g_busy = true;
    QTimer::singleShot(0, qApp, [target = QPointer<QWidget>(dialog)] {
        g_busy = false;
        if (!target || !target->isVisible())
            return;
        if (!g_answers.empty()) {
            // Off the queue first: a dialog this opens is for the next answer.
            Answer answer = std::move(g_answers.front());
            g_answers.pop_front();
            ++g_running;
            const bool done = answer(target);
            --g_running;
            if (done)
                return;
            g_answers.push_front(std::move(answer));
        }
        if (target)
            closeMessageBox(target);
    });
}

void queue(Answer answer)
{
    static QTimer* poller = new QTimer(qApp);
    if (!poller->isActive()) {
        QObject::connect(poller, &QTimer::timeout, &poll);
        poller->start(20);
    }
    g_answers.push_back(std::move(answer));
}

// ---- photos ----

QString store(const QString& name, const QByteArray& bytes)
{
    const QString path = testutils::sandboxPath() + QStringLiteral("/photos/") + name;
    return testutils::writeFile(path, bytes) ? path : QString();
}

QByteArray encoded(const cv::Mat& bgr, const QString& suffix)
{
    return imagefixtures::encoded(bgr, ('.' + suffix).toLatin1().constData(), {cv::IMWRITE_JPEG_QUALITY, 92});
}

QString writePhoto(const QString& name, const cv::Mat& bgr)
{
    return store(name, encoded(bgr, QFileInfo(name).suffix()));
}

cv::Mat background(QSize size)
{
    return cv::Mat(size.height(), size.width(), CV_8UC3,
                   cv::Scalar(qBlue(kBackground), qGreen(kBackground), qRed(kBackground)));
}

// The person centred at `centre` (fractions of the size), `height` of it tall.
cv::Mat person(QSize size, QPointF centre, double height)
{
    cv::Mat photo = background(size);
    const cv::Mat astronaut = cv::imread(testutils::dataPath(QStringLiteral("astronaut.png")).toStdString());
    const int h = qMax(2, int(size.height() * height));
    const int w = qMin(size.width() - 2, h * 3 / 4);
    if (astronaut.empty() || w < 2)
        return photo;
    const cv::Rect box(qBound(0, int(size.width() * centre.x()) - w / 2, size.width() - w),
                       qBound(0, int(size.height() * centre.y()) - h / 2, size.height() - h), w, h);
    cv::Mat scaled;
    cv::resize(astronaut, scaled, box.size(), 0, 0, cv::INTER_AREA);
    cv::Mat mask(box.size(), CV_8U, cv::Scalar(0));
    cv::ellipse(mask, cv::Point(w / 2, h / 2), cv::Size(w / 2, h / 2), 0, 0, 360, cv::Scalar(255),
                cv::FILLED);
    scaled.copyTo(photo(box), mask);
    return photo;
}

} // namespace

bool Service::start(QString* error)
{
    m_process = std::make_unique<testutils::ChildProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_url = testutils::startService(*m_process, {"--listen", "127.0.0.1", "--log-level", "warning"}, 20000,
                                    error);
    if (!m_url.isEmpty())
        CSetting::setValue(QStringLiteral("service"), QStringLiteral("url"), m_url);
    return !m_url.isEmpty();
}

Scenarios::~Scenarios() = default;

void Scenarios::initTestCase()
{
    QString error;
    QVERIFY2(service.start(&error), qPrintable(error));
    QVERIFY(QDir().mkpath(out));
}

void Scenarios::cleanup()
{
    window.reset();
    QVERIFY2(messages().isEmpty() || QTest::currentTestFailed(), qPrintable(messages().join('\n')));
}

std::unique_ptr<QMainWidget> openWindow(const QString& language)
{
    QTaskManager::clear();
    g_answers.clear();
    g_messages.clear();
    urlRecorder().urls.clear();
    CSetting::setValue(QStringLiteral("language"), QStringLiteral("type"), language);
    CWinApp::loadTranslator();
    auto window = CWinApp::openMainWindow();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the main window was not exposed");
    return window;
}

void inBothLanguages()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("en") << "en";
    QTest::newRow("zh") << "zh";
}

QList<QUrl> shownFolders()
{
    return urlRecorder().urls;
}

QWidget* find(const QWidget* root, const QString& name)
{
    const QList<QWidget*> found = root->findChildren<QWidget*>(name);
    for (QWidget* w : found)
        if (w->isVisible())
            return w;
    qWarning("no visible widget \"%s\" (%d hidden) under %s", qPrintable(name), int(found.size()),
             qPrintable(root->objectName()));
    return nullptr;
}

int countShown(const QWidget* root, const QString& name)
{
    const QList<QWidget*> found = root->findChildren<QWidget*>(name);
    return int(std::count_if(found.begin(), found.end(), [](const QWidget* w) { return w->isVisible(); }));
}

bool click(const QWidget* root, const QString& name, Qt::KeyboardModifiers modifiers)
{
    QWidget* w = find(root, name);
    if (w && !w->isEnabled())
        qWarning("\"%s\" is disabled", qPrintable(name));
    if (!w || !w->isEnabled())
        return false;
    QTest::mouseClick(w, Qt::LeftButton, modifiers, w->rect().center());
    return true;
}

QString textOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    return button ? button->text() : QString();
}

QStringList visibleTexts(const QWidget* root)
{
    QStringList texts;
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->isVisible() && !textOf(w).trimmed().isEmpty())
            texts << textOf(w);
    return texts;
}

QWidget* findText(const QWidget* root, const QString& text)
{
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible() || !textOf(w).contains(text))
            continue;
        // A label on one of the program's own buttons stands for the button.
        for (QWidget* up = w; up && up != root; up = up->parentWidget())
            if (up->inherits("TButton"))
                return up;
        return w;
    }
    qWarning("no visible text \"%s\" under %s", qPrintable(text), qPrintable(root->objectName()));
    return nullptr;
}

bool choose(const QWidget* root, const QString& comboName, int index)
{
    auto* combo = find<QComboBox>(root, comboName);
    if (combo && combo->currentIndex() == index)
        return true;
    if (!combo || !click(root, comboName))
        return false;
    QAbstractItemView* list = combo->view();
    if (!waitFor([list] { return list->isVisible(); }, 5000))
        return false;
    // The list ignores a release within a double-click time of its opening, and
    // takes the row the pointer is over.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QPoint row = list->visualRect(list->model()->index(index, 0)).center();
    QMouseEvent move(QEvent::MouseMove, row, list->viewport()->mapToGlobal(row), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    return waitFor([=] { return combo->currentIndex() == index && !list->isVisible(); }, 5000);
}

bool pickFromMenu(const QWidget* window, const QStringList& entries)
{
    // The menu runs its own event loop inside the click.
    int picked = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu && elapsed.hasExpired(5000))
            menu->close();
        if (!menu || picked == entries.size())
            return;
        auto* submenu = menu->findChild<QMenu*>(entries[picked]);
        QAction* entry = submenu ? submenu->menuAction() : menu->findChild<QAction*>(entries[picked]);
        if (!menu->actions().contains(entry))
            return;
        ++picked;
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(entry).center());
    });
    poll.start(50);
    return click(window, QStringLiteral("BtnMenu")) &&
           waitFor([&] { return picked == entries.size(); }, 5000);
}

void key(QWidget* window, int key, Qt::KeyboardModifiers modifiers)
{
    // Offscreen, no window is active again after a popup or dialog closes, and
    // shortcuts only work in the active one.
    if (!QApplication::activeWindow())
        QApplication::setActiveWindow(window);
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == window ? focus : window, Qt::Key(key), modifiers);
}

void answerFileDialog(const QStringList& paths)
{
    const QString text = paths.size() == 1 ? paths.first() : '"' + paths.join(QStringLiteral("\" \"")) + '"';
    queue([text](QWidget* dialog) {
        auto* edit = qobject_cast<QFileDialog*>(dialog)
                         ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                         : nullptr;
        if (!edit)
            return false;
        if (edit->text() != text) {
            // Pasted, as one edit: typed letter by letter, the dialog selects each
            // name as it completes and drops some of the earlier ones again.
            QApplication::clipboard()->setText(text);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        }
        QTest::keyClick(edit, Qt::Key_Return);
        // Still open (its completer took the key): Return again on the next turn.
        return !dialog->isVisible();
    });
}

void pressInDialog(const QString& button, const QStringList& first)
{
    queue([button, first](QWidget* dialog) {
        QWidget* target = widgetIn(dialog, button);
        if (!target)
            return false;
        for (const QString& name : first)
            if (QWidget* w = widgetIn(dialog, name))
                press(w);
        press(target);
        return true;
    });
}

bool answersUsed(int timeoutMs)
{
    return waitFor([] { return g_answers.empty() && g_running == 0 && !g_busy; }, timeoutMs);
}

QStringList messages()
{
    return g_messages;
}

void clearMessages()
{
    g_messages.clear();
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

QStringList listFiles(const QString& folder, const QString& pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Time);
}

QString waitNewFile(const QString& folder, const QString& pattern, const QStringList& before, int timeoutMs)
{
    // The program writes to a temporary name and renames: a listed file is whole.
    QString path;
    waitFor(
        [&] {
            for (const QString& name : listFiles(folder, pattern))
                if (!before.contains(name))
                    path = folder + '/' + name;
            return !path.isEmpty();
        },
        timeoutMs);
    return path;
}

bool openPhoto(QMainWidget* window, const QString& card, const QString& photo, int timeoutMs)
{
    answerFileDialog(photo);
    if (!click(window, card))
        return false;
    auto* pages = window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    return answersUsed() &&
           waitFor([pages] { return pages->currentIndex() == QMainWidget::PageImage; }, timeoutMs);
}

bool chooseOutputFolder(QMainWidget* window, const QString& folder)
{
    answerFileDialog(folder);
    return click(window, QStringLiteral("btnSelectOutput")) && answersUsed() &&
           CSetting::getString(QStringLiteral("output"), QStringLiteral("path")) == folder;
}

QString saveAs(QMainWidget* window, const QString& folder, const QString& format, int timeoutMs)
{
    // Some choices reach the picture a moment after the click.
    QTest::qWait(kUserPauseMs);
    const QStringList before = listFiles(folder);
    pressInDialog(QStringLiteral("btnApply"), {QStringLiteral("btnFormat") + format.toUpper()});
    key(window, Qt::Key_S, Qt::ControlModifier);
    if (!answersUsed(10000)) {
        qWarning("Ctrl+S brought no format dialog");
        return QString();
    }
    const QString path = waitNewFile(folder, QStringLiteral("*.") + format, before, timeoutMs);
    if (path.isEmpty())
        qWarning("nothing was saved in %s", qPrintable(folder));
    auto* button = window->findChild<QWidget*>(QStringLiteral("btnSave"));
    return waitFor([button] { return button->isEnabled(); }, timeoutMs) ? path : QString();
}

QString personPhoto(const QString& name, QSize size)
{
    return writePhoto(name, person(size, QPointF(0.5, 0.5), 0.8));
}

QString productPhoto(const QString& name, QSize size)
{
    cv::Mat photo = background(size);
    const int side = qMin(size.width(), size.height());
    cv::circle(photo, cv::Point(size.width() / 2, size.height() / 2), side / 3, cv::Scalar(40, 40, 220),
               cv::FILLED);
    return writePhoto(name, photo);
}

QString corruptPhoto(const QString& name)
{
    return store(name, QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + QByteArray(200, '\x5a'));
}

QString orientedPhoto(const QString& name, QSize size, int orientation)
{
    const cv::Mat upright = person(size, QPointF(0.35, 0.4), 0.7);
    const QString path = writePhoto(name, photometadata::turnedAgainst(upright, orientation));
    photometadata::tag(path, orientation, false, false);
    return path;
}

QImage decode(const QString& path)
{
    return QImage(path);
}

bool cornersTransparent(const QImage& image)
{
    const int r = image.width() - 1, b = image.height() - 1;
    return !image.isNull() && qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(r, 0)) == 0 &&
           qAlpha(image.pixel(0, b)) == 0 && qAlpha(image.pixel(r, b)) == 0;
}

QString hardnessFault(QWidget* window, QImageCutoutWidget* view, QPoint at, QPoint apart, int low, int high)
{
    const auto rimPixels = [=] {
        const QImage mask = view->displayMask();
        int n = 0;
        for (int y = 0; y < mask.height(); ++y)
            for (int x = 0; x < mask.width(); ++x)
                n += qAlpha(mask.pixel(x, y)) >= low && qAlpha(mask.pixel(x, y)) <= high;
        return n;
    };
    QMap<QString, int> rim; // the label -> the soft pixels of its dot
    for (const int end : {Qt::Key_End, Qt::Key_Home}) {
        QTest::keyClick(find(window, "hSliderHardness"), Qt::Key(end));
        const int was = rimPixels();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, end == Qt::Key_End ? at - apart : at + apart);
        rim[textOf(find(window, "labelHardness"))] = rimPixels() - was;
    }
    if (rim.keys() == QStringList{"0%", "100%"} && rim["100%"] * 2 < rim["0%"])
        return QString();
    QStringList seen;
    for (auto it = rim.cbegin(); it != rim.cend(); ++it)
        seen << QString("%1: %2").arg(it.key()).arg(it.value());
    return "soft rim per hardness " + seen.join(", ");
}

} // namespace acceptance

#include "acceptance.moc"
