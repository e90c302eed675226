#pragma once

#include <QColor>
#include <QSize>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;
class QSpinBox;

// The ID-photo part of the crop page's certificate tab, under the sizes: the three
// ID backgrounds, buttons that nudge the framed head, the list of checks, and the
// print sheet saves are laid out on, with a second ID size sharing it if chosen.
// The sheet choices are stored at once and read when saving. Widget, GUI thread only.
class QIdPhotoPanel : public QWidget
{
    Q_OBJECT

public:
    explicit QIdPhotoPanel(QWidget* parent = nullptr);

    // "idphoto"/"sheet" (a QPrintSheet::Paper) and "idphoto"/"gap" (mm): the sheet
    // an ID photo is saved on and the gap between its copies, in pixels at 300 dpi.
    static int storedSheet();
    static int storedGapPixels();
    // "idphoto"/"sheetMate": the crop code of a second fixed ID size that shares the
    // sheet; 0 for none.
    static int storedSheetMate();
    // "idphoto"/"customWidth", "customHeight" (mm) and "customDpi": the typed ID
    // size, and its pixels at that density.
    static int customDpi();
    static QSize customPixels();
    // Shows or hides the boxes of the typed size.
    void showCustomSize(bool show);

public slots:
    // Lines of QIdFramer::signal_checks; ok lines get a tick, the others a warning sign.
    void showChecks(const QStringList& okLines, const QStringList& warnings);
    void onPageReset();

signals:
    void signal_background(const QColor& colour);
    void signal_nudge(double dx, double dy, double factor);

private:
    void retranslate();

    QLabel* m_backgroundTitle = nullptr;
    QLabel* m_positionTitle = nullptr;
    QLabel* m_sheetTitle = nullptr;
    QLabel* m_checks = nullptr;
    QComboBox* m_sheet = nullptr;
    QSpinBox* m_gap = nullptr;
    QLabel* m_mateTitle = nullptr;
    QComboBox* m_mate = nullptr;
    QWidget* m_custom = nullptr;
    QLabel* m_customTitle = nullptr;
    QList<QWidget*> m_backgrounds;
    QList<QWidget*> m_nudges;
};
