#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSize>

class QBoxLayout;
class QCropWidget;
class QWidget;

// The side panel of the single-image workspace: owns the tool pages, shows the
// one whose tab is checked, wires the pages to the editing view and the main
// window (through signal_apply_crop_size), and returns every page to its defaults when a new cut-out arrives.
// Showing the cut-out page also puts the view into its brush view. GUI thread only.
class QPageManager : public QObject
{
    Q_OBJECT

public:
    // Page keys: the tab indices of the main window (no tab opens Advanced).
    enum Key
    {
        ChangeBg = 0,
        CutOut = 1,
        Crop = 2,
        Advanced = 3,
        Beautify = 4
    };
    static constexpr int kNoPage = -1;

    explicit QPageManager(QObject* parent);

    // Creates the pages (children of the layout's widget, hidden); call once.
    void setLayout(QBoxLayout* layout);
    // Connects the pages to the view; call once.
    void connectView(QCropWidget* view);

    QWidget* page(int key) const { return pages.value(key); }
    int currentPage() const { return currentKey; }

public slots:
    void showPage(int key);
    void hidePage();
    void reset();

signals:
    void signal_reset();
    // The crop page's choice, for the window's output-size rules.
    void signal_apply_crop_size(int code, bool commit, const QSize& customSize);

private:
    void setViewMode(int key);

    QMap<int, QWidget*> pages;
    int currentKey = kNoPage;
    QBoxLayout* layout = nullptr;
    QPointer<QCropWidget> view;
};
