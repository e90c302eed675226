#pragma once
// The about box: the program's picture, name, version and build day.

#include <QDialog>

namespace Ui {
class QAboutDialog;
}

class QAboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit QAboutDialog(QWidget* parent = nullptr);
    ~QAboutDialog() override;

private:
    Ui::QAboutDialog* ui = nullptr;
};
