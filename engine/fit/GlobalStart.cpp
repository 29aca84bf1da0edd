#include "engine/fit/GlobalStart.h"

#include <Eigen/Dense>
#include <unsupported/Eigen/FFT>

#include <algorithm>
#include <cmath>
#include <complex>

namespace ravelle::fit {

namespace {

// The data are binned on at most this many grid points, and the grid is
// never finer than a quarter of the narrowest line: finer would cost time
// and tell nothing more about where the lines are.
constexpr double kMostGridPoints = 32768;
constexpr double kLinesPerStep = 4;

using Complex = std::complex<double>;

// The data on an even grid x_j = start + j step: the weighted mean of the
// points nearest each node, with the sum of their weights squared (how many
// points it stands for; 0 where none fell).
struct Binned {
    double start = 0.0;
    double step = 0.0;
    std::vector<double> value;
    std::vector<double> weight;
};

Binned binned(const Samples& samples, double step)
{
    Binned bins;
    const auto field = samples.field();
    const auto data = samples.data();
    const auto weight = samples.weight();
    bins.start = field.front();
    bins.step = step;
    const auto count = static_cast<std::size_t>(std::floor((field.back() - field.front()) / step)) + 1;
    bins.value.assign(count, 0.0);
    bins.weight.assign(count, 0.0);
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto j = std::min(count - 1, static_cast<std::size_t>(std::lround((field[i] - bins.start) / step)));
        const double w = weight.empty() ? 1.0 : weight[i] * weight[i];
        bins.value[j] += w * data[i];
        bins.weight[j] += w;
    }
    for (std::size_t j = 0; j < count; ++j)
        if (bins.weight[j] > 0)
            bins.value[j] /= bins.weight[j];
    return bins;
}

// Cross-correlations d_m = sum_i a_i t_(i+m), m = 0 ... lags - 1, of several
// data arrays a with one template t, by FFT.
class Correlator {
public:
    Correlator(std::size_t size) : size_(size)
    {
        fft_.SetFlag(Eigen::FFT<double>::HalfSpectrum);
    }

    std::vector<Complex> spectrum(std::vector<double> values)
    {
        values.resize(size_, 0.0);
        std::vector<Complex> out(size_ / 2 + 1);
        fft_.fwd(out.data(), values.data(), static_cast<Eigen::Index>(size_));
        return out;
    }

    std::vector<double> correlate(const std::vector<Complex>& data, const std::vector<Complex>& shape,
                                  std::size_t lags)
    {
        std::vector<Complex> product(data.size());
        for (std::size_t k = 0; k < data.size(); ++k)
            product[k] = std::conj(data[k]) * shape[k];
        std::vector<double> out(size_);
        fft_.inv(out.data(), product.data(), static_cast<Eigen::Index>(size_));
        out.resize(lags);
        return out;
    }

private:
    std::size_t size_;
    Eigen::FFT<double> fft_;
};

std::size_t powerOfTwoFrom(std::size_t n)
{
    std::size_t size = 1;
    while (size < n)
        size *= 2;
    return size;
}

} // namespace

