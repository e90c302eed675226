#pragma once

#include "qappsettings.h"
#include "qbasedialog.h"

namespace Ui {
class QImageFormatDialog;
}

// Asked before every save: PNG (keeps the transparent background), JPG (smaller,
// white where nothing was put behind the subject) or WebP (small and transparent). Opens with the format
// chosen last time; "OK" stores the choice in "output"/"format", closing the dialog any other way leaves the
// stored format as it was. Run modally on the GUI thread.
class QImageFormatDialog : public QBaseDialog
{
    Q_OBJECT

public:
    explicit QImageFormatDialog(QWidget* parent = nullptr);
    ~QImageFormatDialog() override;

    SaveFormat format() const { return m_format; }

public slots:
    void onBtnApply();
    // Return and Enter choose like "OK".
    void onOK() override;

private:
    void select(SaveFormat format);

    Ui::QImageFormatDialog* ui = nullptr;
    SaveFormat m_format = SaveFormat::Png;
};
