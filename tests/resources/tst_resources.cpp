// The compiled-in resource collection against the program's own source: every ":/"
// path the code names must resolve and load.

#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QRegularExpression>

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
        // Icon names built at run time ("btn.%1.png") are not checked; templates are.
        for (const char* must : {":/qss/TabButton.css", ":/qss/EnterButton.css", ":/image/btn.zoom.in.png"})
            QVERIFY2(rows.contains(QLatin1String(must)), must);

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
};

BRISEL_TEST_MAIN(TestResources)
#include "tst_resources.moc"
