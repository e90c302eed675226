#pragma once
// The workspace's bottom bar and what it starts: the output folder, the output
// size, Save (and Ctrl+S), and the notice that tells where the file went. The bar's
// widgets belong to the window's form; this object drives them and lives as long
// as the window. GUI thread only.

#include <QObject>

namespace Ui {
class QMainWidgetClass;
}

class QCropWidget;
class QSaveNotice;

class QOutputBar : public QObject
{
    Q_OBJECT

public:
    // The sizes the output size box offers, in the order QCropWidget::save() numbers them.
    static constexpr int kSizeCount = 4;
    static constexpr int kDefaultSize = 1;

    QOutputBar(Ui::QMainWidgetClass* ui, QCropWidget* editView, QWidget* window);

    QSaveNotice* notice() const { return m_notice; }

public slots:
    // Asks for the format (and the JPG size limit), then saves in the background.
    void onSave();
    void onSelectFolder();
    // The folder was chosen elsewhere (batch mode).
    void showFolder(const QString& folder);

signals:
    // A save started (true) or ended; the window locks what must wait for it.
    void signal_busy(bool busy);

private:
    Ui::QMainWidgetClass* ui = nullptr;
    QCropWidget* m_editView = nullptr;
    QWidget* m_window = nullptr;
    QSaveNotice* m_notice = nullptr;
};
