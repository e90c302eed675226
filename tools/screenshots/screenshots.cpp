// Renders the main window's home, progress and workspace pages and the batch
// pages (add dialog, workspace with a failed tile, single-tile editor) to PNG
// files for the documentation, offscreen, with the real matting service (flat-background
// engine) in a private home folder:
//     brisel-screenshots <output folder> <en|zh>

#include "csetting.h"
#include "mattingfixtures.h"
#include "qbatchcutwidget.h"
#include "qbatchmattingdialog.h"
#include "qbatchmattingwidget.h"
#include "qfilechooser.h"
#include "qimagecutoutwidget.h"
#include "qloadingctrl.h"
#include "qmainwidget.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qtabbutton.h"
#include "testutils.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <functional>

namespace {

// A studio product shot: a glazed vase and a small bowl on a flat backdrop, the
// kind of photo the flat-background engine cuts cleanly. Variants turn the
// glaze's hue and are named vase<variant>.jpg.
QString makeSamplePhoto(const QString& folder, int variant = 0)
{
    QImage photo(1200, 900, QImage::Format_RGB32);
    photo.fill(QColor(0xE9, 0xEE, 0xF4));
    QPainter p(&photo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    QPainterPath vase;
    vase.moveTo(520, 190);
    vase.cubicTo(520, 260, 430, 330, 430, 500);
    vase.cubicTo(430, 640, 480, 720, 600, 720);
    vase.cubicTo(720, 720, 770, 640, 770, 500);
    vase.cubicTo(770, 330, 680, 260, 680, 190);
    vase.closeSubpath();
    QLinearGradient glaze(430, 0, 770, 0);
    glaze.setColorAt(0.0, QColor(0x1F, 0x5F, 0x73));
    glaze.setColorAt(0.35, QColor(0x3F, 0xA7, 0xB8));
    glaze.setColorAt(0.55, QColor(0x8E, 0xD6, 0xDB));
    glaze.setColorAt(1.0, QColor(0x17, 0x4A, 0x5C));
    if (variant > 0) {
        QGradientStops stops = glaze.stops();
        for (QGradientStop& stop : stops)
            stop.second.setHsv((stop.second.hsvHue() + 55 * variant) % 360, stop.second.hsvSaturation(),
                               stop.second.value());
        glaze.setStops(stops);
    }
    p.setBrush(glaze);
    p.drawPath(vase);
    p.setBrush(QColor(0x14, 0x3F, 0x4E));
    p.drawEllipse(QRectF(515, 178, 170, 30));

    QRadialGradient bowl(QPointF(860, 640), 150, QPointF(820, 600));
    bowl.setColorAt(0.0, QColor(0xF6, 0xC3, 0x6B));
    bowl.setColorAt(1.0, QColor(0xC2, 0x6A, 0x2B));
    p.setBrush(bowl);
    p.drawChord(QRectF(760, 560, 210, 170), 180 * 16, 180 * 16);
    p.setBrush(QColor(0x9A, 0x4E, 0x1C));
    p.drawEllipse(QRectF(760, 628, 210, 24));
    p.end();

    const QString path = folder + (variant > 0 ? QString("/vase%1.jpg").arg(variant) : QString("/vase.jpg"));
    QDir().mkpath(folder);
    return photo.save(path, "JPG", 95) ? path : QString();
}

bool savePage(QWidget* window, const QString& path)
{
    QApplication::processEvents();
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// Waits up to a minute for `done`; false when it never came.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 60000)
        QTest::qWait(50);
    return done();
}

// The batch pages of a product batch of `photos`: the add dialog holding them,
// the workspace once every tile is finished or failed, and the editor of the
// first tile.
int saveBatchPages(QMainWidget& window, const QStringList& photos, const QString& out, const QString& lang)
{
    int failures = 0;
    QFileChooser::setOpenManyHook(
        [photos](const QString&, const QString&, const QString&) { return photos; });
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* dialog = qobject_cast<QBatchMattingDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        dialog->onBtnAddImage();
        QTest::qWait(300);
        failures += !savePage(dialog, QString("%1/batch-add-%2.png").arg(out, lang));
        QTest::mouseClick(dialog->findChild<QPushButton*>("btnCutout"), Qt::LeftButton);
    });
    poll->start(20);
    QTest::mouseClick(window.findChild<QWidget*>("BatchGoods"), Qt::LeftButton);
    QFileChooser::setOpenManyHook(nullptr);

    auto* batch = window.findChild<QBatchMattingWidget*>();
    const bool settled = batch && waitFor([batch] {
                             for (QPreviewItem* item : batch->items())
                                 if (!item->isReady() && !item->isFailed())
                                     return false;
                             return !batch->items().isEmpty();
                         });
    if (!settled) {
        std::fprintf(stderr, "the batch did not finish\n");
        return failures + 1;
    }
    QTest::qWait(300);
    failures += !savePage(&window, QString("%1/batch-workspace-%2.png").arg(out, lang));

