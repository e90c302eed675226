#pragma once
// The crop codes 1 to 28 and everything the program knows about each: the frame it
// cuts (a ratio, a pixel size, the subject's edges), whether it is an ID photo
// printed at a fixed density, and where the crop page and the batch workspace
// offer it. Codes are stored in the settings and sent between widgets, so a code
// keeps its meaning for good. Labels and explanations are UTF-8 sources for
// translation in the context "QCropTable". Constant data: any thread.

#include <QRgb>
#include <QSize>
#include <QString>
#include <QVector>

class QCropTable
{
public:
    QCropTable() = delete;

    static constexpr int kWholePicture = 1;
    static constexpr int kSubjectEdges = 9;
    // The size the user types in.
    static constexpr int kCustomSize = 10;
    // The batch workspace's "ID photo >" button: it opens the ID-size menu and
    // cuts nothing itself.
    static constexpr int kCertificateMenu = 11;
    // An ID photo of a typed size in millimetres at a chosen density; its frame is
    // the custom size (in pixels) that makes.
    static constexpr int kCustomIdSize = 28;
    static constexpr int kLastCode = 28;

    // Bounds of a typed size, in pixels, each side.
    static constexpr int kMinCustomSide = 1;
    static constexpr int kMaxCustomSide = 10000;
    // ID-photo pixel sizes are their millimetre sizes at this many dots per inch.
    static constexpr int kIdPhotoDpi = 300;

    enum class Frame : quint8
    {
        None,    // no frame: the picture stays as it is
        Whole,   // the whole surface
        Ratio,   // the largest centred frame of width:height
        Subject, // the subject's box
        Custom,  // the typed size
        Pixels   // exactly width x height pixels
    };
    // The crop page's tab that shows a code.
    enum class Tab : quint8
    {
        None,
        Regular,
        Certificate,
        Ecommerce
    };

    struct Row
    {
        int code;
        Frame frame;
        int width; // the ratio's terms (Ratio) or the pixel size (Pixels); 0 otherwise
        int height;
        bool idPhoto;
        Tab tab;
        int batchSlot; // place in the batch workspace's size grid, -1 when not offered there
        const char* label;
        const char* explanation; // may be empty
    };

    // What an ID photo of a size must look like, for the framing and its checks.
    // Shares are percent of the frame's height; the eye line is measured from the
    // bottom edge. The head is crown to chin (see QIdFraming for how it is estimated).
    struct IdRules
    {
        int code;
        int headMin;
        int headMax;
        int eyeMin;
        int eyeMax;
        // The file-size range a JPG is brought into, in KB; 0 leaves the user's setting.
        int minKilobytes;
        int maxKilobytes;
        // The background the size needs (0: the user's choice).
        QRgb background;
        // Shown before saving; may be empty.
        const char* notice;
    };
    // The ID backgrounds offered one click away, in their order.
    static constexpr QRgb kIdBackgrounds[] = {0xFFFFFFFF, 0xFF438EDB, 0xFFFF0000};

    // The rules of an ID-photo code; null for other codes.
    static const IdRules* idRules(int code);
    static QString notice(const IdRules& rules);

    // The row of a code; null for an unknown code.
    static const Row* row(int code);
    // The rows a crop-page tab shows, in their order.
    static QVector<const Row*> tab(Tab tab);
    // The rows of the batch workspace's size grid, in their order.
    static QVector<const Row*> batchSizes();

    static QString label(const Row& row);
    static QString explanation(const Row& row);
    static bool isIdPhoto(int code);
    // True when both sides are within the typed-size bounds above.
    static bool isValidCustomSize(const QSize& size);
};
