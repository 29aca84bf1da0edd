#include "engine/model/FourierModel.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

#include "engine/model/PhaseSeries.h"

namespace ravelle::model::detail {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr double kEpsilon = 0x1p-52;

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
template <typename T>
using FftwBuffer = std::unique_ptr<T[], FftwFree>;

template <typename T>
FftwBuffer<T> fftwBuffer(std::size_t count)
{
    auto* memory = static_cast<T*>(fftw_malloc(sizeof(T) * std::max<std::size_t>(count, 1)));
    if (memory == nullptr)
        throw std::bad_alloc();
    return FftwBuffer<T>(memory);
}

// The transform buffers of the last evaluations on this thread, kept for the
// next one (a fit evaluates the same layout again and again) while they are
// small; fresh pages from the system cost more than the transform.
constexpr std::size_t kKeptBytes = std::size_t{32} << 20;

struct Workspace {
    std::vector<FftwBuffer<fftw_complex>> bins;
    std::vector<std::size_t> binSizes;
    FftwBuffer<double> values;
    std::size_t valueSize = 0;
};

Workspace& workspace()
{
    thread_local Workspace kept;
    return kept;
}

// `count` zeroed bin arrays of `size` entries, and a value array of `values`.
void prepareWorkspace(Workspace& w, std::size_t count, std::size_t size, std::size_t values)
{
    while (w.bins.size() < count) {
        w.bins.push_back(nullptr);
        w.binSizes.push_back(0);
    }
    for (std::size_t o = 0; o < count; ++o) {
        if (w.binSizes[o] < size) {
            w.bins[o].reset();
            w.bins[o] = fftwBuffer<fftw_complex>(size);
            w.binSizes[o] = size;
        }
        std::fill_n(reinterpret_cast<double*>(w.bins[o].get()), 2 * size, 0.0);
    }
    if (w.valueSize < values) {
        w.values.reset();
        w.values = fftwBuffer<double>(values);
        w.valueSize = values;
    }
}

void releaseLargeWorkspace(Workspace& w)
{
    std::size_t bytes = w.valueSize * sizeof(double);
    for (const std::size_t size : w.binSizes)
        bytes += size * sizeof(fftw_complex);
    if (bytes > kKeptBytes)
        w = Workspace{};
}

// Inverse real transforms of each size, planned once. Planning is not thread
// safe in FFTW; executing a plan on new arrays of the same alignment is.
fftw_plan inversePlan(std::int64_t size)
{
    static std::mutex mutex;
    static std::map<std::int64_t, fftw_plan> plans;
    const std::lock_guard lock(mutex);
    auto& plan = plans[size];
    if (plan == nullptr) {
        auto in = fftwBuffer<fftw_complex>(static_cast<std::size_t>(size / 2 + 1));
        auto out = fftwBuffer<double>(static_cast<std::size_t>(size));
        plan = fftw_plan_dft_c2r_1d(static_cast<int>(size), in.get(), out.get(), FFTW_ESTIMATE);
        if (plan == nullptr)
            throw std::bad_alloc();
    }
    return plan;
}

// One group's factor for a block of frequencies, and its derivative with
// respect to the coupling where asked: per position
// p = sum_iso prob (1 / (2I + 1)) sum_m cos(2 m theta), theta = pi f a scale,
// with cos(j theta) = T_j(c) and sin(j theta) = s U_(j-1)(c); the factor is p^n.
class GroupFactor {
public:
    GroupFactor(const PreparedGroup& group, double period) : group_(group)
    {
        for (const PositionIsotope& isotope : group.isotopes)
            if (isotope.twiceSpin > 0)
                phases_.emplace_back(static_cast<long double>(group.coupling) * isotope.scale / (2.0L * period));
    }

