#pragma once

#include "qresultexport.h"

#include <QImage>
#include <QObject>
#include <QString>

namespace Ui {
class QMainWidgetClass;
}

class QCropWidget;
class QMimeData;
class QPhotoSession;
class QPushButton;

// Copy and paste between the window and other programs. Ctrl+V on the home page's
// cards or in the workspace pastes a picture (image data, or a copied photo file) as
// a new photo: a person on the home page, the shown photo's kind in the workspace,
// where it replaces the photo. Ctrl+C and the workspace's Copy button put the
// result on the clipboard as PNG bytes and as a picture, transparency kept; brush
// strokes count once the brush view has handed them over.
//
// Drives widgets of the window's form and lives as long as the window. GUI thread
// only; the PNG encoding runs on the work pool (QResultExport).
class QClipboardActions : public QObject
{
    Q_OBJECT

public:
    QClipboardActions(Ui::QMainWidgetClass* ui, QCropWidget* editView, QPhotoSession* session,
                      QWidget* window);

    // What a paste takes from `data`: a local file's path, else a picture; both
    // empty when there is nothing to paste.
    struct Pasted
    {
        QString file;
        QImage image;
    };
    static Pasted pasted(const QMimeData* data);
    // The clipboard's data for an exported result.
    static QMimeData* mimeData(const QResultExport::Result& result);

public slots:
    void copy();
    // Pastes the clipboard as a photo of `type` (a MattingType); nothing to paste
    // is said in a message.
    void paste(int type);

private:
    QCropWidget* m_editView = nullptr;
    QPhotoSession* m_session = nullptr;
    QPushButton* m_copy = nullptr;
};
