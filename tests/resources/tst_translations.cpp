// The translations against the program's texts: every text of the code and forms
// has its Chinese, English sources are plain English, and the interface changes
// language while it runs, in both directions.

#include "cwinapp.h"
#include "qbatchmattingwidget.h"
#include "qmainwidget.h"
#include "testutils.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

struct Message
{
    QString context;
    QString source;
    bool finished = false;
};

// Every message of a .ts file; finished means translated (lupdate marks a message
// whose source changed, or that left the code, with a type).
QList<Message> readTs(const QString& path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            messages.append({context, xml.readElementText()});
        } else if (xml.name() == QLatin1String("translation")) {
            const bool typed = xml.attributes().hasAttribute(QLatin1String("type"));
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            messages.last().finished = !typed && !text.trimmed().isEmpty();
        }
    }
    return messages;
}

QStringList tsFiles(const QString& language)
{
    QStringList files;
    QDirIterator it(QStringLiteral(BRISEL_SOURCE_DIR "/resources/i18n/") + language, {"*.ts"}, QDir::Files);
    while (it.hasNext())
        files << it.next();
    return files;
}

// What lupdate finds in the code and forms today.
QList<Message> scanSources()
{
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("scan.ts"));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(BRISEL_SOURCE_DIR));
    lupdate.start(QStringLiteral(BRISEL_LUPDATE),
                  {"-silent", "-locations", "none", "app", "lib", "platform", "-ts", ts});
    if (!lupdate.waitForFinished(60000) || lupdate.exitCode() != 0)
        return {};
    return readTs(ts);
}

QString key(const Message& m)
{
    return m.context + QLatin1String("::") + m.source;
}

void switchLanguage(QWidget* window, const char* code)
{
    window->findChild<QAction*>(QStringLiteral("actionLanguage_") + code)->trigger();
    // The translator posts the change to the application, which posts it to each window.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents();
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

    QList<Message> scanned = scanSources();

private slots:
    void everyTextTranslated_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("pluralsOnly");
        QTest::newRow("Chinese") << "zh" << false;
        QTest::newRow("English plural forms") << "en" << true;
    }
    void everyTextTranslated()
    {
        QFETCH(QString, language);
        QFETCH(bool, pluralsOnly);
        QVERIFY2(scanned.size() > 100, "lupdate found (almost) nothing: is the scan broken?");
        QHash<QString, bool> shipped;
        for (const QString& file : tsFiles(language)) {
            for (const Message& m : readTs(file)) {
                QVERIFY2(!shipped.contains(key(m)), qPrintable(file + ": twice: " + key(m)));
                shipped.insert(key(m), m.finished);
            }
        }
        QStringList missing;
        for (const Message& m : scanned) {
            if ((!pluralsOnly || m.source.contains(QLatin1String("%n"))) && !shipped.take(key(m)))
                missing << key(m);
        }
        QVERIFY2(missing.isEmpty(), qPrintable("not translated (run make translations, then translate):\n" +
                                               missing.join('\n')));
        QVERIFY2(shipped.isEmpty(), qPrintable("no longer in the code: " + shipped.keys().join('\n')));
    }

    void sourcesAreEnglish_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Chinese characters or punctuation")
            << QStringLiteral("[\\x{2E80}-\\x{9FFF}\\x{3000}-\\x{303F}\\x{FF00}-\\x{FFEF}]");
        for (const char* typo : {"Backaround", "progerss", "Skim tone", "Strenght", "is not exists",
                                 "recieve", "seperat", "occured", "sucess", "Are you sure to"})
            QTest::newRow(typo) << QRegularExpression::escape(QLatin1String(typo));
    }
    void sourcesAreEnglish()
    {
        QFETCH(QString, pattern);
        const QRegularExpression wrong(pattern, QRegularExpression::CaseInsensitiveOption);
        QVERIFY(scanned.size() > 100);
        for (const Message& m : scanned)
            QVERIFY2(!wrong.match(m.source).hasMatch(), qPrintable(key(m)));
    }

    // Object path (names, '/' between a widget and one inside it), property, and the
    // text in English and Chinese.
    void switchesWhileRunning_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        const struct
        {
            const char *path, *property, *english, *chinese;
        } rows[] = {
            {"menuLanguage", "title", "Language", "语言"},
            {"EnterGoods/labelButtonName", "text", "Remove Product Background", "商品抠图"},
            {"labelToolbox", "text", "Toolbox", "工具箱"},
            {"labelBottomText", "text", "JPG, PNG and BMP photos. Drop a photo on a card to start.",
             "支持 JPG、PNG、BMP 照片，也可以把照片拖到卡片上直接开始。"},
            {"labelMattingText", "text", "Removing the background...", "正在抠图，请稍候..."},
            {"BtnTabChangeBg/buttonText", "text", "Change background", "换背景"},
            {"labelOutputSize", "text", "Output size:", "输出尺寸："},
            {"comboOutputSize", "currentText", "Original size", "原始分辨率"},
            {"editView/BtnRestore/buttonText", "text", "Redo", "恢复"},
            {"btnTabSkim", "text", "Skin tone", "美白"},
            {"pageTabCertificate/labelName", "text", "Small 1-inch 259x377px  |  22x33mm",
             "小一寸 259x377px  |  22x33mm"},
            {"pageTabCertificate/labelExplain", "text", "Driving licence", "驾驶证"},
            {"batch/btnSaveAll", "text", "Save all", "全部保存"},
            {"batch/sizeButton_11/labelName", "text", "ID photo >", "证件照 >"},
        };
        for (const auto& row : rows)
            QTest::newRow(row.path) << QString::fromLatin1(row.path) << QByteArray(row.property)
                                    << QString::fromUtf8(row.english) << QString::fromUtf8(row.chinese);
    }
    void switchesWhileRunning()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, property);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        CWinApp::loadTranslator(); // the stored language: Chinese unless chosen otherwise
        QMainWidget window;
        window.findChild<QComboBox*>(QStringLiteral("comboOutputSize"))->setCurrentIndex(3);
        auto* batch = new QBatchMattingWidget(&window);
        batch->setObjectName(QStringLiteral("batch"));
        batch->startBatch(0, {});
        QObject* target = &window;
        for (const QString& name : path.split('/')) {
            target = target->findChild<QObject*>(name);
            QVERIFY2(target, qPrintable(name));
        }
        const QPair<const char*, QString> steps[] = {{"en", english}, {"zh", chinese}, {"en", english}};
        for (const auto& step : steps) {
            switchLanguage(&window, step.first);
            QCOMPARE(target->property(property.constData()).toString(), step.second);
        }
    }
};

BRISEL_TEST_MAIN(TestTranslations)
#include "tst_translations.moc"
