#pragma once
// Button of the workspace's tab column: an icon above a wrapped caption. Its look
// follows the dynamic property "status" ("normal" or "hover"), set on the button
// and both labels; a checked tab keeps the hover look after the cursor leaves.

#include "tbutton.h"

class QLabel;
namespace Ui {
class QTabButton;
}

class QTabButton : public TButton
{
    Q_OBJECT
public:
    explicit QTabButton(QWidget* parent = nullptr);
    ~QTabButton() override;

    void setIconSize(const QSize& size);
    // Fills the style sheet template with the two icon paths.
    void setIcons(const QString& normalIcon, const QString& hoverIcon);
    QString normalIcon() const { return m_normalIcon; }
    QString hoverIcon() const { return m_hoverIcon; }
    void setText(const QString& text);
    QString text() const;
    void setTabIndex(int index);
    int tabIndex() const { return m_tabIndex; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QLabel* iconLabel() const;
    QLabel* textLabel() const;

signals:
    // Emitted after every click with the tab index and the new checked state.
    void signal_tab_clicked(int index, bool checked, QTabButton* button);

public slots:
    void setChecked(bool checked) override;
    void setStatus(const QVariant& status) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ui::QTabButton* ui = nullptr;
    QString m_normalIcon;
    QString m_hoverIcon;
    int m_tabIndex = -1;
};
