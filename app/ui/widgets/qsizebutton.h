#pragma once

#include "tbutton.h"

namespace Ui {
class QSizeButton;
}

// A crop size on the crop page: its name and, below it, an optional explanation
// (what the ID-photo size is for). The checked state is mirrored into the
// property "checked" for the style sheet. GUI thread only.
class QSizeButton : public TButton
{
    Q_OBJECT

public:
    explicit QSizeButton(QWidget* parent = nullptr);
    ~QSizeButton() override;

    void setTexts(const QString& name, const QString& explanation);
    QString name() const;
    QString explanation() const;

public slots:
    void setChecked(bool checked) override;
    bool toggle() override;

private:
    void showChecked();

    Ui::QSizeButton* ui = nullptr;
};
