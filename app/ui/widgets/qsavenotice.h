#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// The slim bar that tells where a saved file went, with an "Open folder" button.
// It is not modal: the user keeps working while it shows, and it stays until
// closed or replaced by the next notice. When the file manager cannot be started
// the bar says so and keeps the path in view. GUI thread only.
class QSaveNotice : public QFrame
{
    Q_OBJECT

public:
    explicit QSaveNotice(QWidget* parent = nullptr);

    // Shows "Saved to <path>" and the bar.
    void showSaved(const QString& path);
    QString path() const { return m_path; }

public slots:
    void onOpenFolder();

private:
    QLabel* m_text = nullptr;
    QPushButton* m_open = nullptr;
    QString m_path;
};
