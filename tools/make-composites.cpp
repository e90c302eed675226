// Writes composites with a known answer for the matting quality benchmark:
// soft foregrounds (hair, fur, a plant, glass, a figure with a stray ball, two
// products, an ID torso, a product with its contact shadow) laid over flat and
// busy backgrounds so that I = aF + (1 - a)B holds exactly.
//
//   make-composites <astronaut.png> <out folder>
//
// For each case NAME: NAME.png (the photo), NAME-alpha.png (16-bit truth alpha),
// NAME-fg.png (truth foreground colour); cases.txt lists "NAME MODE SHADOW".
// Everything is drawn from a fixed seed and the test photo, nothing downloaded.

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const cv::Size kSize(2400, 1800);

struct Layer
{
    cv::Mat alpha = cv::Mat(kSize, CV_32F, cv::Scalar(0)); // truth alpha
    cv::Mat fg = cv::Mat(kSize, CV_32FC3, cv::Scalar(0, 0, 0));

    // Paints `cover` (CV_32F coverage of a shape) with colours `colour(x, y)`
    // over what is there, within `area`.
    template <class Colour> void paint(const cv::Mat& cover, Colour colour, cv::Rect area)
    {
        area &= cv::Rect({}, kSize);
        for (int y = area.y; y < area.br().y; ++y)
            for (int x = area.x; x < area.br().x; ++x) {
                const float c = cover.at<float>(y, x);
                if (c <= 0)
                    continue;
                const float a = alpha.at<float>(y, x), out = c + a * (1 - c);
                cv::Vec3f& f = fg.at<cv::Vec3f>(y, x);
                f = (colour(x, y) * c + f * a * (1 - c)) / out;
                alpha.at<float>(y, x) = out;
            }
    }
    void paint(const cv::Mat& cover, const cv::Mat& colour)
    {
        paint(
            cover, [&](int x, int y) { return colour.at<cv::Vec3f>(y, x); }, cv::Rect({}, kSize));
    }
    void paint(const cv::Mat& cover, cv::Scalar colour, cv::Rect area = cv::Rect({}, kSize))
    {
        const cv::Vec3f c{float(colour[0]), float(colour[1]), float(colour[2])};
        paint(
            cover, [&](int, int) { return c; }, area);
    }
};

cv::Mat canvas()
{
    return cv::Mat(kSize, CV_8U, cv::Scalar(0));
}

cv::Mat coverage(const cv::Mat& drawn, float opacity = 1.0f)
{
    cv::Mat c;
    drawn.convertTo(c, CV_32F, opacity / 255.0);
    return c;
}

// One strand's drawing: coverage is only computed around it.
struct Stroke
{
    cv::Mat drawn = canvas();
    cv::Mat cover = cv::Mat(kSize, CV_32F, cv::Scalar(0));
};

// Photo texture (the astronaut) stretched over the frame, tinted toward `tint`.
cv::Mat texture(const cv::Mat& photo, cv::Scalar tint)
{
    cv::Mat t;
    cv::resize(photo, t, kSize, 0, 0, cv::INTER_CUBIC);
    t.convertTo(t, CV_32FC3);
    return t * 0.5 + cv::Mat(kSize, CV_32FC3, tint) * 0.5;
}

// Thin wavy strands from `roots`, each `length` long heading along `dir` (radians).
void strands(Layer& layer, cv::RNG& rng, const std::vector<cv::Point2f>& roots,
             const std::vector<float>& dirs, float length, cv::Scalar colour)
{
    Stroke stroke;
    for (size_t i = 0; i < roots.size(); ++i) {
        std::vector<cv::Point> line;
        cv::Point2f p = roots[i];
        float dir = dirs[i];
        const float bend = rng.uniform(-0.04f, 0.04f);
        const int steps = 16;
        for (int s = 0; s <= steps; ++s) {
            line.emplace_back(cv::Point(int(p.x * 16), int(p.y * 16)));
            dir += bend + rng.uniform(-0.05f, 0.05f);
            p += cv::Point2f(std::cos(dir), std::sin(dir)) * (length / steps) * rng.uniform(0.7f, 1.3f);
        }
        cv::Rect box = cv::boundingRect(line);
        box = cv::Rect(box.x / 16 - 2, box.y / 16 - 2, box.width / 16 + 5, box.height / 16 + 5) &
              cv::Rect({}, kSize);
        stroke.drawn(box).setTo(0);
        cv::polylines(stroke.drawn, line, false, cv::Scalar(255), 1, cv::LINE_AA, 4);
        stroke.drawn(box).convertTo(stroke.cover(box), CV_32F, rng.uniform(0.5f, 1.0f) / 255.0);
        layer.paint(stroke.cover, colour * rng.uniform(0.7, 1.3), box);
    }
}

cv::Mat ellipseCover(cv::Point2f centre, cv::Size2f axes, float angle = 0)
{
    cv::Mat drawn = canvas();
    cv::ellipse(drawn, cv::RotatedRect(centre, axes * 2.0f, angle), cv::Scalar(255), cv::FILLED, cv::LINE_AA);
    return coverage(drawn);
}

