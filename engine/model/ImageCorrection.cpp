#include "engine/model/ImageCorrection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace ravelle::model::detail {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kMaxMoment = kMaxImageOrder;

// A value and its derivative with respect to one quantity.
struct Dual {
    double v = 0.0;
    double d = 0.0;
    Dual() = default;
    Dual(double value, double derivative = 0.0) : v(value), d(derivative) {}
};
inline Dual operator+(Dual a, Dual b) { return {a.v + b.v, a.d + b.d}; }
inline Dual operator*(Dual a, Dual b) { return {a.v * b.v, a.v * b.d + a.d * b.v}; }
inline Dual& operator+=(Dual& a, Dual b) { return a = a + b; }
inline Dual& operator*=(Dual& a, Dual b) { return a = a * b; }
inline double valueOf(double x) { return x; }
inline double valueOf(Dual x) { return x.v; }

const std::array<std::array<double, kMaxMoment + 1>, kMaxMoment + 1>& binomials()
{
    static const auto table = [] {
        std::array<std::array<double, kMaxMoment + 1>, kMaxMoment + 1> b{};
        for (int n = 0; n <= kMaxMoment; ++n) {
            b[n][0] = 1.0;
            for (int k = 1; k <= n; ++k)
                b[n][k] = b[n - 1][k - 1] + (k <= n - 1 ? b[n - 1][k] : 0.0);
        }
        return b;
    }();
    return table;
}

// Moments of the sum of two independent variables: E[(Y + Z)^p].
template <typename T>
std::vector<T> convolve(const std::vector<T>& a, const std::vector<T>& b)
{
    const auto& binomial = binomials();
    const std::size_t size = a.size();
    std::vector<T> sum(size);
    for (std::size_t p = 0; p < size; ++p) {
        T total = 0.0;
        for (std::size_t j = 0; j <= p; ++j)
            if (valueOf(a[j]) != 0.0 || valueOf(b[p - j]) != 0.0)
                total += T(binomial[p][j]) * a[j] * b[p - j];
        sum[p] = total;
    }
    return sum;
}

std::vector<double> pointMoments(std::size_t size)
{
    std::vector<double> moments(size, 0.0);
    moments[0] = 1.0;
    return moments;
}

std::vector<double> power(std::vector<double> base, int n)
{
    std::vector<double> result = pointMoments(base.size());
    for (; n > 0; n >>= 1) {
        if (n & 1)
            result = convolve(result, base);
        if (n > 1)
            base = convolve(base, base);
    }
    return result;
}

// The moments of one group's total offset, in units of P.
std::vector<double> groupMoments(const PreparedGroup& group, double period, std::size_t size)
{
    std::vector<double> position(size, 0.0);
    for (const PositionIsotope& isotope : group.isotopes) {
        const double step = group.coupling * isotope.scale / period;
        const int states = isotope.twiceSpin + 1;
        for (int state = 0; state < states; ++state) {
            const double offset = (state - 0.5 * isotope.twiceSpin) * step;
            double term = isotope.probability / states;
            for (std::size_t p = 0; p < size; ++p, term *= offset)
                position[p] += term;
        }
    }
    return power(std::move(position), group.count);
}

template <typename T>
std::vector<T> shiftMoments(T delta, std::size_t size)
{
    std::vector<T> moments(size);
    T term = 1.0;
    for (std::size_t p = 0; p < size; ++p, term *= delta)
        moments[p] = term;
    return moments;
}

// E[t^p] for a Gaussian of standard deviation s: (p - 1)!! s^p for even p.
template <typename T>
std::vector<T> gaussMoments(T s, std::size_t size)
{
    std::vector<T> moments(size, T(0.0));
    const T s2 = s * s;
    T term = 1.0;
    for (std::size_t p = 0; p < size; p += 2) {
        moments[p] = term;
        term *= s2 * T(static_cast<double>(p + 1));
    }
    return moments;
}

