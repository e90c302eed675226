// The user flows of the program, each driven from the home page as a user does,
// with the saved files decoded and checked.

#include "acceptance.h"
#include "mouseinput.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"

#include <QComboBox>
#include <QSlider>

using namespace acceptance;

class TestAcceptFlows : public Scenarios
{
    Q_OBJECT

    // Opens `photo` from a card and sends results to `out`.
    bool open(const QString& photo, const QString& card = "EnterPerson")
    {
        return openPhoto(window.get(), card, photo) && chooseOutputFolder(window.get(), out);
    }
    // Opens (or closes) a tool page from the column on the left.
    bool tab(const QString& name) { return click(window.get(), name); }
    QImage saved(bool jpg = false, int outputSize = 3)
    {
        return choose(window.get(), "comboOutputSize", outputSize) ? decode(save(window.get(), out, jpg))
                                                                   : QImage();
    }

private slots:
    void init() { window = openWindow(); }

    // A named output size limits the long side and never enlarges; a JPG has white
    // where the background was.
    void cutAndSave_data()
    {
        QTest::addColumn<QString>("card");
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<bool>("jpg");
        QTest::addColumn<int>("outputSize");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("person PNG 1080P") << "EnterPerson" << kSmall << false << 0 << kSmall;
        QTest::newRow("person PNG 2K") << "EnterPerson" << kSmall << false << 1 << kSmall;
        QTest::newRow("person JPG 4K") << "EnterPerson" << kSmall << true << 2 << kSmall;
        QTest::newRow("product PNG original") << "EnterGoods" << kSmall << false << 3 << kSmall;
        QTest::newRow("big product JPG 1080P") << "EnterGoods" << kBig << true << 0 << QSize(1920, 1440);
        QTest::newRow("big product PNG original") << "EnterGoods" << kBig << false << 3 << kBig;
    }
    void cutAndSave()
    {
        QFETCH(QString, card);
        QFETCH(QSize, photo);
        QFETCH(bool, jpg);
        QFETCH(int, outputSize);
        QFETCH(QSize, expected);
        const QString name = QString("%1-%2.jpg").arg(card).arg(photo.width());
        QVERIFY(open(card == "EnterGoods" ? productPhoto(name, photo) : personPhoto(name, photo), card));
        QVERIFY(outputSize == 3 ||
                find<QComboBox>(window.get(), "comboOutputSize")->itemText(outputSize).contains("Up to"));
        const QImage image = saved(jpg, outputSize);
        QCOMPARE(image.size(), expected);
        if (jpg)
            QVERIFY(qGray(image.pixel(1, 1)) > 245);
        else
            QVERIFY(cornersTransparent(image));
        QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
        QCOMPARE(shownFolders().size(), 1);
    }

    void brokenPhotoIsReported()
    {
        answerFileDialog(corruptPhoto("broken.jpg"));
        QVERIFY(click(window.get(), "EnterPerson"));
        QVERIFY(waitFor([] { return messages().size() == 1; }));
        clearMessages();
        QVERIFY(waitFor([this] { return find(window.get(), "EnterPerson") != nullptr; }));
    }

