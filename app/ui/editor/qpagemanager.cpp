#include "qpagemanager.h"

#include "qcropwidget.h"
#include "qidframer.h"
#include "qidphotopanel.h"
#include "qimagecutoutwidget.h"
#include "qpageadvanced.h"
#include "qpagebeautify.h"
#include "qpagechangebg.h"
#include "qpagecrop.h"
#include "qpagecutout.h"

#include <QBoxLayout>

#include <type_traits>

namespace {

template <typename Page> Page* pageAs(const QMap<int, QWidget*>& pages, int key)
{
    return qobject_cast<Page*>(pages.value(key));
}

} // namespace

QPageManager::QPageManager(QObject* parent) : QObject(parent) {}

void QPageManager::setLayout(QBoxLayout* panel)
{
    layout = panel;
    QWidget* parent = panel->parentWidget();
    const auto add = [this, parent](int key, auto* page) {
        page->setObjectName(QStringLiteral("page%1").arg(key));
        page->hide();
        connect(this, &QPageManager::signal_reset, page, &std::remove_pointer_t<decltype(page)>::onPageReset);
        pages.insert(key, page);
    };
    add(ChangeBg, new QPageChangeBg(parent));
    add(CutOut, new QPageCutOut(parent));
    add(Crop, new QPageCrop(parent));
    add(Advanced, new QPageAdvanced(parent));
    add(Beautify, new QPageBeautify(parent));
}

void QPageManager::connectView(QCropWidget* cropView)
{
    view = cropView;
    if (auto* changeBg = pageAs<QPageChangeBg>(pages, ChangeBg)) {
        connect(changeBg, &QPageChangeBg::signal_color, view, &QCropWidget::onChangeBackgroundColor);
        connect(changeBg, &QPageChangeBg::signal_image, view, &QCropWidget::onChangeBackgroundImage);
    }
    if (auto* crop = pageAs<QPageCrop>(pages, Crop)) {
        connect(crop, &QPageCrop::signal_show_crop_frame, view, &QCropWidget::onShowImageCropFrame);
        connect(crop, &QPageCrop::signal_apply_crop_size, view, &QCropWidget::onApplyCorpSize);
        connect(crop, &QPageCrop::signal_apply_crop_size, this, &QPageManager::signal_apply_crop_size);
        QIdPhotoPanel* id = crop->idPanel();
        connect(id, &QIdPhotoPanel::signal_background, view, &QCropWidget::onChangeBackgroundColor);
        connect(id, &QIdPhotoPanel::signal_nudge, view->idFramer(), &QIdFramer::nudge);
        connect(view->idFramer(), &QIdFramer::signal_checks, id, &QIdPhotoPanel::showChecks);
        connect(view, &QCropWidget::signal_id_photo_loaded, crop, &QPageCrop::showIdPhoto);
    }
    if (auto* cutOut = pageAs<QPageCutOut>(pages, CutOut)) {
        connect(cutOut, &QPageCutOut::signal_brush_size, view, &QCropWidget::onChangeBrushSize);
        connect(cutOut, &QPageCutOut::signal_repair_background, view, &QCropWidget::onRepairBackground);
        connect(cutOut, &QPageCutOut::signal_change_brush, view, &QCropWidget::onChangeBrush);
        connect(view, &QCropWidget::signal_brush_size_changed, cutOut, &QPageCutOut::onBrushSizeChanged);
        QImageCutoutWidget* brush = view->brushView();
        connect(cutOut, &QPageCutOut::signal_hardness, brush, &QImageCutoutWidget::setHardness);
        connect(cutOut, &QPageCutOut::signal_refine, brush, &QImageCutoutWidget::refine);
        connect(cutOut, &QPageCutOut::signal_edge, brush, &QImageCutoutWidget::setEdge);
        connect(cutOut, &QPageCutOut::signal_keep_shadow, view, &QCropWidget::onKeepShadow);
        connect(view, &QCropWidget::signal_shadow_shown, cutOut, &QPageCutOut::showKeepShadow);
        connect(brush, &QImageCutoutWidget::signal_edge_shown, cutOut, &QPageCutOut::showEdge);
        cutOut->showShadowSwitch();
        brush->setHardness(cutOut->brushHardness());
    }
    if (auto* beautify = pageAs<QPageBeautify>(pages, Beautify)) {
        connect(beautify, &QPageBeautify::signal_image_beauty, view, &QCropWidget::onImageBeauty);
        connect(view, &QCropWidget::signal_beauty_finished, beautify, &QPageBeautify::onBeautyFinished);
    }
}

void QPageManager::showPage(int key)
{
    if (QWidget* shown = pages.value(currentKey)) {
        layout->removeWidget(shown);
        shown->hide();
    }
    currentKey = pages.contains(key) ? key : kNoPage;
    setViewMode(currentKey);
    if (QWidget* page = pages.value(currentKey)) {
        layout->addWidget(page, 0);
        page->show();
    }
}

void QPageManager::hidePage()
{
    showPage(kNoPage);
}

void QPageManager::setViewMode(int key)
{
    // The brush view takes the composed picture's place only while its page is open.
    if (view)
        view->setActiveView(key == CutOut ? QCropWidget::BrushView : QCropWidget::CropView);
}

void QPageManager::reset()
{
    emit signal_reset();
}
