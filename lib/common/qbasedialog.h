#pragma once
// Frameless, translucent dialog with a drop shadow, dragged by its own background.
// Escape rejects and Return/Enter accept through the virtual onClose()/onOK(), so a
// derived dialog decides what those keys mean even when its buttons are disabled.

#include <QDialog>
#include <QPoint>

class QBaseDialog : public QDialog
{
    Q_OBJECT
public:
    explicit QBaseDialog(QWidget* parent = nullptr);

    virtual void init(const QString& styleSheetPath);
    virtual void setStyleSheetFile(const QString& path);

public slots:
    virtual void onClose();
    virtual void onOK();
    // Brings the window to the foreground first: dialogs opened from a tool window
    // or a background process would otherwise appear behind the main window.
    int exec() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint dragOffset;
    bool pressed = false;
};
