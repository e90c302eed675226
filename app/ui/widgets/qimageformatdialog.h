#pragma once

#include "qbasedialog.h"

namespace Ui {
class QImageFormatDialog;
}

// Asked before every save: PNG (keeps the transparent background) or JPG (smaller,
// white where nothing was put behind the subject). Opens with the format chosen
// last time; "OK" stores the choice in "output"/"format", closing the dialog any
// other way leaves the stored format as it was. Run modally on the GUI thread.
class QImageFormatDialog : public QBaseDialog
{
    Q_OBJECT

public:
    explicit QImageFormatDialog(QWidget* parent = nullptr);
    ~QImageFormatDialog() override;

    bool isJpg() const { return m_isJpg; }

public slots:
    void onBtnFormatPNG();
    void onBtnFormatJPG();
    void onBtnApply();
    // Return and Enter choose like "OK".
    void onOK() override;

private:
    void select(bool jpg);

    Ui::QImageFormatDialog* ui = nullptr;
    bool m_isJpg = false;
};
