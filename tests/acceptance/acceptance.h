#pragma once
// The acceptance harness: scenarios drive the real program as a user does, with
// the program's own CWinApp, Qt's own file dialogs, mouse and keys, the real
// matting service (key engine) and the saved files decoded.
//
// Everything runs on the GUI thread. Helpers that can miss return false or null
// after printing what was missing, for QVERIFY. Dialogs are answered by a poller
// watching QApplication::activeModalWidget(), as the pickers block in exec().

#include "childprocess.h"
#include "cwinapp.h"
#include "testutils.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

class QImageCutoutWidget;
class QMainWidget;
class QWidget;

namespace acceptance {

// brisel-matting-service with the key engine on a free loopback port, stopped with
// the object; start() points the "service"/"url" setting at it.
class Service
{
public:
    bool start(QString* error);
    QString url() const { return m_url; }

private:
    std::unique_ptr<testutils::ChildProcess> m_process;
    QString m_url;
};

// Opens the main window as the program starts, in `language` ("zh" or "en"), on the
// home page (tasks of an earlier window are dropped). The caller owns it.
std::unique_ptr<QMainWidget> openWindow(const QString& language = QStringLiteral("en"));

// The base of a scenario suite: the service runs for the whole suite, results go to
// `out`, and a message box nobody answered fails the scenario that showed it.
class Scenarios : public QObject
{
    Q_OBJECT
public:
    ~Scenarios() override;

protected:
    Service service;
    std::unique_ptr<QMainWidget> window;
    const QString out = testutils::sandboxPath() + QStringLiteral("/out");
private slots:
    void initTestCase();
    void cleanup();
};

// For a scenario's _data(): a "language" column with the rows "en" and "zh", for
// scenarios whose init() opens the window in the row's language.
void inBothLanguages();

// Folders shown in the desktop (file: URLs) since the last openWindow(); nothing
// is launched.
QList<QUrl> shownFolders();

// The visible widget called `name` under `root`, or null.
QWidget* find(const QWidget* root, const QString& name);
template <class T> T* find(const QWidget* root, const QString& name)
{
    return qobject_cast<T*>(find(root, name));
}
// How many visible widgets under `root` are called `name`; quiet, for waiting.
int countShown(const QWidget* root, const QString& name);
// A left click in the middle of the named widget; false when it is missing,
// hidden or disabled.
bool click(const QWidget* root, const QString& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The text a label or button shows; empty for other widgets.
QString textOf(const QWidget* w);
QStringList visibleTexts(const QWidget* root);
// The visible label or button under `root` showing `text` (a label on one of the
// program's buttons stands for the button); null when none does.
QWidget* findText(const QWidget* root, const QString& text);
// Opens the named combo box with a click and clicks its entry `index`.
bool choose(const QWidget* root, const QString& comboName, int index);
// Clicks the main menu button, then each named entry (a submenu's object name
// opens it); false when one did not show.
bool pickFromMenu(const QWidget* window, const QStringList& entries);
// A key press sent to the window's focus widget (or the window).
void key(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Answers are used in order, each by the first modal dialog it fits. A message box
// no answer fits is closed with its OK button and recorded in messages().

// The next file dialog: pastes the paths ("a" "b" for several) and presses Return.
void answerFileDialog(const QStringList& paths);
inline void answerFileDialog(const QString& path)
{
    answerFileDialog(QStringList{path});
}
// The next modal dialog with a visible, enabled widget called (or button labelled)
// `button`: the widgets named in `first` are clicked, then it.
void pressInDialog(const QString& button, const QStringList& first = {});
// True once every queued answer was used.
bool answersUsed(int timeoutMs = 20000);
QStringList messages();
void clearMessages();

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000);
// A file in `folder` matching `pattern` and not in `before`; empty after timeoutMs.
QString waitNewFile(const QString& folder, const QString& pattern, const QStringList& before,
                    int timeoutMs = 30000);
QStringList listFiles(const QString& folder, const QString& pattern = QStringLiteral("*"));

// Clicks a home card ("EnterPerson", "EnterGoods", "EnterCard"), picks `photo` and
// waits for the editing page.
bool openPhoto(QMainWidget* window, const QString& card, const QString& photo, int timeoutMs = 60000);
bool chooseOutputFolder(QMainWidget* window, const QString& folder);
// Ctrl+S, the format ("png", "jpg" or "webp") and OK; the file written into
// `folder` once the window takes input again, empty when none appeared.
QString saveAs(QMainWidget* window, const QString& folder, const QString& format, int timeoutMs = 60000);
inline QString save(QMainWidget* window, const QString& folder, bool jpg, int timeoutMs = 60000)
{
    return saveAs(window, folder, jpg ? QStringLiteral("jpg") : QStringLiteral("png"), timeoutMs);
}

// Photos go to <sandbox>/photos, JPG or PNG by the name's suffix.
const QSize kSmall(548, 342);
const QSize kBig(4000, 3000);
const QRgb kBackground = qRgb(30, 170, 60); // flat, as the key engine wants it

// A person (tests/data/astronaut.png in an ellipse 80% of the height) in the middle.
QString personPhoto(const QString& name, QSize size = kSmall);
// A red disc, a third of the shorter side across, in the middle.
QString productPhoto(const QString& name, QSize size = kSmall);
// Bytes that start like a JPEG and are not one.
QString corruptPhoto(const QString& name);
// A camera's JPEG, its pixels turned against EXIF `orientation` (1-8): upright it is
// `size`, the person 70% high at 35% of the width and 40% of the height, so
// (0.35, 0.5) is the person, (0.9, 0.5) and (0.35, 0.85) background.
QString orientedPhoto(const QString& name, QSize size, int orientation);

QImage decode(const QString& path);
// All four corners transparent.
bool cornersTransparent(const QImage& image);

// Sets the brush view's hardness slider to each end and paints a dot, at `at` minus
// and then plus `apart`, counting the mask pixels the dot leaves with alpha in
// [low, high], its soft rim. Empty when the rim at "100%" is under half the one at
// "0%", whichever way the slider runs; else what was seen.
QString hardnessFault(QWidget* window, QImageCutoutWidget* view, QPoint at, QPoint apart, int low, int high);

} // namespace acceptance

// The program's own application object.
#define ACCEPTANCE_MAIN(TestObject) BRISEL_TEST_MAIN_APP(CWinApp, TestObject)
