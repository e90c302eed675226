// Batch mode as a user meets it: photos added in the add dialog, tiles matted by the
// service, a failed tile, the output folder, the hand editor's brushes and keys, Save
// all, and the workspace at other window sizes and in both languages.

#include "acceptance.h"
#include "cwinapp.h"
#include "qbatchmattingwidget.h"
#include "qimagecutoutwidget.h"
#include "qmainwidget.h"
#include "qmaskstroke.h"
#include "qpreviewitem.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSlider>

#include <algorithm>

using namespace acceptance;

class TestAcceptBatch : public Scenarios
{
    Q_OBJECT

    // A product batch of `photos` through the add dialog; the workspace once every
    // tile has its result or its failure.
    QBatchMattingWidget* startBatch(const QStringList& photos)
    {
        pressInDialog("pageAddImage");
        answerFileDialog(photos);
        pressInDialog("btnCutout");
        if (!click(window.get(), "BatchGoods") || !answersUsed())
            return nullptr;
        auto* batch = window->findChild<QBatchMattingWidget*>();
        const auto settled = [batch] {
            const QList<QPreviewItem*>& tiles = batch->items();
            return !tiles.isEmpty() && std::all_of(tiles.begin(), tiles.end(), [](QPreviewItem* t) {
                return t->isReady() || t->isFailed();
            });
        };
        return batch && waitFor(settled, 60000) ? batch : nullptr;
    }
    // The pointer comes onto the tile; true when exactly `offered` of its actions show.
    static bool hoverOffers(QPreviewItem* tile, const QStringList& offered)
    {
        QTest::mouseMove(tile->window(), QPoint(1, 1));
        QTest::mouseMove(tile, tile->rect().center());
        for (const char* name : {"btnDownload", "btnEdit", "btnRetry", "btnDelete"}) {
            auto* action = tile->findChild<QWidget*>(name);
            if (action->isVisible() != offered.contains(name)) {
                qWarning("%s is %s", name, action->isVisible() ? "offered" : "missing");
                return false;
            }
        }
        return true;
    }

private slots:
    // A failed tile says why and offers Retry and Remove only; the output folder is
    // chosen with its button alone and the home page shows it afterwards. The magic
    // brush with Keep takes the whole backdrop back into the saved file; the keys
    // undo, redo and size the brush; the hardness slider softens it.
    void failedTileEditAndOutputFolder()
    {
        window = openWindow();
        QBatchMattingWidget* batch = startBatch({productPhoto("fine.jpg"), corruptPhoto("broken.jpg")});
        QVERIFY(batch);
        QPreviewItem *tile = batch->items().at(0), *failed = batch->items().at(1);
        QVERIFY(failed->isFailed());
        auto* reason = find<QLabel>(failed, "labelError");
        QVERIFY(reason && reason->text().size() > 1);
        QVERIFY(failed->toolTip().startsWith(reason->text().chopped(1)));
        QVERIFY(hoverOffers(failed, {"btnRetry", "btnDelete"}));
        QVERIFY(hoverOffers(tile, {"btnDownload", "btnEdit", "btnDelete"}));
        QVERIFY(click(failed, "btnRetry"));
        QVERIFY(waitFor([failed] { return failed->isFailed(); }, 60000));
        QVERIFY(hoverOffers(failed, {"btnRetry", "btnDelete"}));
        QVERIFY(click(failed, "btnDelete"));
        QVERIFY(waitFor([batch] { return batch->items().size() == 1; }));

        auto* field = find<QLineEdit>(batch, "editOutputPath");
        QTest::keyClicks(field, "typed");
        QVERIFY(!field->text().contains("typed"));
        QVERIFY(chooseOutputFolder(window.get(), out));
        QCOMPARE(field->text(), QDir::toNativeSeparators(out));

        QVERIFY(hoverOffers(tile, {"btnDownload", "btnEdit", "btnDelete"}) && click(tile, "btnEdit"));
        QVERIFY(waitFor([this] { return countShown(window.get(), "brushView") == 1; }));
        auto* slider = find<QSlider>(window.get(), "hSliderBrushSize");
        const int size = slider->value();
        key(window.get(), Qt::Key_BracketRight);
        QCOMPARE(slider->value(), size + 2);
        key(window.get(), Qt::Key_BracketLeft);
        QCOMPARE(slider->value(), size);
        QVERIFY(click(window.get(), "btnTabMagic") && click(window.get(), "btnKeep"));
        auto* view = find<QImageCutoutWidget>(window.get(), "brushView");
        QVERIFY(waitFor([view] { return view->isReady(); }));
        const QRect photo = view->imageRect();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(photo.center().x(), photo.top() + 4));
        QWidget* undo = find(window.get(), "BtnUndo");
        QWidget* redo = find(window.get(), "BtnRestore");
        QVERIFY(undo->isEnabled() && !redo->isEnabled());
        QVERIFY(undo->toolTip().contains("Ctrl+Z") && redo->toolTip().contains("Ctrl+Shift+Z"));
        key(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(!undo->isEnabled() && redo->isEnabled());
        key(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(undo->isEnabled() && !redo->isEnabled());
        // Whichever way the slider runs, a dot's soft rim follows the hardness its label names.
        QVERIFY(click(window.get(), "btnTabBrush"));
        const int half = QMaskStroke::keepColor().alpha() / 2;
        const QString fault =
            hardnessFault(window.get(), view, photo.center(), QPoint(40, 0), half - 15, half + 15);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY(click(window.get(), "btnComplete"));
        QVERIFY(waitFor([tile] { return !tile->isBusy(); }));

        const QStringList before = listFiles(out);
        pressInDialog("btnApply", {"btnFormatPNG"});
        QVERIFY(hoverOffers(tile, {"btnDownload", "btnEdit", "btnDelete"}) && click(tile, "btnDownload"));
        QVERIFY(answersUsed());
        const QImage saved = decode(waitNewFile(out, "*.png", before));
        // Kept by the magic brush, far from where it was clicked.
        QCOMPARE(qAlpha(saved.pixel(saved.width() - 1, saved.height() - 1)), 255);
        // Save all writes a new file beside it and says where.
        const QStringList beforeAll = listFiles(out);
        pressInDialog("btnApply", {"btnFormatPNG"});
        QVERIFY(click(batch, "btnSaveAll") && answersUsed());
        QVERIFY(!waitNewFile(out, "*.png", beforeAll).isEmpty());
        QVERIFY(waitFor([batch] { return countShown(batch, "saveNotice") == 1; }));
        QVERIFY(textOf(find(batch, "labelSaveNotice")).contains(QDir::toNativeSeparators(out)));
        QVERIFY(click(batch, "btnBackHome"));
        QVERIFY(openPhoto(window.get(), "EnterGoods", productPhoto("after.jpg")));
        QCOMPARE(find<QLineEdit>(window.get(), "lineEditOutput")->text(), QDir::toNativeSeparators(out));
    }

    // However wide the window, a row holds as many tiles as fit, and the output
    // size box shows its longest entry.
    void workspaceFitsTheWindow_data() { inBothLanguages(); }
    void workspaceFitsTheWindow()
    {
        QFETCH(QString, language);
        window = openWindow(language);
        QStringList photos;
        for (int i = 0; i < 9; ++i)
            photos << productPhoto(QString("tile%1.jpg").arg(i));
        QBatchMattingWidget* batch = startBatch(photos);
        QVERIFY(batch);
        QWidget* area = find<QScrollArea>(batch, "scrollArea")->viewport();
        for (const QSize& size : {window->size(), QSize(1900, 1000), window->size()}) {
            window->resize(size);
            QVERIFY(waitFor(
                [&] {
                    const QList<QPreviewItem*>& tiles = batch->items();
                    const int perRow = std::count_if(tiles.begin(), tiles.end(), [&](QPreviewItem* t) {
                        return t->y() == tiles.first()->y();
                    });
                    const int free =
                        area->width() - tiles.at(perRow - 1)->mapTo(area, QPoint(QPreviewItem::kSide, 0)).x();
                    return free >= 0 && (free < QPreviewItem::kSide + 20 || perRow == tiles.size());
                },
                5000));
        }
        auto* sizes = find<QComboBox>(batch, "comboOutputSize");
        for (int i = 0; i < sizes->count(); ++i)
            QVERIFY2(sizes->width() > sizes->fontMetrics().horizontalAdvance(sizes->itemText(i)) + 20,
                     qPrintable(sizes->itemText(i)));
    }
};

ACCEPTANCE_MAIN(TestAcceptBatch)
#include "tst_accept_batch.moc"
