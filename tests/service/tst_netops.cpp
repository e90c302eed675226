// Our own kernels for the network's operators. The enlargement's against
// cv::resize, an independent bilinear resize, channel by channel; each operator
// against aten's (which it hands all but its own cases to); and graphs run
// through the interpreter after the pass has put the operators in, against the
// same graphs as they were.

// Torch uses `slots` as a name, which Qt defines as a macro: torch comes first.
#include <ATen/ATen.h>
#include <torch/csrc/jit/ir/irparser.h>
#include <torch/csrc/jit/runtime/graph_executor.h>

#include "netops.h"
#include "testutils.h"
#include "upsample2x.h"

#include <QGuiApplication>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace {

// cv::resize(INTER_LINEAR) to twice the size, channel by channel.
cv::Mat reference(const cv::Mat& img)
{
    std::vector<cv::Mat> planes;
    cv::split(img, planes);
    for (cv::Mat& plane : planes)
        cv::resize(plane, plane, cv::Size(), 2, 2, cv::INTER_LINEAR);
    cv::Mat out;
    cv::merge(planes, out);
    return out;
}

// The kernel over the rows in `calls` slices, as threads would share them.
template <class T> cv::Mat enlarged(const cv::Mat& img, int calls)
{
    cv::Mat out(2 * img.rows, 2 * img.cols, img.type());
    for (int k = 0; k < calls; ++k)
        upsample2x::rows(img.ptr<T>(), img.rows, img.cols, img.channels(), out.ptr<T>(), img.rows * k / calls,
                         img.rows * (k + 1) / calls);
    return out;
}

at::Tensor viaOp(const at::Tensor& x, int factor, bool alignCorners)
{
    const std::vector<int64_t> size{factor * x.size(2), factor * x.size(3)};
    return netops::upsample(x, at::IntArrayRef(size), alignCorners, c10::nullopt);
}

} // namespace

