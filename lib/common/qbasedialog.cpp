#include "qbasedialog.h"

#include "qcustomshadoweffect.h"
#include "readtextfile.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

QBaseDialog::QBaseDialog(QWidget* parent) : QDialog(parent) {}

void QBaseDialog::init(const QString& styleSheetPath)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    setProperty("dialog", true);
    installEventFilter(this);
    setStyleSheetFile(styleSheetPath);

    auto* shadow = new QCustomShadowEffect(this);
    shadow->setBlurRadius(8.0);
    shadow->setDistance(1.0);
    shadow->setColor(QColor(0, 0, 0, 52));
    setGraphicsEffect(shadow);
    update();
}

void QBaseDialog::setStyleSheetFile(const QString& path)
{
    setStyleSheet(readTextFile(path));
}

void QBaseDialog::onClose()
{
    reject();
}

void QBaseDialog::onOK()
{
    accept();
}

int QBaseDialog::exec()
{
    // Showing the dialog here would make it modeless (modality only takes effect
    // when a window is shown), so ask for the foreground once exec() has shown it.
    QTimer::singleShot(0, this, [this] {
        raise();
        activateWindow();
    });
    return QDialog::exec();
}

bool QBaseDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        pressed = true;
        dragOffset = mouse->globalPos() - pos();
        return true;
    }
    case QEvent::MouseButtonRelease:
        pressed = false;
        return true;
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!pressed || !(mouse->buttons() & Qt::LeftButton))
            break;
        move(mouse->globalPos() - dragOffset);
        return true;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void QBaseDialog::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        onClose();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        onOK();
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
