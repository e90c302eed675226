#include "qsavenotice.h"

#include "qvarnui.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

QSaveNotice::QSaveNotice(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("saveNotice"));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("labelSaveNotice"));
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_open = new QPushButton(tr("Open folder"), this);
    m_open->setObjectName(QStringLiteral("btnOpenFolder"));
    m_open->setCursor(Qt::PointingHandCursor);
    auto* close = new QPushButton(QStringLiteral("×"), this);
    close->setObjectName(QStringLiteral("btnCloseNotice"));
    close->setToolTip(tr("Close"));
    close->setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 4, 8, 4);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_open);
    layout->addWidget(close);
    connect(m_open, &QPushButton::clicked, this, &QSaveNotice::onOpenFolder);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

void QSaveNotice::showSaved(const QString& path)
{
    m_path = path;
    m_text->setText(tr("Saved to %1").arg(QDir::toNativeSeparators(path)));
    m_open->show();
    show();
}

void QSaveNotice::onOpenFolder()
{
    if (QVarnUI::openFolder(m_path, true))
        return;
    // No file manager answered (none installed, or no desktop session): the path in
    // the bar is all the user gets, so it stays in view.
    m_text->setText(tr("Saved to %1. The folder could not be opened in a file manager.")
                        .arg(QDir::toNativeSeparators(m_path)));
    m_open->hide();
}
