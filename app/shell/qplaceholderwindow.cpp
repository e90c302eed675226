#include "qplaceholderwindow.h"

#include "cglobal.h"

QPlaceholderWindow::QPlaceholderWindow(QWidget* parent) : QWidget(parent)
{
    // The title was translated once at start-up and handed to the platform.
    setWindowTitle(CGlobal::appTitle());
    resize(960, 640);
}