// A head and shoulders with long hair, centred at x = cx.
Layer figure(const cv::Mat& photo, cv::RNG& rng, float cx, bool hair)
{
    Layer l;
    cv::Mat body = ellipseCover({cx, 1750}, {620, 520});
    l.paint(body, texture(photo, cv::Scalar(90, 60, 150)));
    l.paint(ellipseCover({cx, 1150}, {130, 200}), texture(photo, cv::Scalar(110, 140, 190))); // neck
    l.paint(ellipseCover({cx, 800}, {260, 330}), texture(photo, cv::Scalar(120, 150, 200)));
    if (hair) {
        std::vector<cv::Point2f> roots;
        std::vector<float> dirs;
        for (int i = 0; i < 900; ++i) {
            const float t = rng.uniform(float(CV_PI) * 1.05f, float(CV_PI) * 1.95f);
            roots.emplace_back(cx + 250 * std::cos(t), 780 + 320 * std::sin(t));
            dirs.push_back(t + rng.uniform(-0.6f, 0.6f));
        }
        strands(l, rng, roots, dirs, 260, cv::Scalar(40, 70, 120));
    }
    return l;
}

Layer fur(cv::RNG& rng)
{
    Layer l;
    const cv::Point2f c(1200, 950);
    l.paint(ellipseCover(c, {520, 380}), cv::Scalar(60, 130, 210));
    std::vector<cv::Point2f> roots;
    std::vector<float> dirs;
    for (int i = 0; i < 1500; ++i) {
        const float t = rng.uniform(0.0f, float(2 * CV_PI));
        roots.emplace_back(c.x + 500 * std::cos(t), c.y + 360 * std::sin(t));
        dirs.push_back(t + rng.uniform(-0.4f, 0.4f));
    }
    strands(l, rng, roots, dirs, 90, cv::Scalar(70, 150, 230));
    return l;
}

Layer plant(cv::RNG& rng)
{
    Layer l;
    cv::Mat stem = canvas();
    cv::line(stem, {1200, 1750}, {1180, 400}, cv::Scalar(255), 14, cv::LINE_AA);
    l.paint(coverage(stem), cv::Scalar(40, 110, 60));
    for (int i = 0; i < 14; ++i) {
        const float y = 450 + i * 90, side = i % 2 ? 1.f : -1.f;
        l.paint(ellipseCover({1190 + side * 190, y}, {190, 55}, side * 25 + rng.uniform(-10.f, 10.f)),
                cv::Scalar(50, 190 + rng.uniform(-30, 30), 110));
    }
    std::vector<cv::Point2f> roots;
    std::vector<float> dirs;
    for (int i = 0; i < 40; ++i) {
        roots.emplace_back(1185, rng.uniform(420.f, 1600.f));
        dirs.push_back(i % 2 ? rng.uniform(-0.8f, 0.2f) : float(CV_PI) + rng.uniform(-0.2f, 0.8f));
    }
    strands(l, rng, roots, dirs, 420, cv::Scalar(60, 160, 90));
    return l;
}

Layer glass()
{
    Layer l;
    l.paint(ellipseCover({1200, 1000}, {330, 600}), cv::Scalar(235, 225, 205));
    cv::Mat inside = ellipseCover({1200, 1000}, {330, 600});
    l.alpha = inside * 0.35; // glass lets most of the background through
    cv::Mat rim = canvas();
    cv::ellipse(rim, cv::RotatedRect({1200, 1000}, {660, 1200}, 0), cv::Scalar(255), 10, cv::LINE_AA);
    l.paint(coverage(rim, 0.9f), cv::Scalar(250, 245, 235));
    return l;
}

// Two products: a box and a bottle with a soft cap.
Layer products()
{
    Layer l;
    cv::Mat box = canvas();
    cv::rectangle(box, {500, 700}, {1100, 1500}, cv::Scalar(255), cv::FILLED, cv::LINE_AA);
    l.paint(coverage(box), cv::Scalar(40, 90, 200));
    l.paint(ellipseCover({1650, 1150}, {200, 420}), cv::Scalar(90, 160, 60));
    cv::Mat cap = ellipseCover({1650, 700}, {90, 70});
    cv::GaussianBlur(cap, cap, cv::Size(0, 0), 8);
    l.paint(cap, cv::Scalar(30, 30, 30));
    return l;
}

cv::Mat flat(cv::Scalar colour)
{
    return cv::Mat(kSize, CV_32FC3, colour);
}

cv::Mat busy(cv::RNG& rng, cv::Scalar tint)
{
    cv::Mat b(kSize, CV_32FC3);
    rng.fill(b, cv::RNG::UNIFORM, 0, 255);
    cv::GaussianBlur(b, b, cv::Size(0, 0), 4);
    b.convertTo(b, -1, 2.5, -1.5 * 127.0); // more contrast around mid grey
    for (int x = 0; x < kSize.width; x += 120)
        cv::line(b, {x, 0}, {x + 300, kSize.height}, cv::Scalar(255, 255, 255) - tint, 18);
    return b * 0.6 + cv::Mat(kSize, CV_32FC3, tint) * 0.4;
}

