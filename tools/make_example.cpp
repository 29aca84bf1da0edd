// Writes data/example.dat: a made-up but realistic X-band measurement of the
// nitrobenzene radical anion (electrolytic reduction in DMF), for trying the
// program out.
//
// Couplings (gauss): a(N) = 10.32; a(H) = 3.97 (para), 3.39 (two ortho),
// 1.09 (two meta): 96 lines over about 34 G. Entered in the main window as
// N1 10.32 and H1 ... H5 3.97, 3.39, 3.39, 1.09, 1.09.
//
// The "measurement" differs from what the program simulates on purpose, as a
// real one would: the lines are 75 % Gaussian and 25 % Lorentzian (equal
// peak-to-peak widths, sigma 0.14 G), the radical sits 0.72 G above the middle
// of the sweep, and the trace carries a baseline offset, a slight drift and
// noise. The noise is seeded, so the file comes out the same on every run.
//
// Usage: make_example <output file>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/Synthesis.h"
#include "engine/UserError.h"

namespace {

constexpr double kSweepStart = 3322.50; // gauss
constexpr double kSweepStep = 0.05;
constexpr int kPointCount = 1000;
constexpr double kRadicalCentre = 3348.20;
constexpr double kSigma = 0.14;
constexpr double kLorentzianShare = 0.25;
constexpr double kPeakToPeak = 8500.0; // detector counts
constexpr double kBaseline = 412.0;
constexpr double kDriftPerGauss = 1.6;
constexpr double kNoise = 95.0; // standard deviation
constexpr std::uint32_t kSeed = 20050105;

const std::vector<double> kCouplingH{3.97, 3.39, 3.39, 1.09, 1.09};
const std::vector<double> kCouplingN{10.32};

// Every hyperfine line's offset from the centre, one per combination of spin states.
std::vector<double> lineOffsets()
{
    std::vector<double> lines{0.0};
    for (const double a : kCouplingH) {
        std::vector<double> next;
        for (const double line : lines) {
            next.push_back(line - 0.5 * a);
            next.push_back(line + 0.5 * a);
        }
        lines = next;
    }
    for (const double b : kCouplingN) {
        std::vector<double> next;
        for (const double line : lines) {
            next.push_back(line - b);
            next.push_back(line);
            next.push_back(line + b);
        }
        lines = next;
    }
    return lines;
}

// First derivative of a Lorentzian line with half width gamma, up to a constant factor.
double lorentzianDerivative(double x, double x0, double gamma)
{
    const double d = x - x0;
    return -2.0 * d * gamma / ((d * d + gamma * gamma) * (d * d + gamma * gamma));
}

std::vector<double> scaledToPeakToPeak(std::vector<double> values, double height)
{
    double low = values.front();
    double high = values.front();
    for (const double v : values) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    for (double& v : values)
        v = v * height / (high - low);
    return values;
}

// Normal deviates by the Box-Muller method on the fully specified mt19937
// stream, so that every standard library gives the same file.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : engine_(seed) {}

    double next()
    {
        const double u1 = (static_cast<double>(engine_()) + 0.5) / 4294967296.0;
        const double u2 = (static_cast<double>(engine_()) + 0.5) / 4294967296.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::mt19937 engine_;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }

    // The program's own synthesis gives the Gaussian part on a grid that is
    // symmetric about the radical's centre and covers the whole sweep.
    const double lowOffset = kSweepStart - kRadicalCentre;
    const int belowCentre = static_cast<int>(std::lround(-lowOffset / kSweepStep));
    ravelle::SynthesisInput input;
    input.points = 2 * belowCentre;
    input.displayRange = input.points * kSweepStep;
    input.sigma = kSigma;
    input.couplingH = kCouplingH;
    input.couplingN = kCouplingN;
    ravelle::SimulatedSpectrum gaussian;
    try {
        gaussian = ravelle::synthesize(input);
    } catch (const ravelle::UserError& error) {
        std::fprintf(stderr, "synthesis failed: %s\n", error.what());
        return 1;
    }
    if (gaussian.points < kPointCount - 1) {
        std::fprintf(stderr, "the simulated grid does not cover the sweep\n");
        return 1;
    }

    const std::vector<double> lines = lineOffsets();
    const double gamma = kSigma * std::sqrt(3.0); // same peak-to-peak width as the Gaussian
    std::vector<double> lorentzian(kPointCount);
    std::vector<double> gaussianPart(kPointCount);
    for (int i = 0; i < kPointCount; ++i) {
        const double offset = gaussian.field[i];
        for (const double line : lines)
            lorentzian[i] += lorentzianDerivative(offset, line, gamma);
        gaussianPart[i] = gaussian.intensity[i];
    }
    lorentzian = scaledToPeakToPeak(lorentzian, 1.0);
    gaussianPart = scaledToPeakToPeak(gaussianPart, 1.0);
    std::vector<double> shape(kPointCount);
    for (int i = 0; i < kPointCount; ++i)
        shape[i] = (1.0 - kLorentzianShare) * gaussianPart[i] + kLorentzianShare * lorentzian[i];
    shape = scaledToPeakToPeak(shape, kPeakToPeak);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    Noise noise(kSeed);
    for (int i = 0; i < kPointCount; ++i) {
        const double field = kSweepStart + kSweepStep * i;
        const double intensity =
            shape[i] + kBaseline + kDriftPerGauss * (field - kSweepStart) + kNoise * noise.next();
        std::fprintf(out, "%.2f %.1f\r\n", field, intensity);
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
