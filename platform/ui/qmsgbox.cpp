#include "qmsgbox.h"
#include "ui_qmsgbox.h"

#include "cglobal.h"
#include "logger.h"
#include "qplatformstyle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QThread>

#include <mutex>

namespace {

std::mutex g_hookMutex;
QMsgBox::TestHook g_hook;

QString kindName(QMsgBox::Kind kind)
{
    switch (kind) {
    case QMsgBox::Warning:
        return QStringLiteral("warning");
    case QMsgBox::Error:
        return QStringLiteral("error");
    case QMsgBox::Question:
        return QStringLiteral("question");
    }
    return QString();
}

} // namespace

int QMsgBox::showWarning(const QString& text, int buttons)
{
    return ask(Warning, text, buttons);
}

int QMsgBox::showError(const QString& text, int buttons)
{
    return ask(Error, text, buttons);
}

int QMsgBox::showQuestion(const QString& text)
{
    return ask(Question, text, 2);
}

void QMsgBox::setTestHook(TestHook hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

int QMsgBox::ask(Kind kind, const QString& text, int buttons)
{
    BRISEL_LOG(kind == Error ? 1 : 2, QStringLiteral("message box (%1): %2").arg(kindName(kind), text));
    TestHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook)
        return hook(kind, text); // on the caller's thread

    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) {
        BRISEL_LOG(1, QStringLiteral("no window to show the %1: %2").arg(kindName(kind), text));
        return 0;
    }
    if (QThread::currentThread() != app->thread()) {
        int answer = 0;
        QMetaObject::invokeMethod(
            app, [&] { answer = ask(kind, text, buttons); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    QMsgBox box(kind, text, buttons, QApplication::activeWindow());
    return box.exec() == QDialog::Accepted ? 1 : 0;
}

QMsgBox::QMsgBox(Kind kind, const QString& text, int buttons, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui(new Ui::QMsgBox)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    setModal(true);
    setStyleSheet(QPlatformStyle::load(QStringLiteral("msgbox.css")));
    setWindowTitle(CGlobal::appTitle());

    ui->labelTitle->setText(CGlobal::appTitle());
    ui->labelText->setText(text);
    ui->labelIcon->setPixmap(QPixmap(kind == Error ? QStringLiteral(":/platform/msg.error.png")
                                                   : QStringLiteral(":/platform/msg.tip.png")));
    if (kind == Question) {
        ui->btnOk->setText(tr("Yes"));
        ui->btnCancel->setText(tr("No"));
    } else {
        ui->btnOk->setText(tr("OK"));
        ui->btnCancel->setText(tr("Cancel"));
        ui->btnCancel->setVisible(buttons >= 2);
    }
    ui->btnClose->setToolTip(tr("Close"));
    connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

QMsgBox::~QMsgBox()
{
    delete ui;
}

// Frameless: the box is moved by dragging anywhere on it.
void QMsgBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPos() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void QMsgBox::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPos() - m_dragOffset);
    else
        m_dragging = false;
    QDialog::mouseMoveEvent(event);
}
