#pragma once

#include <QFrame>

class QLabel;
class QProgressBar;
class QServiceSetup;

// The bar an installed program shows over the top of its main window while it
// prepares the local service on first start (QServiceSetup): what runs now, a
// progress bar, then either a short note that goes away by itself or the reason it
// failed, which stays until closed. Nothing is modal: photos can be cut out
// meanwhile with the key engine. Owned by the window it covers. GUI thread only.
class QSetupBanner : public QFrame
{
    Q_OBJECT

public:
    // Starts the preparation under `window` when this program needs it (see
    // QServiceSetup::needsPreparation); returns the banner, or nullptr when not needed.
    static QSetupBanner* startIfNeeded(QWidget* window);

    // Shows the progress of `setup`, which it takes over.
    QSetupBanner(QServiceSetup* setup, QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void onProgress(const QString& text, int percent);
    void onFinished(bool ok, const QString& message);

    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
};
