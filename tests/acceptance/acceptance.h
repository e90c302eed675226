#pragma once
// The acceptance harness: scenarios drive the real program as a user does. The
// application object is the program's own CWinApp; the window opens as a start
// opens it; photos are picked in Qt's own file dialog by pasting their path; buttons
// are pressed with the mouse; the real matting service (key engine) cuts; saved
// files are decoded and checked.
//
// Everything here runs on the GUI (main) thread. Helpers that can miss return
// false or null after printing what was missing, so a scenario wraps them in
// QVERIFY. Dialogs are answered by a poller that watches
// QApplication::activeModalWidget(), because the program's pickers block in exec().

#include "childprocess.h"
#include "cwinapp.h"
#include "testutils.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

class QMainWidget;
class QWidget;

namespace acceptance {

// ---- program and service -------------------------------------------------

// Called by ACCEPTANCE_MAIN with the application object of the run.
void setApplication(CWinApp* app);

// brisel-matting-service with the key engine on a free loopback port; stopped when
// the object goes. start() points the program's "service"/"url" setting at it.
class Service
{
public:
    bool start(QString* error);
    QString url() const { return m_url; }

private:
    std::unique_ptr<testutils::ChildProcess> m_process;
    QString m_url;
};

// Opens the main window the way the program starts, in `language` ("zh" is the
// program's default, "en" shows the source texts): the setting is stored, the
// translation loaded and the window shown. Tasks of an earlier window are dropped,
// so each scenario starts on the home page. The caller owns the window.
std::unique_ptr<QMainWidget> openWindow(const QString& language = QStringLiteral("en"));

// Folders shown in the desktop (QDesktopServices::openUrl of a file: URL) since the
// last openWindow(); nothing is launched.
QList<QUrl> shownFolders();

// ---- widgets --------------------------------------------------------------

// The visible widget called `name` under `root`, or null (printing which name was
// missing or hidden).
QWidget* find(const QWidget* root, const QString& name);
template <class T> T* find(const QWidget* root, const QString& name)
{
    return qobject_cast<T*>(find(root, name));
}
// How many visible widgets under `root` are called `name`; quiet, for waiting.
int countShown(const QWidget* root, const QString& name);
// A left click in the middle of the named widget, as the mouse does it; false
// when it is missing, hidden or disabled.
bool click(const QWidget* root, const QString& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The text a label or button shows; empty for other widgets.
QString textOf(const QWidget* w);
// The non-blank texts of the visible labels and buttons under `root`.
QStringList visibleTexts(const QWidget* root);
// The visible widget under `root` whose text (a label's or a button's, its own or
// that of a label inside it) contains `text`; null when none does.
QWidget* findText(const QWidget* root, const QString& text);
// Opens the named combo box with a click and clicks its entry `index` in the list
// (nothing to do when that entry shows already).
bool choose(const QWidget* root, const QString& comboName, int index);
// A key press sent to the window's focus widget (or the window).
void key(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// ---- modal dialogs --------------------------------------------------------
// Answers queue up and are used in order, each by the first modal dialog it fits.
// A message box no answer fits is closed with its accepting button and recorded,
// so an unexpected message never hangs a scenario; check messages().

// The next Qt file dialog (open, open many, folder): pastes the path (several as
// "a" "b") into its file name field and presses Return.
void answerFileDialog(const QStringList& paths);
inline void answerFileDialog(const QString& path)
{
    answerFileDialog(QStringList{path});
}
// The next modal dialog that has a visible, enabled widget called `button` (object
// name) or a button labelled so: clicked with the mouse, once it is there. Widgets
// named in `first`, if any, are clicked before it (a choice before "OK").
void pressInDialog(const QString& button, const QStringList& first = {});
// True once every queued answer was used; false after timeoutMs.
bool answersUsed(int timeoutMs = 20000);
// Texts of the message boxes shown since the last clearMessages().
QStringList messages();
void clearMessages();

// ---- waiting ---------------------------------------------------------------

// Runs events until `condition` holds; false after timeoutMs.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000);
// A file in `folder` matching `pattern` (e.g. "*.png") that is not in `before` (a
// listing taken earlier), once one appears; empty after timeoutMs.
QString waitNewFile(const QString& folder, const QString& pattern, const QStringList& before,
                    int timeoutMs = 30000);
QStringList listFiles(const QString& folder, const QString& pattern = QStringLiteral("*"));

// ---- user steps ------------------------------------------------------------

// Clicks a home card ("EnterPerson", "EnterGoods", "EnterCard"), picks `photo` in
// the file dialog and waits for the editing page; false when it does not show.
bool openPhoto(QMainWidget* window, const QString& card, const QString& photo, int timeoutMs = 60000);
// Picks `folder` as the output folder through its button and the folder dialog.
bool chooseOutputFolder(QMainWidget* window, const QString& folder);
// Ctrl+S, the format dialog (PNG or JPG) and OK; returns the file written into the
// output folder once the window takes input again, empty when none appeared.
QString save(QMainWidget* window, const QString& folder, bool jpg, int timeoutMs = 60000);

// ---- photos (written into <sandbox>/photos, JPG or PNG by the name's suffix) --

const QSize kSmall(548, 342);
const QSize kBig(4000, 3000);
// The flat background of the photos below, as the key engine sees it.
const QRgb kBackground = qRgb(30, 170, 60);

// A person: the middle of tests/data/astronaut.png in an upright ellipse filling
// 80% of the height, centred on the flat background.
QString personPhoto(const QString& name, QSize size = kSmall);
// A product: a red disc, a third of the shorter side across, on the background.
QString productPhoto(const QString& name, QSize size = kSmall);
// Bytes that start like a JPEG and are not one.
QString corruptPhoto(const QString& name);
// A person photo stored as a camera does: a JPEG whose pixels are turned against
// `orientation` (EXIF 1-8), so a viewer honouring the tag shows `size` with the
// person upright. The person (70% of the height) stands at 35% of the width and
// 40% of the height, so a mirror or a turn shows: upright, (0.35, 0.5) of the
// picture is the person, (0.65, 0.5) and (0.35, 0.85) are background.
QString orientedPhoto(const QString& name, QSize size, int orientation);
// `jpeg` with an APP1 Exif segment holding only the Orientation tag.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);

// ---- saved files -----------------------------------------------------------

// The decoded file (null when it does not decode).
QImage decode(const QString& path);
// Dots per inch stored in the file, rounded.
int dpi(const QImage& image);
// Whether the background was taken away at the corners (all four transparent).
bool cornersTransparent(const QImage& image);

} // namespace acceptance

// Like QTEST_MAIN, with the program's own application object: sandbox first, then
// CWinApp (Qt, platform services, translation).
#define ACCEPTANCE_MAIN(TestObject)                                                                          \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        testutils::initSandbox();                                                                            \
        CWinApp app(argc, argv);                                                                             \
        QApplication::setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        acceptance::setApplication(&app);                                                                    \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
