#include "qcropsizes.h"

#include <QCoreApplication>

namespace {

constexpr int kRegularHeight = 38;
constexpr int kListHeight = 48;

// Registered for translation for the batch mode's passport entries; no button of
// the crop page shows them.
[[maybe_unused]] const char* const kPassportTexts[] = {
    QT_TRANSLATE_NOOP("QCropSizes", "U.S. Passport/visa"),
    QT_TRANSLATE_NOOP("QCropSizes", "UK Passport/visa"),
    QT_TRANSLATE_NOOP("QCropSizes", "Japan Passport/visa"),
};

} // namespace

const QVector<CropSizeEntry>& QCropSizes::regularSizes()
{
    static const QVector<CropSizeEntry> list{
        {1, QT_TRANSLATE_NOOP("QCropSizes", "Original image"), "", kRegularHeight},
        {2, "1:1", "", kRegularHeight},
        {3, "16:9", "", kRegularHeight},
        {4, "9:16", "", kRegularHeight},
        {5, "3:4", "", kRegularHeight},
        {6, "4:3", "", kRegularHeight},
        {7, "3:2", "", kRegularHeight},
        {8, "2:3", "", kRegularHeight},
        {9, QT_TRANSLATE_NOOP("QCropSizes", "Crop edges of image"), "", kRegularHeight},
        {kCustomCode, QT_TRANSLATE_NOOP("QCropSizes", "Custom size"), "", kRegularHeight},
    };
    return list;
}

const QVector<CropSizeEntry>& QCropSizes::certificateSizes()
{
    static const QVector<CropSizeEntry> list{
        {19, QT_TRANSLATE_NOOP("QCropSizes", "小一寸 259x377px  |  22x33mm"),
         QT_TRANSLATE_NOOP("QCropSizes", "驾驶证"), kListHeight},
        {20, QT_TRANSLATE_NOOP("QCropSizes", "一寸 295x413px  |  25x35mm"),
         QT_TRANSLATE_NOOP("QCropSizes", "学生证，健康证，工作证，中小学教师资格证等"), kListHeight},
        {21, QT_TRANSLATE_NOOP("QCropSizes", "大一寸 390x567px  |  33x48mm"),
         QT_TRANSLATE_NOOP("QCropSizes", "中国护照，港澳通行证，雅思考试，四六级等"), kListHeight},
        {22, QT_TRANSLATE_NOOP("QCropSizes", "小二寸 413x531px  |  35x45mm"),
         QT_TRANSLATE_NOOP("QCropSizes", "部分公务员和部分国家签证"), kListHeight},
        {23, QT_TRANSLATE_NOOP("QCropSizes", "二寸 413x579px  |  35x49mm"),
         QT_TRANSLATE_NOOP("QCropSizes", "部分公务员和部分国家签证"), kListHeight},
    };
    return list;
}

const QVector<CropSizeEntry>& QCropSizes::ecommerceSizes()
{
    static const QVector<CropSizeEntry> list{
        {15, "1500*1500", QT_TRANSLATE_NOOP("QCropSizes", "Product Image"), kListHeight},
        {16, "1000*1000", QT_TRANSLATE_NOOP("QCropSizes", "Product Image"), kListHeight},
        {17, "800*800", QT_TRANSLATE_NOOP("QCropSizes", "Product Image"), kListHeight},
    };
    return list;
}

QString QCropSizes::label(const CropSizeEntry& entry)
{
    return QCoreApplication::translate("QCropSizes", entry.label);
}

QString QCropSizes::explanation(const CropSizeEntry& entry)
{
    return *entry.explanation ? QCoreApplication::translate("QCropSizes", entry.explanation) : QString();
}

bool QCropSizes::isValidCustomSize(const QSize& size)
{
    const auto inRange = [](int side) { return side >= kMinCustomSide && side <= kMaxCustomSide; };
    return inRange(size.width()) && inRange(size.height());
}
