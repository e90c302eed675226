#include "qoriginwidget.h"

#include "qimagesettings.h"
#include "qimagetask.h"
#include "ui_qoriginwidget.h"

QOriginWidget::QOriginWidget(QWidget* parent) : QWidget(parent), ui(new Ui::QOriginWidget)
{
    ui->setupUi(this);
}

QOriginWidget::~QOriginWidget()
{
    delete ui;
}

bool QOriginWidget::setTask(const std::shared_ptr<QImageTask>& task)
{
    if (!task)
        return false;
    m_path = task->filePath();
    // The cut-out has the upright photo's size, whichever way the file stores it.
    const QSize size = task->sourceSize();
    if (!size.isValid())
        return false;
    QImageSettings::setCustomWidth(size.width());
    QImageSettings::setCustomHeight(size.height());
    return ui->framePicture->isVisible() ? showPhoto() : true;
}

bool QOriginWidget::showPhoto()
{
    if (m_path.isEmpty() || ui->imageDraw->imagePath() == m_path)
        return true;
    return ui->imageDraw->setImagePath(m_path);
}

void QOriginWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    showPhoto();
}
