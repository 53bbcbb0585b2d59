#pragma once
// A reference for resampled pictures: exact area averaging, each pixel of the result the
// mean of the source area it covers, weighted by how much of each source pixel lies in it
// (so an enlargement repeats pixels, blending only where two meet). A drawing is right when
// it stays within MeanTolerance levels of it on average and within LargestTolerance at
// every channel of every pixel.
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace resampling {

constexpr double MeanTolerance = 2.0;
constexpr int LargestTolerance = 16;

namespace detail {

// For each target index along a side, the source indices it covers and their weights.
struct Span
{
    int first = 0;
    std::vector<double> weights;
};

inline std::vector<Span> spans(int from, int to)
{
    std::vector<Span> out(std::size_t(std::max(to, 0)));
    const double step = double(from) / to;
    for (int i = 0; i < to; ++i) {
        const double a = i * step;
        const double b = (i + 1) * step;
        Span &s = out[std::size_t(i)];
        s.first = int(std::floor(a));
        const int last = std::min(from - 1, int(std::ceil(b)) - 1);
        for (int k = s.first; k <= last; ++k)
            s.weights.push_back((std::min(b, k + 1.0) - std::max(a, double(k))) / step);
    }
    return out;
}

} // namespace detail

// A picture soft at the scale of a pixel, as a camera's is: colour waves fifty to a hundred pixels
// long over a gradient. Resamplers that weigh the right pixels agree on it closely.
inline QImage softPicture(const QSize &size)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const double r = 120 + 60 * std::sin(x / 10.0) + 40 * std::cos(y / 8.0);
            const double g = 110 + 50 * std::sin((x + y) / 14.0) + 0.04 * x;
            const double b = 60 + 120.0 * y / std::max(1, img.height()) + 30 * std::cos((x - 2 * y) / 16.0);
            line[x] = qRgb(std::clamp(int(r), 0, 255), std::clamp(int(g), 0, 255), std::clamp(int(b), 0, 255));
        }
    }
    return img;
}

// The picture area-averaged to exactly this size, RGB32.
inline QImage areaAveraged(const QImage &picture, const QSize &size)
{
    const QImage src = picture.convertToFormat(QImage::Format_RGB32);
    QImage out(size, QImage::Format_RGB32);
    const std::vector<detail::Span> across = detail::spans(src.width(), size.width());
    const std::vector<detail::Span> down = detail::spans(src.height(), size.height());
    std::vector<double> row(std::size_t(src.width()) * 3);
    for (int y = 0; y < size.height(); ++y) {
        std::fill(row.begin(), row.end(), 0.0);
        const detail::Span &rows = down[std::size_t(y)];
        for (std::size_t k = 0; k < rows.weights.size(); ++k) {
            const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(rows.first + int(k)));
            for (int x = 0; x < src.width(); ++x) {
                row[3 * x] += rows.weights[k] * qRed(line[x]);
                row[3 * x + 1] += rows.weights[k] * qGreen(line[x]);
                row[3 * x + 2] += rows.weights[k] * qBlue(line[x]);
            }
        }
        QRgb *outLine = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const detail::Span &cols = across[std::size_t(x)];
            double c[3] = {0, 0, 0};
            for (std::size_t k = 0; k < cols.weights.size(); ++k)
                for (int ch = 0; ch < 3; ++ch)
                    c[ch] += cols.weights[k] * row[3 * (cols.first + int(k)) + ch];
            const auto level = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
            outLine[x] = qRgb(level(c[0]), level(c[1]), level(c[2]));
        }
    }
    return out;
}

// An area's surface of this device size, black, with the picture area-averaged onto the
// device rectangle r (cut to the surface).
inline QImage referenceDrawing(const QSize &surface, const QImage &picture, const QRect &r)
{
    QImage out(surface, QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter p(&out);
    p.drawImage(r.topLeft(), areaAveraged(picture, r.size()));
    return out;
}

struct Difference
{
    double mean = 0;  // over every channel of every pixel
    int largest = 0;
    QPoint where;     // of the largest
    double far = 0;   // the share of channel values more than `farApart` off
    bool sameSize = true;

    bool withinTolerance() const { return sameSize && mean <= MeanTolerance && largest <= LargestTolerance; }
    QString text() const
    {
        if (!sameSize)
            return QStringLiteral("the sizes differ");
        return QStringLiteral("mean difference %1 (at most %2), largest %3 at %4,%5 (at most %6)")
            .arg(mean, 0, 'f', 2)
            .arg(MeanTolerance)
            .arg(largest)
            .arg(where.x())
            .arg(where.y())
            .arg(LargestTolerance);
    }
};

inline Difference difference(const QImage &got, const QImage &wanted, int farApart = LargestTolerance)
{
    Difference d;
    if (got.size() != wanted.size()) {
        d.sameSize = false;
        return d;
    }
    const QImage a = got.convertToFormat(QImage::Format_RGB32);
    const QImage b = wanted.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    qint64 far = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *la = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *lb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (int c : {qRed(la[x]) - qRed(lb[x]), qGreen(la[x]) - qGreen(lb[x]), qBlue(la[x]) - qBlue(lb[x])}) {
                sum += std::abs(c);
                far += std::abs(c) > farApart;
                if (std::abs(c) > d.largest) {
                    d.largest = std::abs(c);
                    d.where = QPoint(x, y);
                }
            }
        }
    }
    d.mean = a.isNull() ? 0 : double(sum) / (3.0 * a.width() * a.height());
    d.far = a.isNull() ? 0 : double(far) / (3.0 * a.width() * a.height());
    return d;
}

} // namespace resampling
