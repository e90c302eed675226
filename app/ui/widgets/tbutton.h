#pragma once
// The clickable, checkable frame every custom button of the program derives from
// (entry cards, tab buttons, swatches, size buttons, the icon-and-text button).
// It draws nothing itself: the look comes from the style sheet, which selects on
// the dynamic properties "status" (and "checked" where a subclass mirrors it).

#include <QFrame>
#include <QVariant>

class TButton : public QFrame
{
    Q_OBJECT
public:
    explicit TButton(QWidget* parent = nullptr);

    void setCheckable(bool checkable);
    bool isCheckable() const;
    bool isChecked() const;

    // Sets the dynamic property "status" on any widget and re-applies its style
    // sheet; subclasses use it for their labels, which the sheets also select on.
    static void applyStatus(QWidget* widget, const QVariant& status);

signals:
    // Emitted on release after a press on the button, wherever the cursor is then.
    void clicked(bool checked);

public slots:
    // Changes the state only when checkable and different; never emits.
    virtual void setChecked(bool checked);
    // Sets the dynamic property "status" and re-applies the style sheet so that
    // selectors on it take effect at once.
    virtual void setStatus(const QVariant& status);
    // Flips the state when checkable, otherwise forces it false; returns the new state.
    virtual bool toggle();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    bool pressed = false;
    bool checkable = false;
    bool checked = false;
};
