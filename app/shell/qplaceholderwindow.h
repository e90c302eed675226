#pragma once

#include <QWidget>

// Stands in for the main window until that exists: an empty top-level window with
// the program's title, so start-up, the single-instance check and the event loop
// can be run and tested end to end.
class QPlaceholderWindow : public QWidget
{
    Q_OBJECT
public:
    explicit QPlaceholderWindow(QWidget* parent = nullptr);
};
