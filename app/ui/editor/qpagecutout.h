#pragma once

#include "qedgecontrols.h"

#include <QWidget>

namespace Ui {
class QPageCutOut;
}

class QPushButton;

// The "Cutout" page of the side panel: brush or magic brush, Remove or Keep, and
// the brush size, edge softness and magic-brush tolerance of the brush view. The
// page only announces choices; the page manager routes them to the editing view.
// The tolerance goes to QImageSettings, where the magic brush reads it per click,
// and the refine-after-stroke choice to QAppSettings, read per stroke.
// GUI thread only.
class QPageCutOut : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kDefaultBrushSize = 12;
    // Hardness in percent (the slider's range); the default is the crisp edge.
    static constexpr int kMaxSliderHardness = 100;
    static constexpr int kDefaultHardness = kMaxSliderHardness;
    static constexpr int kDefaultTolerance = 10;

    explicit QPageCutOut(QWidget* parent = nullptr);
    ~QPageCutOut() override;

    // The hardness slider as the brush view's hardness (QMaskStroke's scale).
    int brushHardness() const;
    QEdgeControls::Options edge() const;
    // The keep-shadow switch, hidden until an editor that honours it asks.
    void showShadowSwitch();
    // Asked before the switch mattes a photo again over the user's brush strokes or
    // erasures, which the new cut-out replaces; true to go on.
    static bool confirmRematte();

signals:
    void signal_brush_size(int size);
    // true: Keep, false: Remove.
    void signal_repair_background(bool keep);
    // true: the magic brush.
    void signal_change_brush(bool magic);
    // The brush view's hardness, see brushHardness().
    void signal_hardness(int hardness);
    // Refine the mask around the strokes made since the last refine.
    void signal_refine();
    // The edge controls changed: `final` once a slider is let go (or moved by
    // key) and on the colour switch, otherwise a slider is being dragged.
    void signal_edge(const QEdgeControls::Options& edge, bool final);
    void signal_keep_shadow(bool keep);

public slots:
    void onBtnTabBrush();
    void onBtnTabMagic();
    void onBtnTabRemove();
    void onBtnTabKeep();
    void onChangedBrushSize(int value);
    void onChangedHardness(int value);
    void onChangedTolerance(int value);
    void onPageReset();
    // The view changed the size itself (keyboard): the slider follows.
    void onBrushSizeChanged(int size);
    // The view moved to a state with other edge options (undo, redo): the controls
    // follow without announcing anything.
    void showEdge(const QEdgeControls::Options& edge);
    // The same for the keep-shadow switch (another batch tile opened).
    void showKeepShadow(bool keep);

private:
    // Marks `on` selected and `off` not, for the style sheet.
    static void choose(QPushButton* on, QPushButton* off);
    void edgeChanged(bool final);

    Ui::QPageCutOut* ui = nullptr;
};
