#pragma once
// Right-hand view of the workspace until the editing views take its place: the
// task's cut-out drawn over a checkerboard, and saving it as a PNG at the chosen
// output size. It offers the calls the window makes on its edit view (setTask,
// save) so that the editing host can replace it in the window's set-up alone.

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <opencv2/core.hpp>

class QCutoutPreview : public QWidget
{
    Q_OBJECT

public:
    // Height of the bar under the picture, the same as the original-image panel's,
    // so that both pictures line up side by side.
    static constexpr int BarHeight = 62;

    explicit QCutoutPreview(QWidget* parent = nullptr);

    // Shows the cut-out of a finished task of the registry; an unknown identifier
    // empties the view.
    void setTask(const QString& taskId);
    QString taskId() const { return currentTaskId; }
    bool hasImage() const { return !preview.isNull(); }

    // Writes the cut-out as "<folder>/<photo base name>_<unix seconds>.png" on the
    // work pool; answers with signal_saved or signal_save_failed on the GUI thread.
    // outputSize: 0 = 1080P, 1 = 2K, 2 = 4K, 3 = original resolution.
    void save(const QString& folder, int outputSize);

    // The output file name; `stamp` is moved on by whole seconds until the name is
    // free, so an earlier file is never overwritten.
    static QString outputFilePath(const QString& folder, const QString& photoPath, qint64 stamp,
                                  const QString& ext);
    // The cut-out scaled for an output size index (aspect kept; colours are scaled
    // premultiplied so that transparent pixels do not bleed into the edge).
    static cv::Mat scaledForOutput(const cv::Mat& bgra, int outputSize);
    // Writes `bgra` as PNG to the first free name; returns the path or throws
    // UException with a message for the user.
    static QString writeCutout(const cv::Mat& bgra, const QString& folder, const QString& photoPath,
                               qint64 stamp, int outputSize);

signals:
    void signal_saved(const QString& filePath);
    void signal_save_failed(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect pictureArea() const;

    QString currentTaskId;
    QImage preview;        // the cut-out at display resolution
    QPixmap scaledPreview; // `preview` fitted into the picture area
};
