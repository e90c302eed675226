#pragma once

#include "qresultexport.h"

#include <QLabel>
#include <QPoint>

class QCropWidget;
class QMimeData;

// A small grip beside the zoom bar from which the result is dragged into another
// program: the drop gets a PNG file (QResultExport::folder()) and the PNG bytes.
// A grip of its own rather than a drag on the picture, where a press already moves
// the subject or paints.
//
// The PNG is made on the work pool from the press on; the drag starts once the
// pointer has moved far enough and the file is there, if the button is still down.
// GUI thread only.
class QDragOutHandle : public QLabel
{
    Q_OBJECT

public:
    // Hands out the result of `host`, a parent or grandparent, whenever no job of
    // the host is changing it.
    QDragOutHandle(QCropWidget* host, QWidget* parent);

    // The drag's data for an exported result: the file's URL and "image/png".
    static QMimeData* mimeData(const QResultExport::Result& result);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void exported(int press, const QResultExport::Result& result);
    void startDrag();

    QCropWidget* m_host = nullptr;
    QPoint m_pressAt;
    int m_press = 0; // counts presses; an export answers only the one that started it
    bool m_pressed = false;
    bool m_moved = false;
    QResultExport::Result m_result;
};