    // A certificate size crops to its pixels whatever the output size (the box is
    // locked at "Exact size") and the file says 300 dpi, so it prints at the right size.
    void idPhoto()
    {
        QVERIFY(open(personPhoto("id.jpg"), "EnterCard")); // opens the ID tab
        QWidget* size = findText(window.get(), "295x413");
        QVERIFY(size);
        QTest::mouseClick(size, Qt::LeftButton, Qt::NoModifier, size->rect().center());
        QVERIFY(click(window.get(), "btnApplyCrop"));
        const QImage image = decode(save(window.get(), out, false));
        QCOMPARE(image.size(), QSize(295, 413));
        QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 300);
    }

    // A colour keeps the photo's size, a template sets its own (an own picture:
    // tst_accept_editor).
    void changeBackground_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("swatch"); // index among the kind's buttons
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("corner"); // 0: a picture, not one colour
        QTest::newRow("colour") << "btnColor" << 3 << kSmall << qRgb(255, 0, 0);
        QTest::newRow("template") << "btnTemplate" << 1 << QSize(1500, 1000) << QRgb(0);
    }
    void changeBackground()
    {
        QFETCH(QString, kind);
        QFETCH(int, swatch);
        QFETCH(QSize, size);
        QFETCH(QRgb, corner);
        QVERIFY(open(personPhoto("background.jpg")));
        QVERIFY(tab("BtnTabChangeBg"));
        QVERIFY(click(window.get(), kind));
        const QString frame = kind == "btnColor" ? "frameColor" : "frameTemplate";
        QWidget* button = find(window.get(), frame)
                              ->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)
                              .value(swatch);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        const QImage image = saved();
        QCOMPARE(image.size(), size);
        QCOMPARE(qAlpha(image.pixel(1, 1)), 255);
        if (corner)
            QCOMPARE(image.pixel(1, 1), corner);
    }

    // A stroke of each brush, its undo and its redo, as the saved file shows
    // them: Remove clears the middle, Keep brings back the background left of the
    // person, the magic brush fills the whole flat background at one click.
    void brush_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QPointF>("at"); // a fraction of the picture
        QTest::addColumn<int>("alphaAfter");
        QTest::newRow("remove") << "btnTabBrush" << false << QPointF(0.5, 0.5) << 0;
        QTest::newRow("keep") << "btnTabBrush" << true << QPointF(0.1, 0.5) << 255;
        QTest::newRow("magic keep") << "btnTabMagic" << true << QPointF(0.1, 0.5) << 255;
    }
    void brush()
    {
        QFETCH(QString, tool);
        QFETCH(bool, keep);
        QFETCH(QPointF, at);
        QFETCH(int, alphaAfter);
        const bool magic = tool == "btnTabMagic";
        QVERIFY(open(personPhoto("brush.jpg")));
        const QImage before = saved();
        const QPoint pixel(before.width() * at.x(), before.height() * at.y());
        QVERIFY(qAlpha(before.pixel(pixel)) != alphaAfter);
        QVERIFY(tab("BtnTabCutout"));
        QVERIFY(click(window.get(), tool));
        QVERIFY(click(window.get(), keep ? "btnKeep" : "btnRemove"));
        auto* view = find<QImageCutoutWidget>(window.get(), "brushView");
        QVERIFY(view);
        const QRect shown = view->imageRect();
        const QPoint p = shown.topLeft() + QPoint(shown.width() * at.x(), shown.height() * at.y());
        const QPoint reach(magic ? 0 : shown.width() / 25, 0);
        mouseinput::drag(view, Qt::LeftButton, {p - reach, p, p + reach});
        mouseinput::drag(view, Qt::RightButton, {p, p + QPoint(20, 20)}); // only pans: nothing to undo
        // Each save first closes the page, which hands the edits over. The corner is
        // out of the stroke's reach, not of the magic brush's.
        const struct
        {
            Qt::KeyboardModifiers undoKeys; // with Z; none for the stroke itself
            int alpha;
        } steps[] = {{Qt::NoModifier, alphaAfter},
                     {Qt::ControlModifier, qAlpha(before.pixel(pixel))},
                     {Qt::ControlModifier | Qt::ShiftModifier, alphaAfter}};
        for (const auto& step : steps) {
            if (step.undoKeys) {
                QVERIFY(tab("BtnTabCutout"));
                key(window.get(), Qt::Key_Z, step.undoKeys);
            }
            QVERIFY(tab("BtnTabCutout"));
            const QImage image = saved();
            QCOMPARE(qAlpha(image.pixel(pixel)), step.alpha);
            QCOMPARE(qAlpha(image.pixel(1, 1)), magic && step.alpha ? 255 : 0);
        }
    }

    void beautify()
    {
        QVERIFY(open(personPhoto("beautify.jpg")));
        const QImage before = saved();
        QVERIFY(tab("BtnTabBeautify"));
        QVERIFY(click(window.get(), "btnTabSmooth"));
        auto* slider = find<QSlider>(window.get(), "hSliderSmooth");
        QVERIFY(slider);
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                          QPoint(slider->width() - 4, slider->height() / 2));
        QVERIFY(slider->value() > 0);
        QVERIFY(waitFor([slider] { return slider->isEnabled(); }));
        const QImage after = saved();
        QCOMPARE(after.size(), before.size());
        QVERIFY(after != before);
    }
};

ACCEPTANCE_MAIN(TestAcceptFlows)
#include "tst_accept_flows.moc"
