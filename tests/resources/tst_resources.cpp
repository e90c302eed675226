// The compiled-in resource collection against the program's own source: every ":/"
// path the code names must resolve and load (at its known size where the layout
// depends on it), and every style sheet must parse.

#include "readtextfile.h"
#include "testutils.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QVBoxLayout>

namespace {

// Sizes the layouts rely on; other pictures only have to load.
const QMap<QString, QSize> kKnownSizes = {
    {":/image/label.person.normal.png", {460, 428}},
    {":/image/label.person.hover.png", {460, 428}},
    {":/image/label.goods.normal.png", {460, 428}},
    {":/image/label.goods.hover.png", {460, 428}},
    {":/image/label.card.normal.png", {460, 428}},
    {":/image/label.card.hover.png", {460, 428}},
    {":/image/label.icon.title.png", {48, 48}},
    {":/image/btn.add.png", {108, 108}},
    {":/image/item.add.png", {84, 84}},
    {":/image/btn.select.color.png", {76, 76}},
    {":/image/btn.add.template.png", {76, 76}},
    {":/image/btn.checked.template.png", {68, 68}},
    {":/image/label.explain.png", {28, 28}},
    {":/image/label.file.png", {21, 21}},
    {":/template/bg1.png", {747, 525}},
};

// Pictures whose names the code builds at run time ("btn.%1.png"), so the source
// scan cannot see them.
const char kBuiltNames[] =
    "btn.cutout btn.change.bg btn.crop btn.beautify btn.advance btn.more btn.undo btn.restore btn.del "
    "btn.batch.person.normal btn.batch.goods.normal btn.remove.mark.normal btn.batch.person.hover "
    "btn.batch.goods.hover btn.remove.mark.hover btn.cutout.hover btn.change.bg.hover btn.crop.hover "
    "btn.beautify.hover btn.advance.hover btn.more.hover btn.undo.hover btn.restore.hover btn.del.hover "
    "btn.undo.disable btn.restore.disable btn.min btn.max btn.close btn.menu btn.settings btn.customer "
    "btn.user btn.icon.user label.user.avatar btn.apply btn.select.path comboBox.drop.down logo.about";

QString relative(const QString& file)
{
    return QDir(QStringLiteral(BRISEL_SOURCE_DIR)).relativeFilePath(file);
}

int lineOf(const QString& text, int offset)
{
    return text.leftRef(offset).count(QLatin1Char('\n')) + 1;
}

bool isCode(const QString& file)
{
    return file.endsWith(QLatin1String(".cpp")) || file.endsWith(QLatin1String(".h"));
}

// Source files with their text.
QList<QPair<QString, QString>> sources()
{
    QList<QPair<QString, QString>> files;
    const QDir root(QStringLiteral(BRISEL_SOURCE_DIR));
    QStringList paths;
    for (const char* folder : {"app", "lib", "platform"}) {
        QDirIterator it(root.filePath(QLatin1String(folder)), {"*.cpp", "*.h", "*.ui"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths << it.next();
    }
    QDirIterator sheets(root.filePath(QStringLiteral("resources/qss")), {"*.css"}, QDir::Files);
    while (sheets.hasNext())
        paths << sheets.next();
    paths.sort();
    for (const QString& path : paths) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            files.append({path, QString::fromUtf8(f.readAll())});
    }
    return files;
}

// Highest %N in a text, 0 when it has none.
int highestPlaceholder(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%(\\d+)"));
    int highest = 0;
    for (auto it = marker.globalMatch(text); it.hasNext();)
        highest = std::max(highest, it.next().captured(1).toInt());
    return highest;
}

QStringList parseWarnings;
void collectWarnings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    parseWarnings << message;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void picturesAndPathsResolve_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("where");

        // Whole string literals starting with ":/" (not prefixes joined to something
        // else, not templates with %N), and url(...) or element texts in sheets and forms.
        static const QRegularExpression literal(QStringLiteral("\"(:/[^\"\\\\%]*)\"\\s*([+%]?)"));
        static const QRegularExpression embedded(QStringLiteral("(?:url\\(|>)\\s*(:/[^)<\"'\\s;]+)"));
        QMap<QString, QString> rows;
        auto add = [&](const QString& path, const QString& where) {
            if (!path.endsWith('/') && !path.contains('%') && !rows.contains(path))
                rows.insert(path, where);
        };
        for (const auto& [file, text] : sources()) {
            for (auto it = literal.globalMatch(text); isCode(file) && it.hasNext();) {
                const auto m = it.next();
                if (m.captured(2).isEmpty())
                    add(m.captured(1),
                        relative(file) + ":" + QString::number(lineOf(text, m.capturedStart())));
            }
            for (auto it = embedded.globalMatch(text); it.hasNext();) {
                const auto m = it.next();
                add(m.captured(1), relative(file) + ":" + QString::number(lineOf(text, m.capturedStart())));
            }
        }
        // Code and style sheets name these at least; missing them means the scan is broken.
        for (const char* must : {":/qss/TabButton.css", ":/qss/EnterButton.css", ":/image/btn.zoom.in.png"})
            QVERIFY2(rows.contains(QLatin1String(must)), must);

        for (auto it = kKnownSizes.cbegin(); it != kKnownSizes.cend(); ++it)
            add(it.key(), QStringLiteral("layout size"));
        for (const QString& name : QString::fromLatin1(kBuiltNames).split(' '))
            add(":/image/" + name + ".png", QStringLiteral("name built at run time"));
        for (int n = 1; n <= 15; ++n) {
            add(n == 1 ? QStringLiteral(":/template/bg1.png") : QStringLiteral(":/template/bg%1.jpg").arg(n),
                QStringLiteral("background template"));
            add(QStringLiteral(":/template/template_%1.png").arg(n), QStringLiteral("background thumbnail"));
        }
        int doubles = 0;
        for (QDirIterator it(QStringLiteral(":/image")); it.hasNext();) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String("@2x.png"))) {
                add(path, QStringLiteral("double density"));
                ++doubles;
            }
        }
        QVERIFY(doubles >= 7); // the title bar at least must be crisp on high-density screens

        for (auto it = rows.cbegin(); it != rows.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }
    void picturesAndPathsResolve()
    {
        QFETCH(QString, path);
        QFETCH(QString, where);

        QVERIFY2(QFile::exists(path),
                 qPrintable(QStringLiteral("%1 (%2) is not in the collection").arg(path, where)));
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("jpg"))
            return;
        QImageReader reader(path);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(),
                 qPrintable(QStringLiteral("%1 (%2): %3").arg(path, where, reader.errorString())));
        QVERIFY(image.width() >= 8 && image.height() >= 8);
        if (kKnownSizes.contains(path))
            QCOMPARE(image.size(), kKnownSizes.value(path));
        if (path.startsWith(QLatin1String(":/template/template_")))
            QCOMPARE(image.size(), QSize(76, 76));
        if (path.endsWith(QLatin1String("@2x.png"))) {
            const QImage base(QString(path).replace(QLatin1String("@2x.png"), QLatin1String(".png")));
            QVERIFY2(!base.isNull(), qPrintable(path + " has no normal-density picture"));
            QCOMPARE(image.size(), base.size() * 2);
        }
        if (path.startsWith(QLatin1String(":/template/bg")) && !kKnownSizes.contains(path)) {
            QCOMPARE(image.width(), 1500);
            QVERIFY2(image.height() >= 911 && image.height() <= 2250,
                     qPrintable(QString::number(image.height())));
        }
    }

    void styleSheetsParse_data()
    {
        QTest::addColumn<QString>("path");
        int sheets = 0;
        for (QDirIterator it(QStringLiteral(":/qss"), {"*.css"}); it.hasNext(); ++sheets) {
            const QString path = it.next();
            QTest::newRow(qPrintable(path)) << path;
        }
        QVERIFY(sheets >= 17);
    }
    void styleSheetsParse()
    {
        QFETCH(QString, path);
        QString sheet = readTextFile(path);
        QVERIFY2(!sheet.trimmed().isEmpty(), qPrintable(path));
        // Placeholders get harmless values, so the sheet is what a widget gets.
        for (int n = highestPlaceholder(sheet); n > 0; --n)
            sheet.replace(QStringLiteral("%") + QString::number(n), QStringLiteral("12"));

        parseWarnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        {
            QWidget host;
            auto* layout = new QVBoxLayout(&host);
            for (QWidget* w : QList<QWidget*>{new QLabel("text"), new QPushButton("button"),
                                              new QSlider(Qt::Horizontal), new QLineEdit, new QComboBox})
                layout->addWidget(w);
            host.setStyleSheet(sheet);
            host.grab();
        }
        qInstallMessageHandler(previous);
        QVERIFY2(parseWarnings.isEmpty(), qPrintable(parseWarnings.join('\n')));
    }
};

BRISEL_TEST_MAIN(TestResources)
#include "tst_resources.moc"
