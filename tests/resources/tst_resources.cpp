// The compiled-in resource collection against the program's own source: every ":/"
// path the code names must resolve and load, and every style sheet must parse.

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

// Pictures whose names the code builds at run time ("btn.%1.png"), so the source
// scan cannot see them.
const char kBuiltNames[] =
    "btn.cutout btn.change.bg btn.crop btn.beautify btn.advance btn.more btn.undo btn.restore btn.del "
    "btn.batch.person.normal btn.batch.goods.normal btn.remove.mark.normal btn.batch.person.hover "
    "btn.batch.goods.hover btn.remove.mark.hover btn.cutout.hover btn.change.bg.hover btn.crop.hover "
    "btn.beautify.hover btn.advance.hover btn.more.hover btn.undo.hover btn.restore.hover btn.del.hover "
    "btn.undo.disable btn.restore.disable btn.min btn.max btn.close btn.menu btn.settings btn.customer "
    "btn.user btn.icon.user label.user.avatar btn.apply btn.select.path comboBox.drop.down logo.about";

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
        const QDir root(QStringLiteral(BRISEL_SOURCE_DIR));
        for (const char* folder : {"app", "lib", "platform", "resources/qss"}) {
            QDirIterator it(root.filePath(QLatin1String(folder)), {"*.cpp", "*.h", "*.ui", "*.css"},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                const QString text = QString::fromUtf8(testutils::readFile(file));
                const bool code = file.endsWith(QLatin1String(".cpp")) || file.endsWith(QLatin1String(".h"));
                for (auto m = literal.globalMatch(text); code && m.hasNext();) {
                    const auto match = m.next();
                    if (match.captured(2).isEmpty())
                        add(match.captured(1), root.relativeFilePath(file));
                }
                for (auto m = embedded.globalMatch(text); m.hasNext();)
                    add(m.next().captured(1), root.relativeFilePath(file));
            }
        }
        // Code and style sheets name these at least; missing them means the scan is broken.
        for (const char* must : {":/qss/TabButton.css", ":/qss/EnterButton.css", ":/image/btn.zoom.in.png"})
            QVERIFY2(rows.contains(QLatin1String(must)), must);

        for (const QString& name : QString::fromLatin1(kBuiltNames).split(' '))
            add(":/image/" + name + ".png", QStringLiteral("name built at run time"));
        for (int n = 1; n <= 15; ++n) {
            add(n == 1 ? QStringLiteral(":/template/bg1.png") : QStringLiteral(":/template/bg%1.jpg").arg(n),
                QStringLiteral("background template"));
            add(QStringLiteral(":/template/template_%1.png").arg(n), QStringLiteral("background thumbnail"));
        }
        for (auto it = rows.cbegin(); it != rows.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }
    void picturesAndPathsResolve()
    {
        QFETCH(QString, path);
        QFETCH(QString, where);

        QVERIFY2(QFile::exists(path), qPrintable(path + " (" + where + ") is not in the collection"));
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("jpg"))
            return;
        QImageReader reader(path);
        QVERIFY2(!reader.read().isNull(), qPrintable(path + " (" + where + "): " + reader.errorString()));
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
        // Placeholders (%1 ... %9) get harmless values, so the sheet is what a widget gets.
        sheet.replace(QRegularExpression(QStringLiteral("%\\d+")), QStringLiteral("12"));

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
