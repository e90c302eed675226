// The compiled-in resource collection against the program's own source: every ":/"
// path the code names must resolve (at its known size where the size matters),
// every style sheet must exist and parse, and every template style sheet must get
// exactly as many arguments as it has placeholders.

#include "readtextfile.h"
#include "testutils.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QVBoxLayout>

namespace {

struct KnownSize
{
    const char* path;
    int width;
    int height;
};

// Sizes the layouts rely on; pictures not listed here only have to load.
const KnownSize kKnownSizes[] = {
    {":/image/label.person.normal.png", 460, 428},  {":/image/label.person.hover.png", 460, 428},
    {":/image/label.goods.normal.png", 460, 428},   {":/image/label.goods.hover.png", 460, 428},
    {":/image/label.card.normal.png", 460, 428},    {":/image/label.card.hover.png", 460, 428},
    {":/image/label.icon.title.png", 48, 48},       {":/image/btn.add.png", 108, 108},
    {":/image/item.add.png", 84, 84},               {":/image/btn.select.color.png", 76, 76},
    {":/image/btn.add.template.png", 76, 76},       {":/image/btn.checked.template.png", 68, 68},
    {":/image/label.explain.png", 28, 28},          {":/image/label.file.png", 21, 21},
    {":/template/bg1.png", 747, 525},
};

// Pictures every part of the program may ask for, whether or not its code exists yet.
const char* const kPictures[] = {
    "btn.cutout.png", "btn.cutout.hover.png", "btn.change.bg.png", "btn.change.bg.hover.png", "btn.crop.png",
    "btn.crop.hover.png", "btn.beautify.png", "btn.beautify.hover.png", "btn.advance.png", "btn.advance.hover.png",
    "btn.more.png", "btn.more.hover.png", "btn.batch.person.normal.png", "btn.batch.person.hover.png",
    "btn.batch.goods.normal.png", "btn.batch.goods.hover.png", "btn.remove.mark.normal.png",
    "btn.remove.mark.hover.png", "btn.min.png", "btn.max.png", "btn.close.png", "btn.menu.png", "btn.settings.png",
    "btn.customer.png", "btn.user.png", "btn.icon.user.png", "label.user.avatar.png", "btn.undo.png",
    "btn.undo.hover.png", "btn.undo.disable.png", "btn.restore.png", "btn.restore.hover.png",
    "btn.restore.disable.png", "btn.zoom.in.png", "btn.zoom.out.png", "btn.del.png", "btn.del.hover.png",
    "btn.apply.png", "btn.select.path.png", "comboBox.drop.down.png", "logo.about.png",
};

const char* const kStyleSheets[] = {
    "Main.css", "EnterButton.css", "TabButton.css", "MattingButton.css", "PageCutOut.css",
    "PageChangeBackground.css", "PageCrop.css", "PageBeautify.css", "PageAdvanced.css", "SizeButton.css",
    "ImageFormat.css", "Crop.css", "batchDialog.css", "imageItem.css", "batchWidget.css", "previewItem.css",
    "batchMenu.css",
};

QSize knownSize(const QString& path)
{
    for (const KnownSize& k : kKnownSizes)
        if (path == QLatin1String(k.path))
            return QSize(k.width, k.height);
    static const QRegularExpression thumbnail(QStringLiteral("^:/template/template_\\d+\\.png$"));
    if (thumbnail.match(path).hasMatch())
        return QSize(76, 76);
    return QSize();
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

QStringList sourceFiles()
{
    QStringList files;
    const QDir root(QStringLiteral(BRISEL_SOURCE_DIR));
    for (const char* folder : {"app", "lib", "platform"}) {
        QDirIterator it(root.filePath(QLatin1String(folder)), {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    QDirIterator sheets(root.filePath(QStringLiteral("resources/qss")), {QStringLiteral("*.css")}, QDir::Files);
    while (sheets.hasNext())
        files << sheets.next();
    files.sort();
    return files;
}

QString relative(const QString& file)
{
    return QDir(QStringLiteral(BRISEL_SOURCE_DIR)).relativeFilePath(file);
}

int lineOf(const QString& text, int offset)
{
    return text.leftRef(offset).count(QLatin1Char('\n')) + 1;
}

// Complete resource paths named in one file: whole string literals starting with
// ":/" (not prefixes joined to something else, not templates with %N), and url(...)
// or element texts in style sheets and forms.
QList<QPair<QString, int>> pathsIn(const QString& file, const QString& text)
{
    QList<QPair<QString, int>> found;
    auto keep = [&](const QString& path, int offset) {
        if (path.endsWith(QLatin1Char('/')) || path.contains(QLatin1Char('%')) || path == QLatin1String(":/"))
            return;
        found.append({path, lineOf(text, offset)});
    };
    static const QRegularExpression literal(QStringLiteral("\"(:/[^\"\\\\%]*)\"\\s*([+%]?)"));
    static const QRegularExpression embedded(QStringLiteral("(?:url\\(|>)\\s*(:/[^)<\"'\\s;]+)"));
    const bool cpp = file.endsWith(QLatin1String(".cpp")) || file.endsWith(QLatin1String(".h"));
    if (cpp) {
        for (auto it = literal.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(2).isEmpty())
                keep(m.captured(1), m.capturedStart(1));
        }
    }
    for (auto it = embedded.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        keep(m.captured(1), m.capturedStart(1));
    }
    return found;
}

// Position just after the bracket matching the one at `open`, skipping string and
// character literals; -1 if unbalanced.
int matchParen(const QString& text, int open)
{
    int depth = 0;
    for (int i = open; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            for (++i; i < text.size() && text.at(i) != c; ++i)
                if (text.at(i) == QLatin1Char('\\'))
                    ++i;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')') && --depth == 0) {
            return i + 1;
        }
    }
    return -1;
}

// Arguments between the brackets at [open, close), counted at the top level.
int countArguments(const QString& text, int open, int close)
{
    int depth = 0;
    int count = 1;
    for (int i = open + 1; i < close - 1; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            for (++i; i < close && text.at(i) != c; ++i)
                if (text.at(i) == QLatin1Char('\\'))
                    ++i;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('{') || c == QLatin1Char('<')) {
            ++depth;
        } else if (c == QLatin1Char(')') || c == QLatin1Char('}') || c == QLatin1Char('>')) {
            --depth;
        } else if (c == QLatin1Char(',') && depth == 0) {
            ++count;
        }
    }
    return count;
}

struct SheetUse
{
    QString where;
    QString sheet;
    int arguments;
};

// Every readTextFile(":/qss/...") call with the number of arguments its .arg() chain supplies.
QList<SheetUse> sheetUses()
{
    QList<SheetUse> uses;
    static const QRegularExpression call(QStringLiteral("readTextFile\\s*\\("));
    static const QRegularExpression sheetName(QStringLiteral("\"(:/qss/[^\"]+)\""));
    static const QRegularExpression arg(QStringLiteral("^\\s*\\.\\s*arg\\s*\\("));
    for (const QString& file : sourceFiles()) {
        if (!file.endsWith(QLatin1String(".cpp")) && !file.endsWith(QLatin1String(".h")))
            continue;
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto it = call.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            const int open = m.capturedEnd() - 1;
            const int end = matchParen(text, open);
            if (end < 0)
                continue;
            const auto name = sheetName.match(text.mid(open, end - open));
            if (!name.hasMatch())
                continue;
            int arguments = 0;
            int pos = end;
            for (;;) {
                const auto a = arg.match(text.mid(pos, 200));
                if (!a.hasMatch())
                    break;
                const int argOpen = pos + a.capturedEnd() - 1;
                const int argEnd = matchParen(text, argOpen);
                if (argEnd < 0)
                    break;
                arguments += countArguments(text, argOpen, argEnd);
                pos = argEnd;
            }
            uses.append({QStringLiteral("%1:%2").arg(relative(file)).arg(lineOf(text, m.capturedStart())),
                         name.captured(1), arguments});
        }
    }
    return uses;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void pathsInSourceResolve_data();
    void pathsInSourceResolve();
    void picturesHaveTheirSizes_data();
    void picturesHaveTheirSizes();
    void backgroundTemplates_data();
    void backgroundTemplates();
    void doubleDensityVariants_data();
    void doubleDensityVariants();
    void styleSheetsExistAndParse_data();
    void styleSheetsExistAndParse();
    void templateSheetsAreFilled_data();
    void templateSheetsAreFilled();
};