// S_m = sum_{n >= 1} (n - i g)^-m for m = 0 ... last: the first terms summed,
// the rest by the Euler-Maclaurin formula from the midpoint N + 1/2:
// sum_{n > N} f(n) = integral_{N+1/2}^inf f - sum_j B_2j(1/2) / (2j)! f^(2j-1)(N + 1/2).
std::vector<std::complex<double>> latticeSums(double g, int last)
{
    using Complex = std::complex<double>;
    std::vector<Complex> sums(static_cast<std::size_t>(last) + 1);
    const int direct = 64 + static_cast<int>(std::min(4.0 * g, 1e5));
    for (int n = 1; n <= direct; ++n) {
        const Complex r = 1.0 / Complex(n, -g);
        Complex term = 1.0;
        for (int m = 0; m <= last; ++m, term *= r)
            sums[static_cast<std::size_t>(m)] += term;
    }
    const Complex r = 1.0 / Complex(direct + 0.5, -g);
    for (int m = 3; m <= last; ++m) {
        // f(t) = (t - i g)^-m; f^(j) = (-1)^j m (m+1) ... (m+j-1) (t - i g)^-(m+j).
        const auto derivative = [&](int j) {
            Complex value = std::pow(r, m + j);
            for (int i = 0; i < j; ++i)
                value *= -static_cast<double>(m + i);
            return value;
        };
        sums[static_cast<std::size_t>(m)] += std::pow(r, m - 1) / static_cast<double>(m - 1)
                                             + derivative(1) / 24.0 - 7.0 * derivative(3) / 5760.0
                                             + 31.0 * derivative(5) / 967680.0;
    }
    return sums;
}

// The Taylor coefficients e_k P^(k+2) (odd k, zero for even k) of the
// Lorentzian images for gamma = g P, as functions of g.
std::vector<Dual> imageKernel(double g, double dg, int order)
{
    std::vector<Dual> e(static_cast<std::size_t>(order) + 1);
    if (order < 1)
        return e;
    const auto sums = latticeSums(g, order + 3);
    for (int k = 1; k <= order; k += 2) {
        const double scale = 2.0 * (k + 1) / kPi;
        e[static_cast<std::size_t>(k)] = Dual(scale * sums[static_cast<std::size_t>(k) + 2].imag(),
                                              scale * (k + 2) * sums[static_cast<std::size_t>(k) + 3].real() * dg);
    }
    return e;
}

// What one component contributes to the coefficients: weight times
// sum_k e_k E[(v - X)^k] expanded in powers of v.
template <typename T>
void addComponent(std::vector<T>& coefficients, T weight, const std::vector<T>& e, const std::vector<T>& moments)
{
    const auto& binomial = binomials();
    const int order = static_cast<int>(coefficients.size()) - 1;
    for (int q = 0; q <= order; ++q) {
        T total = 0.0;
        for (int k = std::max(q, 1) | 1; k <= order; k += 2) {
            const double sign = (k - q) % 2 == 0 ? 1.0 : -1.0;
            total += e[static_cast<std::size_t>(k)] * T(sign * binomial[k][q]) * moments[static_cast<std::size_t>(k - q)];
        }
        coefficients[static_cast<std::size_t>(q)] += weight * total;
    }
}

// The species' stick spectrum moments, and their derivative with respect to
// one group's coupling (-1: none).
std::vector<Dual> speciesMoments(const PreparedSpecies& species, double period, std::size_t size, int group)
{
    std::vector<double> value = pointMoments(size);
    std::vector<double> others = pointMoments(size);
    std::vector<double> groupPart = pointMoments(size);
    for (std::size_t g = 0; g < species.groups.size(); ++g) {
        const std::vector<double> moments = groupMoments(species.groups[g], period, size);
        value = convolve(value, moments);
        if (static_cast<int>(g) == group)
            groupPart = moments;
        else
            others = convolve(others, moments);
    }
    std::vector<Dual> result(size);
    for (std::size_t p = 0; p < size; ++p)
        result[p].v = value[p];
    if (group < 0)
        return result;
    // The group's offsets scale with its coupling a: d E[X^p] / da = p E[X^p] / a.
    const double coupling = species.groups[static_cast<std::size_t>(group)].coupling;
    if (coupling == 0.0)
        return result;
    for (std::size_t p = 0; p < size; ++p)
        groupPart[p] *= static_cast<double>(p) / coupling;
    const std::vector<double> derivative = convolve(others, groupPart);
    for (std::size_t p = 0; p < size; ++p)
        result[p].d = derivative[p];
    return result;
}

