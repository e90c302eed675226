#pragma once

#include <QWidget>

namespace Ui {
class QPageAdvanced;
}

// The side-panel page of the output file: the smallest and largest size in
// kilobytes a saved JPG may have, kept in the settings (QSaveFileWriter::kilobytes),
// typed or picked from the common ranges (an empty box means no bound), and whether
// saved files keep the photo's location and camera serial numbers
// (QAppSettings::keepLocationAndSerials). GUI thread only.
class QPageAdvanced : public QWidget
{
    Q_OBJECT

public:
    // Larger limits than this many kilobytes (about 1 GB) are no limit in practice.
    static constexpr int kMaxKilobytes = 1000000;

    explicit QPageAdvanced(QWidget* parent = nullptr);
    ~QPageAdvanced() override;

public slots:
    // Shows the stored settings again (they are settings, not per photo).
    void onPageReset();
    void onSizeEdited(const QString& text);
    void onMinSizeEdited(const QString& text);

private:
    Ui::QPageAdvanced* ui = nullptr;
};
