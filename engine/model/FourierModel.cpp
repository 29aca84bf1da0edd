#include "engine/model/FourierModel.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "engine/model/GroupFactor.h"
#include "engine/model/InverseTransform.h"
#include "engine/model/PhaseSeries.h"

namespace ravelle::model::detail {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr double kEpsilon = 0x1p-52;

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
    Workspace& work = preparedWorkspace(requests.size(), binCount, static_cast<std::size_t>(M));
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
