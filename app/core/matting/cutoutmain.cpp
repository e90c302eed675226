// brisel-cutout: cuts the subject out of photos from the command line, through the
// same matting service, tasks, pool and cache as the desktop program.

#include "cglobal.h"
#include "cmemory.h"
#include "csetting.h"
#include "qcutoutbatch.h"
#include "qhttpclient.h"
#include "qimagetask.h"
#include "qservicelauncher.h"
#include "qtaskmanager.h"
#include "qworkpool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>

namespace {

enum ExitCode
{
    Success = 0,
    SomeFailed = 1,
    BadUsage = 2,
    NoService = 3,
    WouldReplace = 4
};

// Translation context of the tool's own texts.
class CutoutTool
{
    Q_DECLARE_TR_FUNCTIONS(CutoutTool)
};

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool parseType(const QString& name, int* type)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("person"))
        *type = Person;
    else if (lower == QLatin1String("goods"))
        *type = Goods;
    else if (lower == QLatin1String("card"))
        *type = Card;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CMemory::keepFreedMemory();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brisel-cutout"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRISEL_VERSION));
    // Messages follow the program's language only once the user has chosen one, so
    // scripts otherwise see stable English text.
    const QString language = CSetting::getString(QStringLiteral("language"), QStringLiteral("type"));
    QTranslator translator;
    if (!language.isEmpty() && language != QLatin1String("en") &&
        translator.load(CGlobal::getDataPath() + QStringLiteral("language/brisel_%1.qm").arg(language)))
        app.installTranslator(&translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(CutoutTool::tr(
        "Cuts the subject out of photos and writes each cut-out as a PNG with a transparent background."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        CutoutTool::tr(
            "Output PNG file (one photo) or folder. Default: <photo name>-cutout.png beside each photo."),
        CutoutTool::tr("FILE|FOLDER"));
    const QCommandLineOption typeOption(QStringLiteral("type"),
                                        CutoutTool::tr("What the photos show: person, goods or card."),
                                        CutoutTool::tr("TYPE"), QStringLiteral("person"));
    const QCommandLineOption overwriteOption(QStringLiteral("overwrite"),
                                             CutoutTool::tr("Replace output files that already exist."));
    const QCommandLineOption fastOption(
        QStringLiteral("fast"),
        CutoutTool::tr(
            "Use the service's fast engine: quicker on large batches, slightly less exact edges."));
    parser.addOption(outputOption);
    parser.addOption(typeOption);
    parser.addOption(overwriteOption);
    parser.addOption(fastOption);
    parser.addPositionalArgument(QStringLiteral("PHOTO"), CutoutTool::tr("Photos to cut out."),
                                 QStringLiteral("PHOTO..."));
    parser.process(app);

    int type = Person;
    if (!parseType(parser.value(typeOption), &type)) {
        err() << CutoutTool::tr("Unknown photo type \"%1\": use person, goods or card.")
                     .arg(parser.value(typeOption))
              << '\n';
        return BadUsage;
    }
    QList<QCutoutBatch::Item> items;
    QString error;
    if (!QCutoutBatch::plan(parser.positionalArguments(), parser.value(outputOption), &items, &error)) {
        err() << error << '\n'
              << CutoutTool::tr("See %1 --help.").arg(QCoreApplication::applicationName()) << '\n';
        return BadUsage;
    }
    // A file the user made is not ours to replace; our own earlier cut-out is.
    const QString taken = QCutoutBatch::foreignOutput(items);
    if (!taken.isEmpty() && !parser.isSet(overwriteOption)) {
        err() << CutoutTool::tr("%1 already exists; add --overwrite to replace it.")
                     .arg(QDir::toNativeSeparators(taken))
              << '\n';
        return WouldReplace;
    }

    CGlobal::init();
    QHttpClient::Instance()->start(3);
    int code = Success;
    {
        QServiceLauncher launcher;
        QObject::connect(&launcher, &QServiceLauncher::signal_starting, [] {
            err() << CutoutTool::tr("Starting the local matting service ...") << Qt::endl;
        });
        if (!launcher.ensureRunning()) {
            err() << launcher.errorString() << '\n';
            code = NoService;
        } else {
            QWorkPool::instance()->start(3);
            QCutoutBatch batch(type, items);
            batch.setFast(parser.isSet(fastOption));
            QObject::connect(
                &batch, &QCutoutBatch::signal_progress,
                [](int done, int total, const QString& photo, const QString& output, const QString& failure) {
                    const QString counter = QStringLiteral("[%1/%2] ").arg(done).arg(total);
                    if (failure.isEmpty())
                        out() << counter << QDir::toNativeSeparators(photo) << " -> "
                              << QDir::toNativeSeparators(output) << Qt::endl;
                    else
                        err() << counter << QDir::toNativeSeparators(photo) << ": " << failure << Qt::endl;
                });
            QObject::connect(&batch, &QCutoutBatch::signal_finished, &app, [](int failures) {
                if (failures > 0)
                    err() << CutoutTool::tr("%1 photo(s) could not be cut out.").arg(failures) << Qt::endl;
                QCoreApplication::exit(failures > 0 ? SomeFailed : Success);
            });
            batch.start();
            code = app.exec();
            QWorkPool::instance()->stop();
            QTaskManager::clear();
        }
    }
    QHttpClient::Instance()->close();
    CGlobal::release();
    return code;
}
