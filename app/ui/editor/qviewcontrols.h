#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QImageCutoutWidget;
class QLabel;
class QMattingButton;
class QPushButton;
class QSlider;

// The zoom bar (minus and plus buttons, slider, percentage, Fit) and the Undo/Restore
// buttons that an editing host shows under its picture. The host's form owns the
// widgets; this object only drives them, on behalf of the view the host shows now:
// - the zoom target, any view with zoomIn(), zoomOut(), setFactor(float), factor(),
//   fitToView() and signal_factor_changed(float); factors are QViewport's, 1.0 is
//   100 %, one photo pixel per screen pixel;
// - the brush view whose history the two buttons follow; without one both stay
//   disabled and do nothing.
// A target deleted meanwhile counts as none. GUI thread only.
class QViewControls : public QObject
{
    Q_OBJECT

public:
    struct Widgets
    {
        QPushButton* zoomIn = nullptr;  // shows the minus magnifier
        QPushButton* zoomOut = nullptr; // shows the plus magnifier
        QSlider* slider = nullptr;      // percent; its range bounds the slider
        QLabel* factor = nullptr;
        QMattingButton* undo = nullptr;
        QMattingButton* restore = nullptr;
        QPushButton* fit = nullptr; // optional
    };

    // textColor: the history buttons' text colour in the normal state.
    QViewControls(const Widgets& widgets, const QString& textColor, QObject* parent);

    template <class View> void setZoomTarget(View* view);
    void setHistoryTarget(QImageCutoutWidget* view);
    QImageCutoutWidget* historyTarget() const { return m_history; }
    // Puts a factor on the bar without zooming.
    void showFactor(float factor);

public slots:
    // The minus picture sits on "zoom in" and the plus picture on "zoom out": each
    // button does what its picture shows.
    void onBtnZoomIn();
    void onBtnZoomOut();
    void onBtnFit();
    void onSliderValueChanged(int value);
    void onFactorChanged(float factor);
    void onBtnUndo();
    void onBtnRestore();
    void onHistoryChanged();

private:
    struct Zoom
    {
        QPointer<QWidget> view;
        std::function<float()> in;
        std::function<float()> out;
        std::function<void(float)> set;
        std::function<float()> fit;
    };
    void setZoom(Zoom zoom, float factor, QMetaObject::Connection factorConnection);
    bool historyReady() const;

    Widgets m_widgets;
    Zoom m_zoom;
    QMetaObject::Connection m_factorConnection;
    QPointer<QImageCutoutWidget> m_history;
    QMetaObject::Connection m_historyConnection;
    QMetaObject::Connection m_readyConnection;
};

template <class View> void QViewControls::setZoomTarget(View* view)
{
    if (!view) {
        setZoom(Zoom(), -1.0f, QMetaObject::Connection());
        return;
    }
    Zoom zoom;
    zoom.view = view;
    zoom.in = [view] { return view->zoomIn(); };
    zoom.out = [view] { return view->zoomOut(); };
    zoom.set = [view](float factor) { view->setFactor(factor); };
    zoom.fit = [view] {
        view->fitToView();
        return view->factor();
    };
    setZoom(std::move(zoom), view->factor(),
            connect(view, &View::signal_factor_changed, this, &QViewControls::onFactorChanged));
}
