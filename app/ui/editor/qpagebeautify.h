#pragma once

#include <QWidget>

namespace Ui {
class QPageBeautify;
}

class QPushButton;
class QFrame;

// The "Beautify" page of the side panel: the "Skin tone" and "Smooth" levels, 0 to
// 30 each, kept in QImageSettings. A run is asked for only when a slider is
// released by the mouse after a change (dragging or keys never start one, so the
// costly filter runs once per gesture); both sliders stay disabled from then until
// onBeautyFinished, so one run at a time comes from this page. GUI thread only.
class QPageBeautify : public QWidget
{
    Q_OBJECT

public:
    explicit QPageBeautify(QWidget* parent = nullptr);
    ~QPageBeautify() override;

signals:
    // A slider was released after a level changed: run beautify now.
    void signal_image_beauty();

public slots:
    void onBtnSkimTone();
    void onBtnSmooth();
    void onChangedSmooth(int value);
    void onChangedTone(int value);
    // Both levels back to 0 and the "Skin tone" tab shown; runs nothing by itself.
    void onPageReset();
    // The run ended: the sliders take input again.
    void onBeautyFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showTab(QPushButton* on, QFrame* shown, QPushButton* off, QFrame* hidden);
    void setSlidersEnabled(bool enabled);

    Ui::QPageBeautify* ui = nullptr;
    // A level changed since the page was made; released sliders only run beautify
    // once something changed.
    bool m_sliderDirty = false;
};
