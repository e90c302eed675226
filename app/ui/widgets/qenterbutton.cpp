#include "qenterbutton.h"

#include "keeptranslated.h"
#include "readtextfile.h"
#include "ui_qenterbutton.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEasingCurve>
#include <QMimeData>
#include <QPropertyAnimation>

namespace {

// The single local file of a drag, or an empty string when there is none or several.
QString singleLocalFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return QString();
    const QUrl url = mime->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

QEnterButton::QEnterButton(const QString& normalImage, const QString& hoverImage, QWidget* parent)
    : TButton(parent), ui(new Ui::QEnterButton), normalImage(normalImage), hoverImage(hoverImage)
{
    ui->setupUi(this);
    keepTranslated(this, [this] { ui->retranslateUi(this); });
    setObjectName(QStringLiteral("QEnterButton"));
    setFixedSize(354, 230);
    setStyleSheet(readTextFile(QStringLiteral(":/qss/EnterButton.css")));
    setAcceptDrops(true);

    animation = new QPropertyAnimation(ui->labelButtonImage, "geometry", this);
    animation->setDuration(200);
    animation->setEasingCurve(QEasingCurve::OutSine);

    ui->labelButtonImage->setStyleSheet(QStringLiteral("border-image:url(%1)").arg(normalImage));
    installEventFilter(this);
}

QEnterButton::~QEnterButton()
{
    delete ui;
}

void QEnterButton::setName(const QString& text)
{
    ui->labelButtonName->setText(text);
}

void QEnterButton::setText(const QString& text)
{
    ui->labelImageText->setText(text);
}

void QEnterButton::showPicture(const QString& path, int fromY, int toY)
{
    QLabel* picture = ui->labelButtonImage;
    picture->setStyleSheet(QStringLiteral("border-image:url(%1)").arg(path));
    const int w = picture->width();
    const int h = picture->height();
    animation->stop();
    animation->setStartValue(QRect(0, fromY, w, h));
    animation->setEndValue(QRect(0, toY, w, h));
    animation->start();
}

bool QEnterButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter)
            showPicture(hoverImage, liftDistance, 0);
        else if (event->type() == QEvent::Leave)
            showPicture(normalImage, 0, liftDistance);
    }
    return TButton::eventFilter(watched, event);
}

void QEnterButton::dragEnterEvent(QDragEnterEvent* event)
{
    if (!singleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void QEnterButton::dropEvent(QDropEvent* event)
{
    const QString path = singleLocalFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    emit signal_drop_file(path);
}
