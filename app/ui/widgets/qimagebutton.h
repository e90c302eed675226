#pragma once

#include "tbutton.h"

class QLabel;

// A 38 x 38 swatch: a picture (kind 0, a path the style sheet can load) or a flat
// colour (kind 1, "#RRGGBB"), with a tick drawn over it while it is checked. A
// click leaves it checked exactly when it is checkable, so one-shot swatches (the
// colour picker, "add picture") never stay selected. GUI thread only.
class QImageButton : public TButton
{
    Q_OBJECT

public:
    static constexpr int kSide = 38;

    QImageButton(int kind, const QString& text, bool bordered, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    bool isSelectionShown() const;

public slots:
    void setChecked(bool checked) override;
    bool toggle() override;

private:
    void showSelection();

    QString m_text;
    QLabel* m_picture = nullptr;
    QLabel* m_selection = nullptr;
};
