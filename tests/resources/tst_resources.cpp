// The compiled-in resources and translations against the program's own source:
// every ":/" path the code names resolves and loads, every text of the code and
// forms has its Chinese, English sources are plain English, and the interface
// changes language while it runs, in both directions.

#include "cwinapp.h"
#include "qbatchmattingwidget.h"
#include "qmainwidget.h"
#include "testutils.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

// "context::source" of each message in .ts files → translated (lupdate gives a
// message whose source changed, or that left the code, a type).
QHash<QString, bool> readTs(const QString& folder)
{
    QHash<QString, bool> messages;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({"*.ts"})) {
        QFile file(dir.filePath(name));
        QXmlStreamReader xml(file.open(QIODevice::ReadOnly) ? &file : nullptr);
        QString context, source;
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
            if (xml.isStartElement() && xml.name() == QLatin1String("name"))
                context = xml.readElementText();
            else if (xml.isStartElement() && xml.name() == QLatin1String("source"))
                source = context + "::" + xml.readElementText();
            else if (xml.isStartElement() && xml.name() == QLatin1String("translation"))
                messages[source] =
                    !xml.attributes().hasAttribute("type") &&
                    !xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed().isEmpty();
        }
    }
    return messages;
}

// What lupdate finds in the code and forms today.
QStringList scanSources()
{
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("scan.ts"));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(BRISEL_SOURCE_DIR));
    lupdate.start(QStringLiteral(BRISEL_LUPDATE),
                  {"-silent", "-locations", "none", "app", "lib", "platform", "-ts", ts});
    lupdate.waitForFinished(60000);
    return readTs(dir.path()).keys();
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

    const QStringList scanned = scanSources();

private slots:
    void initTestCase() { QVERIFY2(scanned.size() > 100, "lupdate found (almost) nothing"); }
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

    // Every text in Chinese; English needs only the plural forms ("%n photo(s)").
    // Nothing is kept for texts that left the code.
    void everyTextTranslated_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("Chinese") << "zh";
        QTest::newRow("English plural forms") << "en";
    }
    void everyTextTranslated()
    {
        QFETCH(QString, language);
        QHash<QString, bool> shipped =
            readTs(QStringLiteral(BRISEL_SOURCE_DIR "/resources/i18n/") + language);
        QStringList missing;
        for (const QString& text : scanned)
            if ((language != "en" || text.contains("%n")) && !shipped.take(text))
                missing << text;
        QVERIFY2(missing.isEmpty(),
                 qPrintable("run make translations, then translate:\n" + missing.join('\n')));
        QVERIFY2(shipped.isEmpty(), qPrintable("no longer in the code: " + shipped.keys().join('\n')));
    }

    void sourcesAreEnglish_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Chinese characters or punctuation")
            << "[\\x{2E80}-\\x{9FFF}\\x{3000}-\\x{303F}\\x{FF00}-\\x{FFEF}]";
        for (const char* typo : {"Backaround", "progerss", "Skim tone", "Strenght", "is not exists",
                                 "recieve", "seperat", "occured", "sucess", "Are you sure to"})
            QTest::newRow(typo) << QString::fromLatin1(typo);
    }
    void sourcesAreEnglish()
    {
        QFETCH(QString, pattern);
        const QStringList wrong =
            scanned.filter(QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    }

    // A path of object names ('/' between a widget and one inside it), a property,
    // and its text in English and Chinese.
    void switchesWhileRunning_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        const char* const rows[][4] = {
            {"menuLanguage", "title", "Language", "语言"},
            {"labelMattingText", "text", "Removing the background...", "正在抠图，请稍候..."},
            {"BtnTabChangeBg/buttonText", "text", "Change background", "换背景"},
            {"labelOutputSize", "text", "Output size:", "输出尺寸："},
            {"comboOutputSize", "currentText", "Original size", "原始分辨率"},
            {"editView/BtnRestore/buttonText", "text", "Redo", "恢复"},
            {"btnTabSkim", "text", "Skin tone", "美白"},
            {"pageTabCertificate/labelName", "text", "Small 1-inch 259x377px  |  22x33mm",
             "小一寸 259x377px  |  22x33mm"},
            {"pageTabCertificate/labelExplain", "text", "Driving licence", "驾驶证"},
            {"batch/sizeButton_11/labelName", "text", "ID photo >", "证件照 >"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]) << QString::fromUtf8(row[2])
                                  << QString::fromUtf8(row[3]);
    }
    void switchesWhileRunning()
    {
        QFETCH(QString, path);
        QFETCH(QString, property);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        CWinApp::loadTranslator(); // the stored language
        QMainWidget window;
        window.findChild<QComboBox*>("comboOutputSize")->setCurrentIndex(3);
        auto* batch = new QBatchMattingWidget(&window);
        batch->setObjectName("batch");
        batch->startBatch(0, {}); // a person batch: it has the ID-size button
        QObject* target = &window;
        for (const QString& name : path.split('/'))
            QVERIFY2((target = target->findChild<QObject*>(name)), qPrintable(name));
        for (const QString code : {"en", "zh", "en"}) {
            window.findChild<QAction*>("actionLanguage_" + code)->trigger();
            // The translator posts the change to the application, which posts it to each window.
            for (int i = 0; i < 3; ++i)
                QCoreApplication::sendPostedEvents();
            QCOMPARE(target->property(qPrintable(property)).toString(), code == "en" ? english : chinese);
        }
    }
};

BRISEL_TEST_MAIN(TestResources)
#include "tst_resources.moc"
