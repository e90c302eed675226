#pragma once
// Modal, frameless message boxes in the program's style. Callable from any thread:
// off the GUI thread the box is shown on the GUI thread and the caller waits, so
// the GUI thread must not be waiting for that caller meanwhile. Without a GUI
// (command-line tools) the text is logged and the answer is 0.

#include <QDialog>

#include <functional>

namespace Ui {
class QMsgBox;
}

class QMsgBox : public QDialog
{
    Q_OBJECT
public:
    enum Kind
    {
        Warning = 0,
        Error = 1,
        Question = 2
    };
    using TestHook = std::function<int(Kind, const QString&)>;

    // buttons: 1 = "OK" alone, 2 = "OK" and "Cancel". Returns 1 for OK, 0 otherwise.
    static int showWarning(const QString& text, int buttons = 1);
    static int showError(const QString& text, int buttons = 1);
    // "Yes" and "No": 1 for yes, 0 for no or a closed box.
    static int showQuestion(const QString& text);

    // While set, the hook answers every box instead of the user and nothing is
    // shown; tests use it to record texts. Pass nullptr to remove it.
    static void setTestHook(TestHook hook);

    QMsgBox(Kind kind, const QString& text, int buttons, QWidget* parent = nullptr);
    ~QMsgBox() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    static int ask(Kind kind, const QString& text, int buttons);

    Ui::QMsgBox* ui = nullptr;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
