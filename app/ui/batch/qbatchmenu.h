#pragma once

#include <QWidget>

#include <functional>

class QPushButton;
class QVBoxLayout;

// The pop-up list of ID-photo sizes beside the batch workspace's "ID photo >"
// button: a plain child widget that the workspace shows, places and hides. Each
// entry runs the callback it was added with. GUI thread only.
class QBatchMenu : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kEntryHeight = 24;

    explicit QBatchMenu(QWidget* parent = nullptr);

    // The entry is owned by the menu; the caller gives it its (translated) text.
    QPushButton* addItem(std::function<void()> callback);

private:
    QVBoxLayout* m_entries = nullptr;
};