void TestResources::pathsInSourceResolve_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("where");

    QSet<QString> seen;
    for (const QString& file : sourceFiles()) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        for (const auto& [path, line] : pathsIn(file, text)) {
            if (seen.contains(path))
                continue;
            seen.insert(path);
            const QString where = QStringLiteral("%1:%2").arg(relative(file)).arg(line);
            QTest::newRow(qPrintable(path)) << path << where;
        }
    }
    // Code and style sheets name these three at least; missing them means the
    // scan itself is broken.
    for (const char* must : {":/qss/TabButton.css", ":/qss/EnterButton.css", ":/image/btn.zoom.in.png"})
        QVERIFY2(seen.contains(QLatin1String(must)), must);
}

void TestResources::pathsInSourceResolve()
{
    QFETCH(QString, path);
    QFETCH(QString, where);

    QVERIFY2(QFile::exists(path), qPrintable(QStringLiteral("%1 named at %2 is not in the collection").arg(path, where)));
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("jpg"))
        return;
    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(QStringLiteral("%1 (%2): %3").arg(path, where, reader.errorString())));
    const QSize expected = knownSize(path);
    if (expected.isValid())
        QCOMPARE(image.size(), expected);
}

void TestResources::picturesHaveTheirSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const KnownSize& k : kKnownSizes)
        QTest::newRow(k.path) << QString::fromLatin1(k.path) << QSize(k.width, k.height);
    for (const char* name : kPictures) {
        const QString path = QStringLiteral(":/image/") + QLatin1String(name);
        QTest::newRow(qPrintable(path)) << path << QSize();
    }
}