    // factor[r] = p^n; derivative[r] = d(p^n)/da when not null; f[r] the frequencies.
    __attribute__((target_clones("avx2", "default"))) void fill(std::int64_t first, std::size_t count, const double* f, double* factor, double* derivative) const
    {
        double position[kBlock];
        double slope[kBlock];
        double c[kBlock], s[kBlock];
        std::fill_n(position, count, 0.0);
        std::fill_n(slope, count, 0.0);
        std::size_t phase = 0;
        for (const PositionIsotope& isotope : group_.isotopes) {
            const double p = isotope.probability;
            if (isotope.twiceSpin == 0) {
                for (std::size_t r = 0; r < count; ++r)
                    position[r] += p;
                continue;
            }
            const PhaseSeries& series = phases_[phase++];
            const double states = isotope.twiceSpin + 1;
            if (derivative == nullptr && isotope.twiceSpin <= 2) {
                // cos theta, and (1 + 2 cos 2 theta) / 3 = (4 cos^2 theta - 1) / 3
                series.fillCos(first, count, c);
                if (isotope.twiceSpin == 1)
                    for (std::size_t r = 0; r < count; ++r)
                        position[r] += p * c[r];
                else
                    for (std::size_t r = 0; r < count; ++r)
                        position[r] += p * (4 * c[r] * c[r] - 1) / 3;
                continue;
            }
            series.fill(first, count, c, s);
            // d/da of cos(2 pi f a scale m) is -2 pi f scale m sin(2 m theta).
            const double slopeScale = -2 * kPi * isotope.scale * p / states;
            for (std::size_t r = 0; r < count; ++r) {
                double t0 = 1.0, t1 = c[r];    // T_(j-1), T_j
                double u0 = 0.0, u1 = 1.0;     // U_(j-2), U_(j-1)
                double cosines = 0.0, sines = 0.0;
                // j runs 1 ... 2I; the states m = j / 2 with j of 2I's parity.
                if (isotope.twiceSpin % 2 == 0)
                    cosines = 1.0;
                for (int j = 1; j <= isotope.twiceSpin; ++j) {
                    if ((isotope.twiceSpin - j) % 2 == 0) {
                        cosines += 2 * t1;
                        sines += j * u1; // 2 |m| sin(2 |m| theta) / s, both signs of m
                    }
                    const double t2 = 2 * c[r] * t1 - t0;
                    const double u2 = 2 * c[r] * u1 - u0;
                    t0 = t1;
                    t1 = t2;
                    u0 = u1;
                    u1 = u2;
                }
                position[r] += p * cosines / states;
                slope[r] += slopeScale * f[r] * s[r] * sines;
            }
        }
        // p^n by squaring, each step over the whole block.
        double power[kBlock];
        std::fill_n(power, count, 1.0);
        std::copy_n(position, count, c);
        for (int exponent = group_.count - 1; exponent > 0; exponent >>= 1) {
            if (exponent & 1)
                for (std::size_t r = 0; r < count; ++r)
                    power[r] *= c[r];
            for (std::size_t r = 0; r < count; ++r)
                c[r] *= c[r];
        }
        for (std::size_t r = 0; r < count; ++r)
            factor[r] = power[r] * position[r];
        if (derivative != nullptr)
            for (std::size_t r = 0; r < count; ++r)
                derivative[r] = group_.count * power[r] * slope[r];
    }

private:
    const PreparedGroup& group_;
    std::vector<PhaseSeries> phases_;
};

// How one output weighs the components: G(k) = kappa f^power sum over its
// species of (product) x sum_c coefficient_c S_c(f) exp(-2 pi i f (mu_c - x0)).
struct OutputPlan {
    Complex kappa = 1.0;
    int power = 0;
    int species = -1;        // -1: every species
    int derivativeGroup = -1; // the group whose factor is replaced by its derivative
    std::vector<std::vector<double>> coefficients; // [species][component]
    std::vector<double> imagePolynomial;
    fftw_complex* bins = nullptr;
};

OutputPlan outputPlan(const PreparedModel& model, const ResolvedQuantity* quantity, int xOrder)
{
    OutputPlan plan;
    const QuantityKind kind = quantity == nullptr ? QuantityKind::Field : quantity->kind;
    plan.species = quantity == nullptr || kind == QuantityKind::Field ? -1 : quantity->species;
    if (kind == QuantityKind::Coupling)
        plan.derivativeGroup = quantity->group;
    plan.coefficients.resize(model.species.size());
    // Every line is a derivative: 2 pi i f, and so is each x-derivative.
    plan.kappa = std::pow(Complex(0.0, 2 * kPi), 1 + xOrder);
    plan.power = 1 + xOrder;
    if (quantity != nullptr && kind == QuantityKind::Field) {
        plan.kappa *= Complex(0.0, 2 * kPi);
        plan.power += 1;
    }
    for (const PreparedSpecies& species : model.species) {
        auto& coefficients = plan.coefficients[static_cast<std::size_t>(species.index)];
        if (plan.species >= 0 && plan.species != species.index)
            continue;
        for (const PreparedComponent& c : species.components) {
            const double m = c.m;
            double coefficient = c.weight;
            // d sigma_c = d|sigma| + m dB + m^2 dC, and d|sigma| / d sigma is its sign.
            const double sigma = species.usesSigma ? c.widths.sigma : 0.0;
            const double gamma = species.usesGamma ? 1.0 : 0.0;
            switch (quantity == nullptr ? QuantityKind::Field : kind) {
            case QuantityKind::Field: break;
            case QuantityKind::Weight: coefficient = c.probability; break;
            case QuantityKind::Coupling: coefficient *= plan.derivativeGroup < 0 ? m : 1.0; break;
            case QuantityKind::Shift: break;
            case QuantityKind::Sigma: coefficient *= sigma * species.sigmaSign; break;
            case QuantityKind::SigmaLinear: coefficient *= sigma * m; break;
            case QuantityKind::SigmaQuadratic: coefficient *= sigma * m * m; break;
            case QuantityKind::Gamma: coefficient *= gamma; break;
            case QuantityKind::GammaLinear: coefficient *= gamma * m; break;
            case QuantityKind::GammaQuadratic: coefficient *= gamma * m * m; break;
            }
            coefficients.push_back(coefficient);
        }
    }
    if (quantity == nullptr)
        return plan;
    switch (kind) {
    case QuantityKind::Coupling:
        if (plan.derivativeGroup < 0) { // the centres m a move
            plan.kappa *= Complex(0.0, -2 * kPi);
            plan.power += 1;
        }
        break;
    case QuantityKind::Shift:
        plan.kappa *= Complex(0.0, -2 * kPi);
        plan.power += 1;
        break;
    case QuantityKind::Sigma:
    case QuantityKind::SigmaLinear:
    case QuantityKind::SigmaQuadratic:
        plan.kappa *= -4 * kPi * kPi;
        plan.power += 2;
        break;
    case QuantityKind::Gamma:
    case QuantityKind::GammaLinear:
    case QuantityKind::GammaQuadratic:
        plan.kappa *= -2 * kPi;
        plan.power += 1;
        break;
    default: break;
    }
    return plan;
}

// The x-derivative of order j of (1 / P^2) sum c_q v^q, as coefficients of v^q.
std::vector<double> differentiated(std::vector<double> coefficients, int j, double period)
{
    for (int i = 0; i < j && !coefficients.empty(); ++i) {
        for (std::size_t q = 0; q + 1 < coefficients.size(); ++q)
            coefficients[q] = static_cast<double>(q + 1) * coefficients[q + 1] / period;
        coefficients.back() = 0.0;
    }
    return coefficients;
}

} // namespace

