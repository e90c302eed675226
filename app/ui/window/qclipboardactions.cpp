#include "qclipboardactions.h"
#include "ui_qmainwidget.h"

#include "keeptranslated.h"
#include "qcropwidget.h"
#include "qimagecropwidget.h"
#include "qmattingclient.h"
#include "qmsgbox.h"
#include "qphotosession.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

QClipboardActions::QClipboardActions(Ui::QMainWidgetClass* ui, QCropWidget* editView, QPhotoSession* session,
                                     QWidget* window)
    : QObject(window), m_editView(editView), m_session(session)
{
    // Children of the pages: each works only while its page shows, and a focused
    // line edit keeps its own copy and paste.
    auto* pasteHome = new QShortcut(QKeySequence::Paste, ui->pageMattingHome);
    connect(pasteHome, &QShortcut::activated, this, [this] { paste(Person); });
    auto* pasteWork = new QShortcut(QKeySequence::Paste, ui->pageImage);
    connect(pasteWork, &QShortcut::activated, this, [this] { paste(m_session->type()); });
    auto* copyWork = new QShortcut(QKeySequence::Copy, ui->pageImage);
    connect(copyWork, &QShortcut::activated, this, &QClipboardActions::copy);

    m_copy = new QPushButton(ui->btnSave->parentWidget());
    m_copy->setObjectName(QStringLiteral("btnCopy"));
    m_copy->setCursor(Qt::PointingHandCursor);
    ui->hLayoutImageBottom->insertWidget(ui->hLayoutImageBottom->indexOf(ui->btnSave), m_copy);
    connect(m_copy, &QPushButton::clicked, this, &QClipboardActions::copy);
    keepTranslated(m_copy, [this, copyWork] {
        m_copy->setText(tr("Copy"));
        m_copy->setToolTip(tr("Copy the result with its transparency (%1)")
                               .arg(copyWork->key().toString(QKeySequence::NativeText)));
    });
}

QClipboardActions::Pasted QClipboardActions::pasted(const QMimeData* data)
{
    Pasted found;
    if (!data)
        return found;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && found.file.isEmpty())
            found.file = url.toLocalFile();
    // PNG bytes keep the alpha that some programs' own picture format loses.
    if (found.file.isEmpty() && data->hasFormat(QStringLiteral("image/png")))
        found.image = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
    if (found.file.isEmpty() && found.image.isNull() && data->hasImage())
        found.image = qvariant_cast<QImage>(data->imageData());
    return found;
}

QMimeData* QClipboardActions::mimeData(const QResultExport::Result& result)
{
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), result.png);
    data->setImageData(result.image);
    return data;
}

void QClipboardActions::copy()
{
    // A job of the workspace may be replacing the result just now.
    if (m_editView->isBusy() ||
        !QResultExport::start(
            m_editView->cropView()->canvas(), this, false,
            [](const QResultExport::Result& r) { QGuiApplication::clipboard()->setMimeData(mimeData(r)); }))
        QMsgBox::showWarning(tr("There is no result to copy yet."), 1);
}

void QClipboardActions::paste(int type)
{
    const Pasted found = pasted(QGuiApplication::clipboard()->mimeData());
    if (!found.file.isEmpty())
        m_session->submit(type, found.file);
    else if (!found.image.isNull())
        // The session reads photos from files.
        QResultExport::start(found.image, this, true, [this, type](const QResultExport::Result& r) {
            if (!r.file.isEmpty())
                m_session->submit(type, r.file);
        });
    else
        QMsgBox::showWarning(tr("The clipboard holds no picture to open."), 1);
}
