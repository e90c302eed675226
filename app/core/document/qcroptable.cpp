#include "qcroptable.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

using Frame = QCropTable::Frame;
using Tab = QCropTable::Tab;
using Row = QCropTable::Row;

constexpr Row kRows[] = {
    {1, Frame::Whole, 0, 0, false, Tab::Regular, 0, QT_TRANSLATE_NOOP("QCropTable", "Original image"), ""},
    {2, Frame::Ratio, 1, 1, false, Tab::Regular, -1, "1:1", ""},
    {3, Frame::Ratio, 16, 9, false, Tab::Regular, -1, "16:9", ""},
    {4, Frame::Ratio, 9, 16, false, Tab::Regular, -1, "9:16", ""},
    {5, Frame::Ratio, 3, 4, false, Tab::Regular, -1, "3:4", ""},
    {6, Frame::Ratio, 4, 3, false, Tab::Regular, -1, "4:3", ""},
    {7, Frame::Ratio, 3, 2, false, Tab::Regular, -1, "3:2", ""},
    {8, Frame::Ratio, 2, 3, false, Tab::Regular, -1, "2:3", ""},
    {9, Frame::Subject, 0, 0, false, Tab::Regular, 1, QT_TRANSLATE_NOOP("QCropTable", "Crop edges of image"),
     ""},
    {10, Frame::Custom, 0, 0, false, Tab::Regular, 7, QT_TRANSLATE_NOOP("QCropTable", "Custom size"), ""},
    {11, Frame::None, 0, 0, false, Tab::None, 6, QT_TRANSLATE_NOOP("QCropTable", "ID photo >"), ""},
    {12, Frame::Pixels, 680, 680, true, Tab::None, -1, QT_TRANSLATE_NOOP("QCropTable", "U.S. Passport/visa"),
     ""},
    {13, Frame::Pixels, 466, 600, true, Tab::None, -1, QT_TRANSLATE_NOOP("QCropTable", "UK Passport/visa"),
     ""},
    {14, Frame::Pixels, 466, 600, true, Tab::None, -1, QT_TRANSLATE_NOOP("QCropTable", "Japan Passport/visa"),
     ""},
    {15, Frame::Pixels, 1500, 1500, false, Tab::Ecommerce, 5, "1500*1500",
     QT_TRANSLATE_NOOP("QCropTable", "Product Image")},
    {16, Frame::Pixels, 1000, 1000, false, Tab::Ecommerce, 4, "1000*1000",
     QT_TRANSLATE_NOOP("QCropTable", "Product Image")},
    {17, Frame::Pixels, 800, 800, false, Tab::Ecommerce, 3, "800*800",
     QT_TRANSLATE_NOOP("QCropTable", "Product Image")},
    {18, Frame::Pixels, 500, 500, false, Tab::None, 2, "500*500", ""},
    {19, Frame::Pixels, 259, 377, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "Small 1-inch 259x377px  |  22x33mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Driving licence")},
    {20, Frame::Pixels, 295, 413, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "1-inch 295x413px  |  25x35mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Student, health and work cards, teacher certificates")},
    {21, Frame::Pixels, 390, 567, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "Large 1-inch 390x567px  |  33x48mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Chinese passport, Hong Kong and Macao permit, IELTS, CET")},
    {22, Frame::Pixels, 413, 531, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "Small 2-inch 413x531px  |  35x45mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Some civil service exams and visas")},
    {23, Frame::Pixels, 413, 579, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "2-inch 413x579px  |  35x49mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Some civil service exams and visas")},
    {24, Frame::Pixels, 600, 600, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "2x2 inch 600x600px  |  51x51mm"),
     QT_TRANSLATE_NOOP("QCropTable", "U.S. passport and visa, printed")},
    {25, Frame::Pixels, 600, 600, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "Digital 600x600px  |  up to 240 KB"),
     QT_TRANSLATE_NOOP("QCropTable", "Visa application upload")},
    {26, Frame::Pixels, 480, 640, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "Digital 480x640px  |  blue"),
     QT_TRANSLATE_NOOP("QCropTable", "Student record")},
    {27, Frame::Pixels, 600, 750, true, Tab::Certificate, -1,
     QT_TRANSLATE_NOOP("QCropTable", "Digital 600x750px  |  35x45mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Passport and visa forms online")},
    {28, Frame::Custom, 0, 0, true, Tab::None, -1, QT_TRANSLATE_NOOP("QCropTable", "Custom size in mm"),
     QT_TRANSLATE_NOOP("QCropTable", "Width and height in millimetres at a chosen dpi")},
};

