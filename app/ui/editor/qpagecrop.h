#pragma once

#include "qcroptable.h"

#include <QSize>
#include <QWidget>

namespace Ui {
class QPageCrop;
}

class QBoxLayout;
class QIdPhotoPanel;
class QPushButton;
class QSizeButton;

// The "Crop" page of the side panel: ratios and presets, ID-photo sizes (with the
// ID panel: backgrounds, nudges, checks, print sheet) and square product sizes on
// three tabs, and a typed custom size. A size button
// previews its crop (commit false); "Apply" commits the current one. While the page
// is visible the view shows the crop frame. The custom size is kept in
// QImageSettings, shared with the batch mode. GUI thread only.
class QPageCrop : public QWidget
{
    Q_OBJECT

public:
    explicit QPageCrop(QWidget* parent = nullptr);
    ~QPageCrop() override;

    int currentCode() const { return m_currentCode; }
    QSizeButton* selectedButton() const { return m_selected; }
    QIdPhotoPanel* idPanel() const { return m_idPanel; }

signals:
    void signal_show_crop_frame(bool show);
    void signal_apply_crop_size(int code, bool commit, const QSize& customSize);

public slots:
    void onBtnTabRegular();
    void onBtnTabCertificate();
    void onBtnTabEcommerce();
    void onClickedSizeButton(int id, QSizeButton* button);
    void onBtnApply();
    void onPageReset();
    // The ID tab with the ID size last applied (the first one before) framed, not yet applied.
    void showIdPhoto();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QSizeButton* addSizeButton(const QCropTable::Row& row, int height, QWidget* parent);
    void showTab(int index);
    void select(QSizeButton* button);
    QSizeButton* firstRegularButton() const;

    Ui::QPageCrop* ui = nullptr;
    QSizeButton* m_selected = nullptr;
    QIdPhotoPanel* m_idPanel = nullptr;
    int m_currentCode = QCropTable::kWholePicture;
};