// The loops over blocks of frequencies are worth the processor's widest
// vector units.
__attribute__((target_clones("avx2", "default"))) FourierResult
evaluateFourier(const PreparedModel& model, const AscendingGrid& grid, const FourierPlan& plan,
                std::span<const ResolvedQuantity> quantities, std::span<const OutputRequest> requests)
{
    const double P = plan.images.period;
    const std::int64_t M = plan.size;
    const auto binCount = static_cast<std::size_t>(M / 2 + 1);

    const ImageCorrector images(model, plan.images);
    Workspace& work = workspace();
    prepareWorkspace(work, requests.size(), binCount, static_cast<std::size_t>(M));
    std::vector<OutputPlan> outputs;
    for (const OutputRequest& request : requests) {
        const ResolvedQuantity* quantity
            = request.quantity < 0 ? nullptr : &quantities[static_cast<std::size_t>(request.quantity)];
        outputs.push_back(outputPlan(model, quantity, request.xOrder));
        OutputPlan& output = outputs.back();
        output.imagePolynomial = differentiated(quantity == nullptr ? images.value() : images.derivative(*quantity),
                                                request.xOrder, P);
        output.bins = work.bins[outputs.size() - 1].get();
    }

    // The factors of every species, the centres and widths of every component.
    struct SpeciesTerms {
        std::vector<GroupFactor> groups;
        std::vector<PhaseSeries> centres;
        std::vector<bool> groupDerivative;
        bool needed = false;
    };
    std::vector<SpeciesTerms> terms(model.species.size());
    for (const PreparedSpecies& species : model.species) {
        SpeciesTerms& t = terms[static_cast<std::size_t>(species.index)];
        t.groupDerivative.assign(species.groups.size(), false);
        for (const OutputPlan& output : outputs) {
            if (output.species < 0 || output.species == species.index)
                t.needed = true;
            if (output.species == species.index && output.derivativeGroup >= 0)
                t.groupDerivative[static_cast<std::size_t>(output.derivativeGroup)] = true;
        }
        for (const PreparedGroup& group : species.groups)
            t.groups.emplace_back(group, P);
        for (const PreparedComponent& component : species.components)
            t.centres.emplace_back(-static_cast<long double>(component.centre - grid.start) / P);
    }

    double f[kBlock];
    double factor[kBlock], product[kBlock], shape[kBlock], re[kBlock], im[kBlock];
    std::size_t mostGroups = 0;
    for (const PreparedSpecies& species : model.species)
        mostGroups = std::max(mostGroups, species.groups.size());
    std::vector<std::vector<double>> groupFactor(mostGroups, std::vector<double>(kBlock));
    std::vector<std::vector<double>> groupSlope(mostGroups, std::vector<double>(kBlock));
    // Real and imaginary parts apart, so the loops below vectorise.
    std::vector<std::vector<double>> sumRe(outputs.size(), std::vector<double>(kBlock));
    std::vector<std::vector<double>> sumIm(outputs.size(), std::vector<double>(kBlock));
    std::vector<double> componentRe, componentIm;
    double magnitude = 0.0; // sum of |G(k)| of F, for the rounding bound
    for (std::int64_t first = 1; first <= plan.frequencies; first += static_cast<std::int64_t>(kBlock)) {
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, plan.frequencies - first + 1));
        for (std::size_t r = 0; r < count; ++r)
            f[r] = static_cast<double>(first + static_cast<std::int64_t>(r)) / P;
        for (std::size_t o = 0; o < outputs.size(); ++o) {
            std::fill_n(sumRe[o].begin(), count, 0.0);
            std::fill_n(sumIm[o].begin(), count, 0.0);
        }
        for (const PreparedSpecies& species : model.species) {
            const SpeciesTerms& t = terms[static_cast<std::size_t>(species.index)];
            if (!t.needed)
                continue;
            const std::size_t groups = species.groups.size();
            std::fill_n(product, count, 1.0);
            for (std::size_t g = 0; g < groups; ++g) {
                t.groups[g].fill(first, count, f, groupFactor[g].data(),
                                 t.groupDerivative[g] ? groupSlope[g].data() : nullptr);
                for (std::size_t r = 0; r < count; ++r)
                    product[r] *= groupFactor[g][r];
            }
            // Each component: its line's transform at its centre.
            const std::size_t components = species.components.size();
            componentRe.resize(components * kBlock);
            componentIm.resize(components * kBlock);
            for (std::size_t c = 0; c < components; ++c) {
                const LineWidths& widths = species.components[c].widths;
                const double alpha = 2 * kPi * kPi * widths.sigma * widths.sigma;
                const double beta = 2 * kPi * widths.gamma;
                // exp(-alpha f^2 - beta f) by products from the block's first frequency.
                const double dk = 1.0 / P;
                double value = std::exp(-alpha * f[0] * f[0] - beta * f[0]);
                double ratio = std::exp(-alpha * dk * (2 * f[0] + dk) - beta * dk);
                const double ratioStep = std::exp(-2 * alpha * dk * dk);
                for (std::size_t r = 0; r < count; ++r) {
                    shape[r] = value;
                    value *= ratio;
                    ratio *= ratioStep;
                }
                t.centres[c].fill(first, count, re, im);
                double* outRe = &componentRe[c * kBlock];
                double* outIm = &componentIm[c * kBlock];
                for (std::size_t r = 0; r < count; ++r) {
                    outRe[r] = shape[r] * re[r];
                    outIm[r] = shape[r] * im[r];
                }
            }
            for (std::size_t o = 0; o < outputs.size(); ++o) {
                const OutputPlan& output = outputs[o];
                if (output.species >= 0 && output.species != species.index)
                    continue;
                const double* weights = output.coefficients[static_cast<std::size_t>(species.index)].data();
                const double* products = product;
                if (output.derivativeGroup >= 0) {
                    // The product with one factor replaced by its derivative.
                    const auto dg = static_cast<std::size_t>(output.derivativeGroup);
                    std::copy_n(groupSlope[dg].data(), count, factor);
                    for (std::size_t g = 0; g < groups; ++g)
                        if (g != dg)
                            for (std::size_t r = 0; r < count; ++r)
                                factor[r] *= groupFactor[g][r];
                    products = factor;
                }
                double* accRe = sumRe[o].data();
                double* accIm = sumIm[o].data();
                for (std::size_t c = 0; c < components; ++c) {
                    if (weights[c] == 0.0)
                        continue;
                    const double* inRe = &componentRe[c * kBlock];
                    const double* inIm = &componentIm[c * kBlock];
                    const double w = weights[c];
                    for (std::size_t r = 0; r < count; ++r) {
                        accRe[r] += w * products[r] * inRe[r];
                        accIm[r] += w * products[r] * inIm[r];
                    }
                }
            }
        }
        // Fold every frequency onto its bin: k and -k (the conjugate) land on
        // k mod M and -k mod M; only bins 0 ... M/2 are stored.
        for (std::size_t o = 0; o < outputs.size(); ++o) {
            OutputPlan& output = outputs[o];
            double* bins = reinterpret_cast<double*>(output.bins); // re, im pairs
            const double kappaRe = output.kappa.real();
            const double kappaIm = output.kappa.imag();
            const bool measured = o == 0 && requests[0].quantity < 0 && requests[0].xOrder == 0;
            std::int64_t bin = first % M;
            for (std::size_t r = 0; r < count; ++r, bin = bin + 1 == M ? 0 : bin + 1) {
                double power = 1.0;
                for (int i = 0; i < output.power; ++i)
                    power *= f[r];
                const double termRe = (sumRe[o][r] * kappaRe - sumIm[o][r] * kappaIm) * power;
                const double termIm = (sumRe[o][r] * kappaIm + sumIm[o][r] * kappaRe) * power;
                if (measured)
                    magnitude += std::fabs(termRe) + std::fabs(termIm);
                if (2 * bin <= M) {
                    bins[2 * bin] += termRe;
                    bins[2 * bin + 1] += termIm;
                }
                const std::int64_t mirror = bin == 0 ? 0 : M - bin;
                if (2 * mirror <= M) {
                    bins[2 * mirror] += termRe;
                    bins[2 * mirror + 1] -= termIm;
                }
            }
        }
    }

    FourierResult result;
    double largest = 0.0; // of the periodic sum and of the images, for the rounding bound
    double largestImages = 0.0;
    const fftw_plan transform = inversePlan(M);
    double* values = work.values.get();
    const auto points = static_cast<std::size_t>(grid.count);
    const double inverseP = 1.0 / P;
    const double inverseP2 = inverseP * inverseP;
    std::vector<double> v(points);
    std::vector<double> imageSum(points);
    for (std::size_t i = 0; i < points; ++i)
        v[i] = (grid.start + static_cast<double>(i) * grid.step - plan.images.reference) * inverseP;
    const double reach = std::max(std::fabs(v[0]), std::fabs(v[points - 1]));
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        fftw_execute_dft_c2r(transform, outputs[o].bins, values);
        std::vector<double> out(points);
        const std::vector<double>& c = outputs[o].imagePolynomial;
        // The terms too small to matter at these points are left out: for F
        // a hundredth of its truncation error, for a derivative 1e-12 of its
        // own size.
        double largestHere = 0.0;
        for (std::size_t i = 0; i < points; ++i)
            largestHere = std::max(largestHere, std::fabs(values[i]));
        const bool plain = o == 0 && requests[0].quantity < 0 && requests[0].xOrder == 0;
        const double limit = plain ? 0.01 * plan.predictedError : 1e-12 * largestHere * inverseP;
        std::size_t degree = c.size();
        for (double rest = 0.0; degree > 0; --degree) {
            rest += std::fabs(c[degree - 1]) * std::pow(reach, static_cast<double>(degree - 1)) * inverseP2;
            if (rest > limit)
                break;
        }
        // The images' polynomial, Horner's rule run over all points at once.
        constexpr std::size_t kChunk = 256; // points at a time, within the L1 cache
        for (std::size_t first = 0; first < points; first += kChunk) {
            const std::size_t n = std::min(kChunk, points - first);
            double* sum = &imageSum[first];
            const double* x = &v[first];
            std::fill_n(sum, n, 0.0);
            for (std::size_t q = degree; q-- > 0;)
                for (std::size_t j = 0; j < n; ++j)
                    sum[j] = sum[j] * x[j] + c[q];
        }
        for (std::size_t i = 0; i < points; ++i)
            out[i] = values[i] * inverseP - imageSum[i] * inverseP2;
        if (plain)
            for (std::size_t i = 0; i < points; ++i) {
                largest = std::max({largest, std::fabs(values[i] * inverseP), std::fabs(imageSum[i] * inverseP2)});
                largestImages = std::max(largestImages, std::fabs(imageSum[i] * inverseP2));
            }
        result.outputs.push_back(std::move(out));
    }
    // Rounding: the recurrences and the transform each add a few units of the
    // last place of the largest terms.
    std::size_t factors = 0;
    for (const PreparedSpecies& species : model.species)
        factors = std::max(factors, species.groups.size());
    releaseLargeWorkspace(work);
    result.errorBound = plan.predictedError
                        + 2 * magnitude / P * kEpsilon * (2.0 * static_cast<double>(kBlock) + 4.0 * static_cast<double>(factors)
                                                         + 2 * std::log2(static_cast<double>(M)))
                        + 64 * kEpsilon * largest
                        // The images' Taylor coefficients and moments carry
                        // the roundings of long sums of powers.
                        + 1e-11 * largestImages;
    return result;
}

} // namespace ravelle::model::detail