// Head and eye ranges follow the photo rules of the sizes' usual authorities; the
// certificate sizes without a published range get the common one (head 55-70 %,
// eyes 52-66 % from the bottom), which leaves a little space above the crown.
constexpr QCropTable::IdRules kIdRules[] = {
    {12, 50, 69, 56, 69, 0, 0, 0, ""},
    {13, 64, 76, 52, 66, 0, 0, 0, ""},
    {14, 64, 76, 52, 66, 0, 0, 0, ""},
    {19, 55, 70, 52, 66, 0, 0, 0, ""},
    {20, 55, 70, 52, 66, 0, 0, 0, ""},
    {21, 58, 69, 52, 66, 0, 0, 0, ""},
    {22, 70, 80, 50, 64, 0, 0, 0, ""},
    {23, 55, 70, 52, 66, 0, 0, 0, ""},
    {24, 50, 69, 56, 69, 0, 0, 0, ""},
    {25, 50, 69, 56, 69, 0, 240, 0xFFFFFFFF,
     QT_TRANSLATE_NOOP("QCropTable", "This authority does not accept digitally replaced backgrounds: "
                                     "use a photo taken in front of a plain light wall.")},
    {26, 55, 70, 52, 66, 0, 0, 0xFF438EDB, ""},
    {27, 70, 80, 50, 64, 0, 0, 0, ""},
    {28, 55, 70, 52, 66, 0, 0, 0, ""},
};

// row() finds a code by its index.
constexpr bool rowsInCodeOrder()
{
    for (int i = 0; i < int(std::size(kRows)); ++i)
        if (kRows[i].code != i + 1)
            return false;
    return int(std::size(kRows)) == QCropTable::kLastCode;
}
static_assert(rowsInCodeOrder(), "one row per code, in code order");

// Every ID size has rules and nothing else does.
constexpr bool rulesForIdRowsOnly()
{
    int idRows = 0;
    for (const Row& row : kRows)
        idRows += row.idPhoto ? 1 : 0;
    for (const QCropTable::IdRules& r : kIdRules)
        if (r.code < 1 || r.code > QCropTable::kLastCode || !kRows[r.code - 1].idPhoto)
            return false;
    return idRows == int(std::size(kIdRules));
}
static_assert(rulesForIdRowsOnly(), "one rule row per ID size");

} // namespace

const QCropTable::Row* QCropTable::row(int code)
{
    return code >= 1 && code <= kLastCode ? &kRows[code - 1] : nullptr;
}

QVector<const QCropTable::Row*> QCropTable::tab(Tab tab)
{
    QVector<const Row*> rows;
    for (const Row& r : kRows)
        if (tab != Tab::None && r.tab == tab)
            rows << &r;
    return rows;
}

QVector<const QCropTable::Row*> QCropTable::batchSizes()
{
    QVector<const Row*> rows;
    for (const Row& r : kRows)
        if (r.batchSlot >= 0)
            rows << &r;
    std::sort(rows.begin(), rows.end(),
              [](const Row* a, const Row* b) { return a->batchSlot < b->batchSlot; });
    return rows;
}

QString QCropTable::label(const Row& row)
{
    return QCoreApplication::translate("QCropTable", row.label);
}

QString QCropTable::explanation(const Row& row)
{
    return *row.explanation ? QCoreApplication::translate("QCropTable", row.explanation) : QString();
}

const QCropTable::IdRules* QCropTable::idRules(int code)
{
    for (const IdRules& r : kIdRules)
        if (r.code == code)
            return &r;
    return nullptr;
}

QString QCropTable::notice(const IdRules& rules)
{
    return *rules.notice ? QCoreApplication::translate("QCropTable", rules.notice) : QString();
}

bool QCropTable::isIdPhoto(int code)
{
    const Row* r = row(code);
    return r && r->idPhoto;
}

bool QCropTable::isValidCustomSize(const QSize& size)
{
    const auto inRange = [](int side) { return side >= kMinCustomSide && side <= kMaxCustomSide; };
    return inRange(size.width()) && inRange(size.height());
}