void TestResources::picturesHaveTheirSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    if (size.isValid())
        QCOMPARE(image.size(), size);
    // Interface pictures are drawn with transparency or at least not blank.
    QVERIFY(image.width() >= 8 && image.height() >= 8);
}

void TestResources::backgroundTemplates_data()
{
    QTest::addColumn<int>("number");
    for (int n = 1; n <= 15; ++n)
        QTest::newRow(qPrintable(QStringLiteral("template %1").arg(n))) << n;
}

void TestResources::backgroundTemplates()
{
    QFETCH(int, number);

    const QString background = number == 1 ? QStringLiteral(":/template/bg1.png")
                                            : QStringLiteral(":/template/bg%1.jpg").arg(number);
    const QImage picture(background);
    QVERIFY2(!picture.isNull(), qPrintable(background));
    if (number == 1) {
        QCOMPARE(picture.size(), QSize(747, 525));
    } else {
        QCOMPARE(picture.width(), 1500);
        QVERIFY2(picture.height() >= 911 && picture.height() <= 2250, qPrintable(QString::number(picture.height())));
    }
    const QImage thumbnail(QStringLiteral(":/template/template_%1.png").arg(number));
    QCOMPARE(thumbnail.size(), QSize(76, 76));

    // A background is a picture, not a flat fill: sample a coarse grid and expect
    // real variation in brightness.
    int lo = 255, hi = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int v = qGray(picture.pixel(picture.width() * (2 * x + 1) / 16, picture.height() * (2 * y + 1) / 16));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    QVERIFY2(hi - lo >= 8, qPrintable(QStringLiteral("%1: brightness %2..%3").arg(background).arg(lo).arg(hi)));
}

void TestResources::doubleDensityVariants_data()
{
    QTest::addColumn<QString>("path");
    int rows = 0;
    QDirIterator it(QStringLiteral(":/image"));
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String("@2x.png"))) {
            QTest::newRow(qPrintable(path)) << path;
            ++rows;
        }
    }
    // The title bar at least must be crisp on high-density screens.
    QVERIFY(rows >= 7);
}

void TestResources::doubleDensityVariants()
{
    QFETCH(QString, path);
    QString base = path;
    base.replace(QLatin1String("@2x.png"), QLatin1String(".png"));
    const QImage big(path);
    const QImage small(base);
    QVERIFY2(!small.isNull(), qPrintable(base));
    QCOMPARE(big.size(), small.size() * 2);
}

void TestResources::styleSheetsExistAndParse_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : kStyleSheets)
        QTest::newRow(name) << QStringLiteral(":/qss/") + QLatin1String(name);
}

namespace {
QStringList parseWarnings;
void collectWarnings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    parseWarnings << message;
}
} // namespace

void TestResources::styleSheetsExistAndParse()
{
    QFETCH(QString, path);

    QString sheet = readTextFile(path);
    QVERIFY2(!sheet.trimmed().isEmpty(), qPrintable(path));
    // Fill template placeholders with harmless values so the sheet is what a widget gets.
    for (int n = highestPlaceholder(sheet); n > 0; --n)
        sheet.replace(QStringLiteral("%") + QString::number(n), QStringLiteral("12"));

    parseWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    {
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        layout->addWidget(new QLabel(QStringLiteral("text")));
        layout->addWidget(new QPushButton(QStringLiteral("button")));
        layout->addWidget(new QSlider(Qt::Horizontal));
        layout->addWidget(new QLineEdit);
        layout->addWidget(new QComboBox);
        host.setStyleSheet(sheet);
        host.grab();
    }
    qInstallMessageHandler(previous);
    QVERIFY2(parseWarnings.isEmpty(), qPrintable(parseWarnings.join(QLatin1Char('\n'))));
}

void TestResources::templateSheetsAreFilled_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("arguments");

    for (const SheetUse& use : sheetUses())
        QTest::newRow(qPrintable(use.where)) << use.where << use.sheet << use.arguments;
    // The two template sheets and the number of placeholders their users fill in.
    QTest::newRow("TabButton.css template") << QString() << QStringLiteral(":/qss/TabButton.css") << 2;
    QTest::newRow("MattingButton.css template") << QString() << QStringLiteral(":/qss/MattingButton.css") << 7;
}

void TestResources::templateSheetsAreFilled()
{
    QFETCH(QString, where);
    QFETCH(QString, sheet);
    QFETCH(int, arguments);

    const QString text = readTextFile(sheet);
    QVERIFY2(!text.isEmpty(), qPrintable(sheet));
    const int highest = highestPlaceholder(text);
    QVERIFY2(highest == arguments,
             qPrintable(QStringLiteral("%1 has %2 placeholders but %3 fills %4")
                            .arg(sheet)
                            .arg(highest)
                            .arg(where.isEmpty() ? QStringLiteral("the program") : where)
                            .arg(arguments)));
    // Placeholders are numbered without gaps, or arg() would fill the wrong ones.
    for (int n = 1; n <= highest; ++n)
        QVERIFY2(text.contains(QStringLiteral("%") + QString::number(n)), qPrintable(QStringLiteral("%%1 missing").arg(n)));
}

BRISEL_TEST_MAIN(TestResources)
#include "tst_resources.moc"
