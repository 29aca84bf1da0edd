#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace ravelle {

// The program's value of 2 pi, kept as it has always been.
inline constexpr long double kProgramTwoPi = 6.2831852L;

// A vectorised sum over a window of lines.
struct WindowSum {
    long double value = 0.0L;
    double magnitude = 0.0; // sum of |term|
    double error = 0.0;     // bound on |value - exact sum of the terms|
};

// Working arrays of window sums, as long as the longest window.
struct WindowScratch {
    std::vector<double> offset, exponent, term, termError;
    void reserve(std::size_t count)
    {
        for (std::vector<double>* array : {&offset, &exponent, &term, &termError})
            array->resize(count);
    }
};

// The line shape laid on every hyperfine line: the derivative with respect
// to the field x of a line of unit area centred at x0. It is the Gaussian
// derivative of the given sigma,
//   (x0 - x) exp(-(x - x0)^2 / 2 / s / s) / sqrt(6.2831852 s s) / s / s.
// Whatever depends on the shape is asked of it: its term as the literal
// synthesis evaluates it, a vectorised sum of many terms, how far its tails
// reach, its Fourier transform, and the bounds built on them. Another shape
// (a Lorentzian, a Voigt profile) gives its own answers here and its callers
// stay as they are.
//
// Nothing computed on construction can raise a status flag, so a shape can
// be made between clearing and testing the flags.
class LineShape {
public:
    explicit LineShape(double sigma);

    // |sigma|: the scale of the shape's features.
    double width() const { return width_; }

    // --- Single terms, as the literal synthesis evaluates them.

    // One term in extended precision, in the order of operations of the
    // formula above. Unchecked: the status flags say what failed.
    long double term(double x, double x0) const
    {
        const long double difference = static_cast<long double>(x) - x0;
        const long double exponent = -difference * difference / 2 / sigma_ / sigma_;
        return std::exp(exponent) * (static_cast<long double>(x0) - x) / normalisation_ / sigma_ / sigma_;
    }

    // The same term in double precision, far into the tails too, with a
    // bound on its error in `error`: several times faster, for sums that
    // must know the sign of the literal terms' total rather than its bits.
    double farTerm(double x, double x0, double& error) const;

    // The same term checked after every operation, so that the first failure
    // is the one reported (sigma 0 divides by zero, or 0 / 0 on the line
    // itself; a term beyond the double range overflows). Rounded to a double.
    double checkedTerm(double x, double x0) const;

    // --- Tails.

    // The largest |term| of a line of unit weight, and its logarithm.
    double largestTerm() const;
    double logLargestTerm() const;
    // The distance of the largest |term| from its line; beyond it |term|
    // shrinks with the distance.
    double peakDistance() const { return width_; }
    // The largest |term| of a line of unit weight at `distance` or more from it.
    double tailBound(double distance) const;
    // How much farther than `distance` `lines` lines of unit weight must lie
    // for all their terms together to stay below `fraction` of the largest
    // term at `distance`; at most `limit`.
    double relevantDepth(double distance, double lines, double fraction, double limit) const;
    // A distance, a whole number of widths, beyond which every term is below
    // `fraction` of the largest.
    double reach(double fraction) const;
    // The distance beyond which a term, rounded to a double, is exactly 0;
    // zero when no term can be nonzero at all.
    double exactReach() const;

    // --- Bounds on many lines of unit weight at any point.

    // The sum of their |slopes| (d term / dx).
    double slopeBound(double lines) const;
    // The largest |second derivative| of their sum.
    double curvatureBound(double lines) const;

    // --- Window sums: sum_j weight_j term(x, position_j) over a window of
    // lines near x.

    // In double precision, vectorised, for lines within windowLimit() of x
    // (usually reach(kWindowFraction)). The weights carry the factor
    // windowScale(); `scratch` holds at least `count` entries, and then each
    // weighted term in scratch.term, a bound on its error in units of the
    // rounding 2^-53 in scratch.termError.
    double windowScale() const;
    double windowLimit() const;
    WindowSum windowSum(double x, const double* position, const double* scaledWeight, std::size_t count,
                        WindowScratch& scratch) const;
    // The terms of one line of unit weight at x0 at `count` points x, each
    // within windowLimit() of x0, vectorised: into scratch.term, with bounds
    // on their errors in units of 2^-53 in scratch.termError.
    void lineTerms(double x0, const double* x, std::size_t count, WindowScratch& scratch) const;
    // The literal method's own stored terms, each times its weight, summed in
    // extended precision, for lines at any distance.
    WindowSum storedTermSum(double x, const double* position, const double* weight, std::size_t count) const;

    // --- The Fourier transform. A line at p has the transform
    // fourierScale() 2 pi i f E(f) exp(-2 pi i f p) with the real envelope
    // E(f) = exp(exponent(f)), E(0) = 1.

    long double fourierScale() const;
    // The frequency beyond which the envelope is negligible: what is left
    // out there is truncationBound.
    double frequencyLimit() const;
    // The envelope's exponents at the frequencies k[j] / period, each at least
    // -708 up to frequencyLimit().
    void envelopeExponents(const double* k, double* exponent, std::size_t count, long double period) const;
    // What the frequencies beyond frequencyLimit() add to a sum of `lines`
    // lines at most.
    double truncationBound(double lines) const;

    // --- A majorant: an even function m(d) >= 0 with m(0) = 1 whose sum over
    // the lines bounds the sums of |term| and |slope| from above (for the
    // Gaussian exp(-d^2 / 4 s^2)). A line at p has the transform
    // majorantFourierScale() M(f) exp(-2 pi i f p) with M(0) = 1.

    long double majorantFourierScale() const;
    // M at the frequencies where the shape's envelope is `envelope`.
    void majorantEnvelope(const double* envelope, double* out, std::size_t count) const;
    // m at `distance` or more.
    double majorantBeyond(double distance) const;
    // What the frequencies beyond frequencyLimit() add to the majorant's sum.
    double majorantTruncationBound(double lines) const;
    // Bounds on sum |term| and sum |slope| from a bound M on sum m.
    double termBoundFromMajorant(double majorant) const;
    double slopeBoundFromMajorant(double majorant) const;

    // The usual reach of a window sum is reach(kWindowFraction).
    static constexpr double kWindowFraction = 1e-20;

private:
    // The logarithm of tailBound, finite where the bound underflows.
    double logTailBound(double distance) const;
    // The terms -q exp(-q^2 / 2) factor(j) at q = offset(j) / s.
    template <typename Offset, typename Factor>
    void scaledTerms(Offset offset, Factor factor, std::size_t count, WindowScratch& scratch) const;

    long double sigma_;         // as given: the literal terms use it as it is
    double width_;              // |sigma|
    long double normalisation_; // sqrt(6.2831852 s s)
    double logScale_;           // ln(1 / (sqrt(6.2831852) s^2)), the log of the term scale
};

} // namespace ravelle
