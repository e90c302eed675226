#pragma once

#include <QWidget>

#include <memory>

class QImageTask;

namespace Ui {
class QOriginWidget;
}

// The panel that shows the original photo of the current task, with an empty bar
// beneath it. Knowing the photo, it also records the photo's size as the custom
// crop size (QImageSettings) that the crop page offers.
class QOriginWidget : public QWidget
{
    Q_OBJECT

public:
    explicit QOriginWidget(QWidget* parent = nullptr);
    ~QOriginWidget() override;

    // Shows the task's photo now if the picture area is visible, otherwise the next
    // time it is shown. False when the photo cannot be read.
    bool setTask(const std::shared_ptr<QImageTask>& task);
    QString photoPath() const { return m_path; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool showPhoto();

    Ui::QOriginWidget* ui;
    QString m_path;
};
