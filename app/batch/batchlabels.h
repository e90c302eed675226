#pragma once

#include <QLabel>

// A label with an object name, for the forms built in code (style sheets find it).
inline QLabel* makeNamedLabel(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}