class TestNetOps : public QObject
{
    Q_OBJECT

private slots:
    void kernels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("calls");
        QTest::newRow("one pixel") << QSize(1, 1) << 1 << 1;
        QTest::newRow("one row") << QSize(9, 1) << 3 << 1;
        QTest::newRow("one column") << QSize(1, 7) << 16 << 1;
        QTest::newRow("odd sides, many channels") << QSize(13, 11) << 64 << 1;
        QTest::newRow("rows split over three calls") << QSize(37, 29) << 5 << 3;
        QTest::newRow("a feature map") << QSize(128, 96) << 32 << 2;
    }
    void kernels()
    {
        QFETCH(QSize, size);
        QFETCH(int, channels);
        QFETCH(int, calls);
        cv::Mat f(size.height(), size.width(), CV_32FC(channels));
        cv::randu(f, -3.0, 3.0);
        QVERIFY(cv::norm(enlarged<float>(f, calls), reference(f), cv::NORM_INF) < 1e-5);

        // Whole levels: the reference's sixteenths are exact, so rounding is checked
        // exactly, halves to even included.
        cv::Mat q(size.height(), size.width(), CV_8UC(channels)), qf;
        cv::randu(q, 0, 256);
        q.convertTo(qf, CV_32F);
        cv::Mat expected = reference(qf);
        expected.reshape(1).forEach<float>([](float& v, const int*) { v = std::nearbyint(v); });
        cv::Mat ours;
        enlarged<std::uint8_t>(q, calls).convertTo(ours, CV_32F);
        QCOMPARE(cv::norm(ours, expected, cv::NORM_INF), 0.0);
    }

    // `ownKernel`: the result is the kernel's, else aten's, to the last bit.
    void upsample_data()
    {
        QTest::addColumn<bool>("quantized");
        QTest::addColumn<bool>("channelsLast");
        QTest::addColumn<int>("factor");
        QTest::addColumn<bool>("alignCorners");
        QTest::addColumn<bool>("ownKernel");
        QTest::newRow("float, channels last") << false << true << 2 << false << true;
        QTest::newRow("uint8, channels last") << true << true << 2 << false << true;
        QTest::newRow("float, planar") << false << false << 2 << false << false;
        QTest::newRow("uint8, by three") << true << true << 3 << false << false;
        QTest::newRow("float, corners aligned") << false << true << 2 << true << false;
    }
    void upsample()
    {
        QFETCH(bool, quantized);
        QFETCH(bool, channelsLast);
        QFETCH(int, factor);
        QFETCH(bool, alignCorners);
        QFETCH(bool, ownKernel);
        at::manual_seed(7);
        at::Tensor x = at::rand({2, 6, 5, 7}); // two images: rows of both are shared out
        if (channelsLast)
            x = x.contiguous(at::MemoryFormat::ChannelsLast);
        if (quantized)
            x = at::quantize_per_tensor(x, 0.01, 3, at::kQUInt8);
        const at::Tensor ours = viaOp(x, factor, alignCorners);
        at::Tensor expected;
        if (ownKernel) {
            expected = quantized ? at::empty(ours.sizes(), at::kByte) : at::empty_like(ours);
            for (int64_t i = 0; i < x.size(0); ++i) {
                const at::Tensor img = (quantized ? x[i].int_repr() : x[i]).permute({1, 2, 0}).contiguous();
                const cv::Mat m(int(img.size(0)), int(img.size(1)), quantized ? CV_8UC(6) : CV_32FC(6),
                                img.data_ptr());
                const cv::Mat up = quantized ? enlarged<std::uint8_t>(m, 1) : enlarged<float>(m, 1);
                const at::Tensor t =
                    at::from_blob(up.data, {up.rows, up.cols, 6}, quantized ? at::kByte : at::kFloat);
                expected[i] = t.permute({2, 0, 1});
            }
        } else {
            const std::vector<int64_t> size{factor * x.size(2), factor * x.size(3)};
            expected = at::upsample_bilinear2d(x, at::IntArrayRef(size), alignCorners, c10::nullopt);
        }
        if (quantized) {
            QCOMPARE(ours.q_scale(), x.q_scale());
            QCOMPARE(ours.q_zero_point(), x.q_zero_point());
        }
        const at::Tensor a = quantized ? ours.int_repr() : ours;
        const at::Tensor b = quantized && !ownKernel ? expected.int_repr() : expected;
        QVERIFY(at::equal(a, b));
    }

    // Values on exact halves (ties go to even, as aten rounds) and far outside
    // the 8-bit range (clamped). The last two rows are aten's to take.
    void quantize_data()
    {
        QTest::addColumn<int>("layout"); // 0 planar, 1 channels last, 2 a strided view
        QTest::addColumn<int>("dtype");
        QTest::newRow("channels last") << 1 << int(at::kQUInt8);
        QTest::newRow("planar") << 0 << int(at::kQUInt8);
        QTest::newRow("strided view") << 2 << int(at::kQUInt8);
        QTest::newRow("signed") << 1 << int(at::kQInt8);
    }
    void quantize()
    {
        QFETCH(int, layout);
        QFETCH(int, dtype);
        at::Tensor x = (at::randint(-600, 600, {2, 3, 6, 8}) * 0.125).to(at::kFloat);
        if (layout == 1)
            x = x.contiguous(at::MemoryFormat::ChannelsLast);
        if (layout == 2)
            x = x.slice(3, 0, 8, 2);
        const at::Tensor scale = at::full({}, 0.25, at::kDouble), zp = at::full({}, 100, at::kLong);
        const at::Tensor ours = netops::quantize(x, scale, zp, at::ScalarType(dtype));
        const at::Tensor theirs = at::quantize_per_tensor(x, scale, zp, at::ScalarType(dtype));
        QVERIFY(ours.scalar_type() == theirs.scalar_type());
        QCOMPARE(ours.q_scale(), 0.25);
        QCOMPARE(ours.q_zero_point(), int64_t(100));
        QVERIFY(at::equal(ours.int_repr(), theirs.int_repr()));
        if (layout == 1)
            QVERIFY(ours.is_contiguous(at::MemoryFormat::ChannelsLast));
    }

    void dequantize_data()
    {
        QTest::addColumn<int>("layout"); // as above
        QTest::newRow("channels last") << 1;
        QTest::newRow("planar") << 0;
        QTest::newRow("strided view") << 2;
    }
    void dequantize()
    {
        QFETCH(int, layout);
        at::Tensor q = at::quantize_per_tensor(at::rand({2, 5, 4, 6}) * 3 - 1, 0.0123, 77, at::kQUInt8);
        if (layout == 1)
            q = q.contiguous(at::MemoryFormat::ChannelsLast);
        if (layout == 2)
            q = q.slice(3, 0, 6, 2);
        const at::Tensor zp = at::full({}, 77, at::kLong), scale = at::full({}, 0.0123, at::kDouble);
        const at::Tensor ours = netops::dequantize(q, zp, scale);
        QVERIFY(at::equal(ours, q.int_repr().to(at::kFloat).sub_(zp).mul_(scale)));
        QVERIFY(ours.suggest_memory_format() == q.suggest_memory_format());
    }

    // Convolutions aten would run natively (small inputs), and what must stay
    // aten's. `oneDnn`: the result is oneDNN's, to the bit.
    void convolution_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("dilation");
        QTest::addColumn<bool>("transposed");
        QTest::addColumn<bool>("oneDnn");
        QTest::newRow("small input") << 16 << 32 << 1 << false << true;
        QTest::newRow("small, dilated") << 16 << 8 << 4 << false << true;
        QTest::newRow("large input") << 32 << 64 << 1 << false << true;
        QTest::newRow("transposed") << 16 << 8 << 1 << true << false;
    }
    void convolution()
    {
        QFETCH(int, channels);
        QFETCH(int, side);
        QFETCH(int, dilation);
        QFETCH(bool, transposed);
        QFETCH(bool, oneDnn);
        at::manual_seed(3);
        const at::Tensor x = at::rand({1, channels, side, side}).contiguous(at::MemoryFormat::ChannelsLast);
        const at::Tensor w = at::rand({channels, channels, 3, 3}) - 0.5, b = at::rand({channels});
        const std::vector<int64_t> one{1, 1}, pad{dilation, dilation}, dil{dilation, dilation}, none{0, 0};
        const at::Tensor ours =
            netops::convolution(x, w, b, one, pad, dil, transposed, none, 1, false, false, false, false);
        const at::Tensor theirs =
            at::_convolution(x, w, b, one, pad, dil, transposed, none, 1, false, false, false, false);
        QVERIFY(at::allclose(ours, theirs, 1e-5, 1e-4));
        QVERIFY(at::equal(ours, oneDnn ? at::mkldnn_convolution(x, w, b, pad, one, dil, 1) : theirs));
    }

    // Each graph takes the same inputs; `ours` and `gone` name the operators the
    // pass must have put in and taken out.
    void graphs_data()
    {
        QTest::addColumn<QString>("ir");
        QTest::addColumn<QStringList>("ours");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("enlargement") << QString(R"IR(
graph(%x : Tensor, %scale : Tensor, %zp : Tensor):
  %size : int[] = prim::Constant[value=[10, 14]]()
  %aligned : bool = prim::Constant[value=0]()
  %scales : NoneType = prim::Constant()
  %y : Tensor = aten::upsample_bilinear2d(%x, %size, %aligned, %scales)
  return (%y))IR") << QStringList{"brisel::upsample_bilinear2d"}
                                     << QStringList{"aten::upsample_bilinear2d"};
        // The int8 network's input and output as saved.
        const QString chain(R"IR(
graph(%x : Tensor, %scale : Tensor, %zp : Tensor):
  %quint8 : int = prim::Constant[value=13]()
  %float : int = prim::Constant[value=6]()
  %no : bool = prim::Constant[value=0]()
  %none : NoneType = prim::Constant()
  %one : int = prim::Constant[value=1]()
  %q : Tensor = aten::quantize_per_tensor(%x, %scale, %zp, %quint8)
  %i : Tensor = aten::int_repr(%q)
  %f : Tensor = aten::to(%i, %float, %no, %no, %none)
  %s : Tensor = aten::sub_(%f, %zp, %one)
  %y : Tensor = aten::mul_(%s, %scale)
)IR");
        QTest::newRow("quantize, dequantize as saved")
            << chain + "  return (%y)" << QStringList{"brisel::quantize_per_tensor", "brisel::dequantize"}
            << QStringList{"aten::quantize_per_tensor", "aten::int_repr", "aten::to", "aten::sub_",
                           "aten::mul_"};
        // The chain's float is also used elsewhere: it must stay as it is.
        QTest::newRow("a chain with another use")
            << chain + "  %z : Tensor = aten::add(%y, %f, %one)\n  return (%z)"
            << QStringList{"brisel::quantize_per_tensor"} << QStringList{"aten::quantize_per_tensor"};
    }
    void graphs()
    {
        QFETCH(QString, ir);
        QFETCH(QStringList, ours);
        QFETCH(QStringList, gone);
        auto graph = std::make_shared<torch::jit::Graph>();
        torch::jit::parseIR(ir.toStdString(), graph.get());
        const std::shared_ptr<torch::jit::Graph> before = graph->copy();
        netops::install(*graph);
        QStringList kinds;
        for (const torch::jit::Node* node : graph->nodes())
            kinds << QString::fromLatin1(node->kind().toQualString());
        for (const QString& kind : ours)
            QVERIFY2(kinds.contains(kind), qPrintable(kind));
        for (const QString& kind : gone)
            QVERIFY2(!kinds.contains(kind), qPrintable(kind));

        const at::Tensor x = (at::rand({1, 4, 5, 7}) * 2).contiguous(at::MemoryFormat::ChannelsLast);
        const at::Tensor scale = at::full({}, 0.01, at::kDouble), zp = at::full({}, 20, at::kLong);
        const auto run = [&](const std::shared_ptr<torch::jit::Graph>& g) {
            torch::jit::GraphExecutor executor(g, "netops");
            torch::jit::Stack stack{x, scale, zp};
            executor.run(stack);
            return stack.back().toTensor();
        };
        const at::Tensor a = run(graph), b = run(before);
        // The enlargement's last bits are the kernel's own; the others are aten's to the bit.
        QVERIFY(at::allclose(a, b, 0, 1e-6));
        if (!ours.contains("brisel::upsample_bilinear2d"))
            QVERIFY(at::equal(a, b));
    }
};

BRISEL_TEST_GUILESS_MAIN(TestNetOps)
#include "tst_netops.moc"
