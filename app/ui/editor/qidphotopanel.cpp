#include "qidphotopanel.h"

#include "csetting.h"
#include "keeptranslated.h"
#include "qcroptable.h"
#include "qprintsheet.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace {

// One press moves the head by this share of the photo's height or scales it by this much.
constexpr double kStep = 0.01;
constexpr double kScaleStep = 1.02;
constexpr int kMaxGapMm = 10;
constexpr int kDefaultGapMm = 2;
constexpr double kMmPerInch = 25.4;

struct CustomBox
{
    const char* objectName;
    const char* key;
    int low;
    int high;
    int fallback;
};
// Width and height in mm, then the density.
const CustomBox kCustomBoxes[] = {{"spinIdWidthMm", "customWidth", 10, 300, 35},
                                  {"spinIdHeightMm", "customHeight", 10, 300, 45},
                                  {"spinIdDpi", "customDpi", 72, 1200, 300}};

// The sizes a sheet can share: ID sizes of fixed pixels (a typed size changes).
bool isMateSize(int code)
{
    const QCropTable::Row* row = QCropTable::row(code);
    return row && row->idPhoto && row->frame == QCropTable::Frame::Pixels;
}

int stored(const CustomBox& box)
{
    return qBound(box.low, CSetting::getInt("idphoto", box.key, box.fallback), box.high);
}

struct Nudge
{
    const char* objectName;
    const char* text;
    const char* tip;
    double dx;
    double dy;
    double factor;
};
const Nudge kNudges[] = {
    {"btnIdUp", "\u2191", QT_TRANSLATE_NOOP("QIdPhotoPanel", "Move up"), 0, -kStep, 1},
    {"btnIdDown", "\u2193", QT_TRANSLATE_NOOP("QIdPhotoPanel", "Move down"), 0, kStep, 1},
    {"btnIdLeft", "\u2190", QT_TRANSLATE_NOOP("QIdPhotoPanel", "Move left"), -kStep, 0, 1},
    {"btnIdRight", "\u2192", QT_TRANSLATE_NOOP("QIdPhotoPanel", "Move right"), kStep, 0, 1},
    {"btnIdLarger", "+", QT_TRANSLATE_NOOP("QIdPhotoPanel", "Larger"), 0, 0, kScaleStep},
    {"btnIdSmaller", "\u2212", QT_TRANSLATE_NOOP("QIdPhotoPanel", "Smaller"), 0, 0, 1 / kScaleStep},
};
const char* const kBackgroundNames[] = {"btnIdWhite", "btnIdBlue", "btnIdRed"};
const char* const kBackgroundTips[] = {QT_TRANSLATE_NOOP("QIdPhotoPanel", "White background"),
                                       QT_TRANSLATE_NOOP("QIdPhotoPanel", "Blue background"),
                                       QT_TRANSLATE_NOOP("QIdPhotoPanel", "Red background")};

} // namespace

QIdPhotoPanel::QIdPhotoPanel(QWidget* parent) : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 8, 0, 0);
    auto* backgrounds = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QLatin1String(kBackgroundNames[i]));
        button->setFixedSize(28, 22);
        const QColor colour = QColor::fromRgb(QCropTable::kIdBackgrounds[i]);
        button->setStyleSheet(QStringLiteral("background:%1; border:1px solid #999;").arg(colour.name()));
        connect(button, &QPushButton::clicked, this, [this, colour] { emit signal_background(colour); });
        backgrounds->addWidget(button);
        m_backgrounds << button;
    }
    backgrounds->addStretch();
    auto* nudges = new QHBoxLayout;
    for (const Nudge& n : kNudges) {
        auto* button = new QPushButton(QString::fromUtf8(n.text), this);
        button->setObjectName(QLatin1String(n.objectName));
        button->setFixedSize(26, 22);
        connect(button, &QPushButton::clicked, this, [this, n] { emit signal_nudge(n.dx, n.dy, n.factor); });
        nudges->addWidget(button);
        m_nudges << button;
    }
    nudges->addStretch();
    m_checks = new QLabel(this);
    m_checks->setObjectName(QStringLiteral("labelIdChecks"));
    m_checks->setWordWrap(true);
    m_checks->setTextFormat(Qt::PlainText);
    m_sheet = new QComboBox(this);
    m_sheet->setObjectName(QStringLiteral("comboIdSheet"));
    for (int paper = 0; paper < QPrintSheet::PaperCount; ++paper)
        m_sheet->addItem(QString(), paper);
    m_gap = new QSpinBox(this);
    m_gap->setObjectName(QStringLiteral("spinIdGap"));
    m_gap->setRange(0, kMaxGapMm);
    m_mate = new QComboBox(this);
    m_mate->setObjectName(QStringLiteral("comboIdSheetMate"));
    // The sizes' labels are long; the page keeps its width.
    m_mate->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_mate->addItem(QString(), 0);
    for (int code = 1; code <= QCropTable::kLastCode; ++code)
        if (isMateSize(code))
            m_mate->addItem(QString(), code);
    m_custom = new QWidget(this);
    auto* custom = new QHBoxLayout(m_custom);
    custom->setContentsMargins(0, 0, 0, 0);
    m_customTitle = new QLabel(m_custom);
    custom->addWidget(m_customTitle);
    for (const CustomBox& box : kCustomBoxes) {
        auto* spin = new QSpinBox(m_custom);
        spin->setObjectName(QLatin1String(box.objectName));
        spin->setRange(box.low, box.high);
        spin->setValue(stored(box));
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                [key = box.key](int value) { CSetting::setValue("idphoto", key, value); });
        custom->addWidget(spin);
    }
    m_custom->hide();
    m_backgroundTitle = new QLabel(this);
    m_positionTitle = new QLabel(this);
    m_sheetTitle = new QLabel(this);
    m_mateTitle = new QLabel(this);
    grid->addWidget(m_custom, 5, 0, 1, 2);
    grid->addWidget(m_backgroundTitle, 0, 0);
    grid->addLayout(backgrounds, 0, 1);
    grid->addWidget(m_positionTitle, 1, 0);
    grid->addLayout(nudges, 1, 1);
    grid->addWidget(m_checks, 2, 0, 1, 2);
    grid->addWidget(m_sheetTitle, 3, 0);
    auto* sheet = new QHBoxLayout;
    sheet->addWidget(m_sheet, 1);
    sheet->addWidget(m_gap);
    grid->addLayout(sheet, 3, 1);
    grid->addWidget(m_mateTitle, 4, 0);
    grid->addWidget(m_mate, 4, 1);
    keepTranslated(this, [this] { retranslate(); });
    onPageReset();
    connect(m_sheet, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        CSetting::setValue("idphoto", "sheet", index);
        m_mate->setEnabled(index != QPrintSheet::NoSheet);
    });
    connect(m_mate, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { CSetting::setValue("idphoto", "sheetMate", m_mate->itemData(index)); });
    connect(m_gap, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [](int mm) { CSetting::setValue("idphoto", "gap", mm); });
}