cv::Mat grass(cv::RNG& rng)
{
    cv::Mat g = flat(cv::Scalar(40, 120, 50));
    for (int i = 0; i < 30000; ++i) {
        const cv::Point p(rng.uniform(0, kSize.width), rng.uniform(0, kSize.height));
        cv::line(g, p, p + cv::Point(rng.uniform(-8, 8), -rng.uniform(15, 40)),
                 cv::Scalar(20, rng.uniform(90, 200), rng.uniform(30, 90)), 2, cv::LINE_AA);
    }
    return g;
}

void write(const std::string& dir, std::ofstream& list, const std::string& name, const Layer& l,
           const cv::Mat& background, const char* mode, const char* shadow = "remove")
{
    cv::Mat a3, photo;
    cv::cvtColor(l.alpha, a3, cv::COLOR_GRAY2BGR);
    cv::Mat rest;
    cv::subtract(cv::Scalar::all(1), a3, rest);
    photo = l.fg.mul(a3) + background.mul(rest);
    photo.convertTo(photo, CV_8UC3);
    cv::Mat a16, fg8;
    l.alpha.convertTo(a16, CV_16U, 65535.0);
    l.fg.convertTo(fg8, CV_8UC3);
    cv::imwrite(dir + "/" + name + ".png", photo);
    cv::imwrite(dir + "/" + name + "-alpha.png", a16);
    cv::imwrite(dir + "/" + name + "-fg.png", fg8);
    list << name << " " << mode << " " << shadow << "\n";
    std::printf("%s\n", name.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-composites <astronaut.png> <out folder>\n");
        return 2;
    }
    const cv::Mat photo = cv::imread(argv[1], cv::IMREAD_COLOR);
    if (photo.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string dir = argv[2];
    std::ofstream list(dir + "/cases.txt.part");
    cv::RNG rng(20261207);
    const cv::Mat green = flat(cv::Scalar(40, 170, 40)), magenta = flat(cv::Scalar(200, 40, 200));
    const cv::Mat studio = flat(cv::Scalar(235, 235, 235));

    const Layer hair = figure(photo, rng, 1200, true);
    write(dir, list, "hair-green", hair, green, "person");
    write(dir, list, "hair-magenta", hair, magenta, "person");
    write(dir, list, "hair-busy", hair, busy(rng, cv::Scalar(60, 160, 200)), "person");
    const Layer animal = fur(rng);
    write(dir, list, "fur-green", animal, green, "product");
    write(dir, list, "fur-magenta", animal, magenta, "product");
    write(dir, list, "fur-busy", animal, busy(rng, cv::Scalar(200, 120, 60)), "product");
    const Layer leaves = plant(rng);
    write(dir, list, "plant-magenta", leaves, magenta, "product");
    write(dir, list, "plant-busy", leaves, busy(rng, cv::Scalar(150, 90, 180)), "product");
    const Layer vase = glass();
    write(dir, list, "glass-green", vase, green, "product");
    write(dir, list, "glass-busy", vase, busy(rng, cv::Scalar(60, 60, 200)), "product");

    // Person mode: a ball lying on the grass beside the figure is background.
    cv::Mat lawn = grass(rng);
    cv::circle(lawn, {2150, 1500}, 150, cv::Scalar(30, 30, 220), cv::FILLED, cv::LINE_AA);
    write(dir, list, "person-ball-grass", figure(photo, rng, 1000, true), lawn, "person");
    // Product mode: both objects on a studio sheet belong to the cut-out.
    write(dir, list, "products-studio", products(), studio, "product");
    // ID mode: a shirt patch the colour of the backdrop is still shirt.
    Layer torso = figure(photo, rng, 1200, false);
    const cv::Scalar backdrop(215, 165, 95);
    torso.paint(ellipseCover({1200, 1550}, {130, 110}), backdrop);
    write(dir, list, "id-torso", torso, flat(backdrop), "id");
    // Shadow: a soft contact shadow under a product darkens the sheet.
    Layer item;
    item.paint(ellipseCover({1200, 900}, {380, 500}), cv::Scalar(60, 60, 190));
    cv::Mat shade = ellipseCover({1250, 1420}, {560, 110}) * 0.55;
    cv::GaussianBlur(shade, shade, cv::Size(0, 0), 25);
    cv::Mat shaded;
    cv::cvtColor(1 - shade, shaded, cv::COLOR_GRAY2BGR);
    write(dir, list, "shadow-remove", item, studio.mul(shaded), "product");
    Layer withShadow = item;
    withShadow.alpha = item.alpha + shade.mul(1 - item.alpha);
    cv::Mat keep;
    cv::cvtColor(item.alpha / cv::max(withShadow.alpha, 1e-6), keep, cv::COLOR_GRAY2BGR);
    withShadow.fg = item.fg.mul(keep);
    write(dir, list, "shadow-keep", withShadow, studio.mul(shaded), "product", "keep");
    list.close();
    std::rename((dir + "/cases.txt.part").c_str(), (dir + "/cases.txt").c_str());
    return 0;
}