// The coefficients with every input a Dual whose derivative part follows
// `quantity` (none for the plain value).
std::vector<Dual> correction(const PreparedModel& model, const ImageFrame& frame, const ResolvedQuantity* quantity)
{
    const auto size = static_cast<std::size_t>(std::max(frame.order, 0)) + 1;
    std::vector<Dual> coefficients(size);
    if (frame.order < 1)
        return coefficients;
    const double P = frame.period;
    for (const PreparedSpecies& species : model.species) {
        const bool involved = quantity != nullptr && quantity->species == species.index;
        const QuantityKind kind = involved ? quantity->kind : QuantityKind::Field;
        if (quantity != nullptr && !involved)
            continue;
        if (!species.usesGamma)
            continue; // Gaussian lines have no images worth subtracting
        const int group = kind == QuantityKind::Coupling ? quantity->group : -1;
        const std::vector<Dual> moments = speciesMoments(species, P, size, involved ? group : -1);
        for (const PreparedComponent& component : species.components) {
            const double m = component.m;
            const auto seed = [&](QuantityKind a, double da, QuantityKind b, double db, QuantityKind c, double dc) {
                return kind == a ? da : kind == b ? db : kind == c ? dc : 0.0;
            };
            const double sigmaSeed = species.usesSigma ? 1.0 : 0.0;
            const double gammaSeed = species.usesGamma ? 1.0 : 0.0;
            const Dual weight(component.weight, kind == QuantityKind::Weight ? component.probability : 0.0);
            const Dual delta((component.centre - frame.reference) / P,
                             (kind == QuantityKind::Shift ? 1.0 : 0.0) / P
                                 + (kind == QuantityKind::Coupling && group < 0 ? m / P : 0.0));
            const Dual s(component.widths.sigma / P,
                         sigmaSeed * seed(QuantityKind::Sigma, species.sigmaSign, QuantityKind::SigmaLinear, m,
                                          QuantityKind::SigmaQuadratic, m * m) / P);
            const double dg = gammaSeed
                              * seed(QuantityKind::Gamma, 1.0, QuantityKind::GammaLinear, m,
                                     QuantityKind::GammaQuadratic, m * m) / P;
            const std::vector<Dual> e = imageKernel(component.widths.gamma / P, dg, frame.order);
            const std::vector<Dual> distribution
                = convolve(convolve(shiftMoments(delta, size), moments), gaussMoments(s, size));
            addComponent(coefficients, weight, e, distribution);
        }
    }
    return coefficients;
}

} // namespace

double imageRemainder(double g, double ratio, int order)
{
    // |Im (n - i g)^-m| <= min(1, m g / n) n^-m, so
    // |e_k| P^(k+2) <= (2 (k + 1) / pi) min(zeta(k + 2), (k + 2) g zeta(k + 3)).
    const auto zeta = [](int s) { return 1.0 + std::pow(2.0, -s) * (1.0 + 2.0 / (s - 1)); }; // an upper bound
    double total = 0.0;
    double power = std::pow(ratio, order + 2);
    for (int k = std::max(order + 2, 1) | 1; k < order + 2000; k += 2, power *= ratio * ratio) {
        const double term = 2.0 * (k + 1) / kPi * std::min(zeta(k + 2), (k + 2) * g * zeta(k + 3)) * power;
        total += term;
        if (term < 1e-18 * total || power == 0.0)
            break;
    }
    return total;
}

std::vector<double> imageCorrection(const PreparedModel& model, const ImageFrame& frame)
{
    const std::vector<Dual> coefficients = correction(model, frame, nullptr);
    std::vector<double> values(coefficients.size());
    std::transform(coefficients.begin(), coefficients.end(), values.begin(), [](Dual c) { return c.v; });
    return values;
}

std::vector<double> imageCorrectionDerivative(const PreparedModel& model, const ImageFrame& frame,
                                              const ResolvedQuantity& quantity)
{
    if (quantity.kind == QuantityKind::Field) {
        // d/dx of (1 / P^2) sum c_q v^q is (1 / P^2) sum (q + 1) c_(q+1) / P v^q.
        const std::vector<double> value = imageCorrection(model, frame);
        std::vector<double> slope(value.size(), 0.0);
        for (std::size_t q = 0; q + 1 < value.size(); ++q)
            slope[q] = static_cast<double>(q + 1) * value[q + 1] / frame.period;
        return slope;
    }
    const std::vector<Dual> coefficients = correction(model, frame, &quantity);
    std::vector<double> derivatives(coefficients.size());
    std::transform(coefficients.begin(), coefficients.end(), derivatives.begin(), [](Dual c) { return c.d; });
    return derivatives;
}

} // namespace ravelle::model::detail
