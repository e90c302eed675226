#include "qbatchmenu.h"

#include "qcustomshadoweffect.h"
#include "readtextfile.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

QBatchMenu::QBatchMenu(QWidget* parent) : QWidget(parent)
{
    setStyleSheet(readTextFile(":/qss/batchMenu.css"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    auto* frame = new QFrame(this);
    frame->setObjectName("frameMain");
    outer->addWidget(frame);
    m_entries = new QVBoxLayout(frame);
    m_entries->setContentsMargins(0, 0, 0, 0);
    m_entries->setSpacing(0);
    setFixedWidth(208);
    move(0, 0);
    resize(208, 16);

    auto* shadow = new QCustomShadowEffect(this);
    shadow->setBlurRadius(8.0);
    shadow->setDistance(4.0);
    shadow->setColor(QColor(52, 122, 235, 51));
    setGraphicsEffect(shadow);
}

QPushButton* QBatchMenu::addItem(std::function<void()> callback)
{
    auto* button = new QPushButton(findChild<QFrame*>("frameMain"));
    button->setFixedHeight(kEntryHeight);
    connect(button, &QPushButton::clicked, this, [callback] { callback(); });
    m_entries->addWidget(button);
    setFixedHeight(height() + button->height());
    return button;
}