    QPreviewItem* first = batch->items().first();
    QTest::mouseClick(first->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
    if (!waitFor([batch] { return batch->editor()->view() && batch->editor()->view()->isReady(); })) {
        std::fprintf(stderr, "the batch editor did not open\n");
        return failures + 1;
    }
    QTest::qWait(300);
    failures += !savePage(&window, QString("%1/batch-editor-%2.png").arg(out, lang));
    return failures;
}

} // namespace

int main(int argc, char** argv)
{
    testutils::initSandbox();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: brisel-screenshots <output folder> <en|zh>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString lang = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);

    // English has a file too: the plural forms of the source texts live there.
    QTranslator translator;
    if (!translator.load(testutils::binPath("language/brisel_" + lang + ".qm"))) {
        std::fprintf(stderr, "no translation for %s\n", qPrintable(lang));
        return 1;
    }
    app.installTranslator(&translator);

    mattingtest::RealService service;
    QString error;
    if (!service.start(false, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    CSetting::setValue("service", "url", service.url());
    // Shown in the output field only; nothing is saved while taking pictures.
    CSetting::setValue("output", "path", "/home/alex/Pictures/Brisel");
    // The longest output size, so a box too narrow for it shows.
    CSetting::setValue("output", "size", 3);
    QString message;
    QMsgBox::setTestHook([&message](QMsgBox::Kind, const QString& text) {
        message = text;
        return 1;
    });
    const QString photo = makeSamplePhoto(QDir::homePath() + "/Pictures");
    QFileChooser::setOpenHook([photo](const QString&, const QString&, const QString&) { return photo; });

    int failures = 0;
    {
        QMainWidget window;
        window.resize(1208, 808);
        window.show();
        QTest::qWait(200);
        failures += !savePage(&window, QString("%1/home-%2.png").arg(out, lang));

        // The progress page as it looks while the service works.
        auto* home = window.findChild<QStackedWidget*>("stackedWidgetHome");
        auto* spinner = window.findChild<QLoadingCtrl*>("loading");
        home->setCurrentIndex(QMainWidget::HomeProgress);
        for (int i = 0; i < 4; ++i)
            spinner->refresh();
        failures += !savePage(&window, QString("%1/progress-%2.png").arg(out, lang));
        home->setCurrentIndex(QMainWidget::HomeEntry);

        window.onBtnMattingGoods();
        auto* pages = window.findChild<QStackedWidget*>("stackedWidget");
        QElapsedTimer timer;
        timer.start();
        while (pages->currentIndex() != QMainWidget::PageImage && message.isEmpty() &&
               timer.elapsed() < 60000)
            QTest::qWait(50);
        if (pages->currentIndex() != QMainWidget::PageImage) {
            std::fprintf(stderr, "the workspace did not open: %s\n", qPrintable(message));
            return 1;
        }
        QTest::qWait(300);
        failures += !savePage(&window, QString("%1/workspace-%2.png").arg(out, lang));

        // Each side-panel page, opened by its tab and closed again.
        const std::pair<const char*, const char*> tabs[] = {{"BtnTabChangeBg", "background"},
                                                            {"BtnTabCutout", "cutout"},
                                                            {"BtnTabCrop", "crop"},
                                                            {"BtnTabBeautify", "beautify"}};
        for (const auto& [tabName, file] : tabs) {
            auto* tab = window.findChild<QTabButton*>(QLatin1String(tabName));
            QTest::mouseClick(tab, Qt::LeftButton);
            QTest::qWait(300);
            failures += !savePage(&window, QString("%1/panel-%2-%3.png").arg(out, QLatin1String(file), lang));
            // The ID-photo sizes carry the longest labels of the crop page.
            if (qstrcmp(file, "crop") == 0) {
                QTest::mouseClick(window.findChild<QPushButton*>("btnTabCertificate"), Qt::LeftButton);
                QTest::qWait(100);
                failures += !savePage(&window, QString("%1/panel-crop-id-%2.png").arg(out, lang));
            }
            QTest::mouseClick(tab, Qt::LeftButton);
        }
    }
    {
        // Four photos and one damaged file, which the workspace marks as failed.
        QStringList photos;
        for (int variant = 1; variant <= 4; ++variant)
            photos << makeSamplePhoto(QDir::homePath() + "/Pictures/batch", variant);
        const QString broken = QDir::homePath() + "/Pictures/batch/broken.jpg";
        testutils::writeFile(broken, QByteArray("\xFF\xD8 not a picture"));
        photos.insert(2, broken);
        QMainWidget window;
        window.resize(1208, 808);
        window.show();
        QTest::qWait(200);
        failures += saveBatchPages(window, photos, out, lang);
    }
    QMsgBox::setTestHook(nullptr);
    QFileChooser::setOpenHook(nullptr);
    return failures ? 1 : 0;
}