std::optional<SearchResult> searchStart(const Samples& samples, const SearchSpace& space, const TemplateOf& templateOf,
                                        const WorkTick& tick)
{
    const auto field = samples.field();
    if (field.size() < 4 || !(field.back() > field.front()))
        return std::nullopt;
    const double range = field.back() - field.front();
    const double narrowest =
        space.narrowestLine * *std::min_element(space.widthFactors.begin(), space.widthFactors.end());
    double step = std::max(range / kMostGridPoints, medianSpacing(field));
    step = std::max(step, std::min(narrowest / kLinesPerStep, range / 256));
    const Binned bins = binned(samples, step);
    const std::size_t points = bins.value.size();
    const auto reach = static_cast<std::size_t>(std::ceil(std::max(space.reach, 0.0) / step));
    const std::size_t lags = 2 * reach + 1;
    const std::size_t length = points + 2 * reach; // the template's points
    Correlator correlator(powerOfTwoFrom(length));

    // Offsets of the nodes from the starting centre, and the data's sums.
    std::vector<double> wy(points), w(points), wx(points);
    double n = 0, sy = 0, sx = 0, sxx = 0, sxy = 0, syy = 0;
    for (std::size_t j = 0; j < points; ++j) {
        const double x = bins.start + static_cast<double>(j) * step - space.centre;
        const double y = bins.value[j];
        w[j] = bins.weight[j];
        wy[j] = w[j] * y;
        wx[j] = w[j] * x;
        n += w[j];
        sy += w[j] * y;
        sx += w[j] * x;
        sxx += w[j] * x * x;
        sxy += w[j] * x * y;
        syy += w[j] * y * y;
    }
    const auto wySpectrum = correlator.spectrum(wy);
    const auto wSpectrum = correlator.spectrum(w);
    const auto wxSpectrum = correlator.spectrum(wx);

    std::optional<SearchResult> best;
    std::vector<double> bestRss; // of the best factor's lags
    std::size_t bestLag = 0;
    for (std::size_t f = 0; f < space.widthFactors.size(); ++f) {
        const double factor = space.widthFactors[f];
        const double first = bins.start - space.centre - static_cast<double>(reach) * step;
        std::vector<double> shape = templateOf(factor, first, step, length);
        if (shape.size() != length) {
            if (tick && !tick(static_cast<double>(f + 1) / static_cast<double>(space.widthFactors.size())))
                return std::nullopt;
            continue;
        }
        std::vector<double> square(length);
        for (std::size_t j = 0; j < length; ++j)
            square[j] = shape[j] * shape[j];
        const auto shapeSpectrum = correlator.spectrum(shape);
        const auto squareSpectrum = correlator.spectrum(square);
        const auto cy = correlator.correlate(wySpectrum, shapeSpectrum, lags);
        const auto c1 = correlator.correlate(wSpectrum, shapeSpectrum, lags);
        const auto cx = correlator.correlate(wxSpectrum, shapeSpectrum, lags);
        const auto c2 = correlator.correlate(wSpectrum, squareSpectrum, lags);
        std::optional<double> fixed;
        if (space.fixedAmplitude)
            fixed = space.fixedAmplitude(factor);
        double largest = 0.0;
        for (const double s2 : c2)
            largest = std::max(largest, s2);

        std::vector<double> rss(lags, INFINITY);
        for (std::size_t m = 0; m < lags; ++m) {
            // Lag m puts the centre at start - (m - reach) step.
            const double s2 = c2[m];
            if (!(s2 > 1e-6 * largest))
                continue; // the model hardly overlaps the data here
            double amplitude = 0, offset = 0, slope = 0, residual = 0;
            if (fixed) {
                // y - a t = b + s x
                amplitude = *fixed;
                Eigen::Matrix2d normal;
                Eigen::Vector2d right;
                normal << n, sx, sx, sxx;
                right << sy - amplitude * c1[m], sxy - amplitude * cx[m];
                const int k = space.slope ? 2 : 1;
                Eigen::Vector2d solution = Eigen::Vector2d::Zero();
                solution.head(k) = normal.topLeftCorner(k, k).ldlt().solve(right.head(k));
                offset = solution[0];
                slope = solution[1];
                residual = syy - 2 * amplitude * cy[m] + amplitude * amplitude * s2 - solution.dot(right);
            } else {
                Eigen::Matrix3d normal;
                Eigen::Vector3d right;
                normal << s2, c1[m], cx[m], c1[m], n, sx, cx[m], sx, sxx;
                right << cy[m], sy, sxy;
                const int k = space.slope ? 3 : 2;
                Eigen::Vector3d solution = Eigen::Vector3d::Zero();
                const auto ldlt = normal.topLeftCorner(k, k).ldlt();
                if (ldlt.info() != Eigen::Success)
                    continue;
                solution.head(k) = ldlt.solve(right.head(k));
                amplitude = solution[0];
                offset = solution[1];
                slope = solution[2];
                residual = syy - solution.dot(right);
            }
            if (!std::isfinite(residual) || amplitude == 0.0)
                continue;
            rss[m] = residual;
            if (!best || residual < best->rss) {
                const double shift = (static_cast<double>(m) - static_cast<double>(reach)) * step;
                best = SearchResult{space.centre - shift, factor, amplitude, offset - slope * shift, slope, residual};
                bestLag = m;
                bestRss.clear();
            }
        }
        if (best && best->widthFactor == factor)
            bestRss = rss;
        if (tick && !tick(static_cast<double>(f + 1) / static_cast<double>(space.widthFactors.size())))
            return std::nullopt;
    }
    // Between grid nodes: the vertex of the parabola through the best lag and
    // its neighbours.
    if (best && bestLag > 0 && bestLag + 1 < lags && std::isfinite(bestRss[bestLag - 1]) &&
        std::isfinite(bestRss[bestLag + 1])) {
        const double before = bestRss[bestLag - 1];
        const double after = bestRss[bestLag + 1];
        const double curvature = before - 2 * best->rss + after;
        if (curvature > 0)
            best->centre -= 0.5 * (before - after) / curvature * step;
    }
    return best;
}

} // namespace ravelle::fit