void QIdPhotoPanel::retranslate()
{
    m_backgroundTitle->setText(tr("Background"));
    m_positionTitle->setText(tr("Position"));
    m_sheetTitle->setText(tr("Save on"));
    m_mateTitle->setText(tr("With"));
    m_mate->setItemText(0, tr("This size only"));
    for (int i = 1; i < m_mate->count(); ++i)
        m_mate->setItemText(i, QCropTable::label(*QCropTable::row(m_mate->itemData(i).toInt())));
    m_customTitle->setText(tr("Size (mm), dpi:"));
    m_gap->setSuffix(tr(" mm"));
    m_gap->setToolTip(tr("Gap between the copies on the sheet"));
    for (int paper = 0; paper < QPrintSheet::PaperCount; ++paper)
        m_sheet->setItemText(paper, QPrintSheet::paperName(paper));
    for (int i = 0; i < m_backgrounds.size(); ++i)
        m_backgrounds[i]->setToolTip(tr(kBackgroundTips[i]));
    for (int i = 0; i < m_nudges.size(); ++i)
        m_nudges[i]->setToolTip(tr(kNudges[i].tip));
}

int QIdPhotoPanel::storedSheet()
{
    const int paper = CSetting::getInt("idphoto", "sheet", QPrintSheet::NoSheet);
    return paper >= 0 && paper < QPrintSheet::PaperCount ? paper : int(QPrintSheet::NoSheet);
}

int QIdPhotoPanel::storedGapPixels()
{
    const int mm = qBound(0, CSetting::getInt("idphoto", "gap", kDefaultGapMm), kMaxGapMm);
    return int(std::lround(mm * QPrintSheet::kDpi / kMmPerInch));
}

int QIdPhotoPanel::storedSheetMate()
{
    const int code = CSetting::getInt("idphoto", "sheetMate", 0);
    return isMateSize(code) ? code : 0;
}

int QIdPhotoPanel::customDpi()
{
    return stored(kCustomBoxes[2]);
}

QSize QIdPhotoPanel::customPixels()
{
    const auto pixels = [](int mm) { return int(std::lround(mm * customDpi() / kMmPerInch)); };
    return QSize(pixels(stored(kCustomBoxes[0])), pixels(stored(kCustomBoxes[1])));
}

void QIdPhotoPanel::showCustomSize(bool show)
{
    m_custom->setVisible(show);
}

void QIdPhotoPanel::showChecks(const QStringList& okLines, const QStringList& warnings)
{
    QStringList lines;
    for (const QString& w : warnings)
        lines << QStringLiteral("\u26A0 ") + w;
    for (const QString& ok : okLines)
        lines << QStringLiteral("\u2713 ") + ok;
    m_checks->setText(lines.join('\n'));
    // A wrapped label in a grid is laid out at its one-line height unless told.
    m_checks->setMinimumHeight(lines.isEmpty() ? 0 : m_checks->heightForWidth(m_checks->width()));
}

void QIdPhotoPanel::onPageReset()
{
    m_checks->clear();
    m_sheet->setCurrentIndex(storedSheet());
    m_mate->setCurrentIndex(std::max(0, m_mate->findData(storedSheetMate())));
    m_mate->setEnabled(storedSheet() != QPrintSheet::NoSheet);
    m_gap->setValue(qBound(0, CSetting::getInt("idphoto", "gap", kDefaultGapMm), kMaxGapMm));
}
