#pragma once

#include "qeraserdocument.h"

#include <QString>
#include <QWidget>

#include <opencv2/core.hpp>

#include <functional>

namespace Ui {
class QEraserWidget;
}
class QImageCutoutWidget;
class QLoadingCtrl;
class QSaveNotice;

// The eraser: a window in which the user paints over a watermark, a date stamp or
// a stray object and sees it filled from its surroundings at full resolution.
// Painting, zoom (wheel) and panning (right button) are the brush view's
// (QImageCutoutWidget, Keep strokes over an empty cut-out); each finished stroke is
// filled by the QEraserDocument, which keeps the history (Ctrl+Z, Ctrl+Shift+Z).
//
// Two uses: a photo of its own (openPhoto: Save writes PNG or JPG through
// QSaveFileWriter and says where in a QSaveNotice; another photo can be opened or
// dropped), or an editor's result with its alpha (editImage: Apply hands the
// retouched image back and closes the window).
//
// Threads: GUI thread; reading, filling, preparing the view and saving run on the
// work pool, with the spinner over the view and input refused meanwhile. The
// window deletes itself when closed.
class QEraserWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMinBrushSize = 4;
    static constexpr int kMaxBrushSize = 200;
    static constexpr int kBrushStep = 4;

    // Asks for a photo and opens a window on it; null when the picker was cancelled.
    static QEraserWidget* pickPhoto(QWidget* parent);
    // A window on the photo at `path`, which is read on the pool.
    static QEraserWidget* openFile(QWidget* parent, const QString& path);
    // A file dropped on `target` (a button of the home page) opens a window on it.
    static void openOnDrop(QWidget* target);
    // A window on `image` (CV_8UC3 or CV_8UC4) whose Apply calls `apply` with the
    // result, in the same type, unless nothing was erased.
    static QEraserWidget* editImage(QWidget* parent, const cv::Mat& image,
                                    std::function<void(const cv::Mat&)> apply);

    ~QEraserWidget() override;

    // Reads the photo on the pool and starts over with it; an unreadable file is
    // reported and leaves the window as it was.
    void openPhoto(const QString& path);
    const QEraserDocument& document() const { return m_document; }
    QImageCutoutWidget* view() const { return m_view; }
    bool isBusy() const { return m_busy; }

signals:
    // The file written by Save.
    void signal_saved(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    explicit QEraserWidget(QWidget* parent);
    void setupShortcuts();
    void setBusy(bool busy);
    void showState();
    void stepBrushSize(int delta);
    void onSave();
    void finishSave(const QString& path, const QString& error);

    Ui::QEraserWidget* ui = nullptr;
    QEraserDocument m_document;
    QImageCutoutWidget* m_view = nullptr;
    QLoadingCtrl* m_loading = nullptr;
    QSaveNotice* m_notice = nullptr;
    QString m_photoPath; // the photo's file, empty for an editor's image
    std::function<void(const cv::Mat&)> m_apply;
    bool m_busy = false;
};
