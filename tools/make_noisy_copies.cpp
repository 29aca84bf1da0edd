// Writes noisy copies of a two-column spectrum, for trying out a series fit:
// each copy has the file's points with Gaussian noise of the given standard
// deviation (in the file's intensity units) added, seeded by the copy's
// number, so the copies come out the same on every run.
//
// Usage: make_noisy_copies <spectrum> <count> <noise> <folder>
//   writes <folder>/<name>_1.dat ... <folder>/<name>_<count>.dat

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cli/Tables.h"
#include "engine/UserError.h"
#include "io/ObservedImport.h"
#include "io/SpectrumExport.h"
#include "io/formats/TextScan.h"

int main(int argc, char** argv)
{
    using namespace ravelle;
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_noisy_copies <spectrum> <count> <noise> <folder>\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const double noise = std::strtod(argv[3], nullptr);
    if (count < 1 || !(noise >= 0)) {
        std::fprintf(stderr, "make_noisy_copies: the count must be at least 1 and the noise not negative\n");
        return 2;
    }
    try {
        const ObservedSpectrum read = readObservedFile(argv[1], '.');
        const std::vector<double> field(read.field.begin() + 1, read.field.begin() + 1 + read.count);
        const std::string base = std::string(argv[4]) + "/" + suggestedBaseName(formats::baseName(argv[1]));
        for (int copy = 1; copy <= count; ++copy) {
            std::mt19937_64 random(static_cast<std::uint64_t>(copy));
            std::normal_distribution<double> deviation(0.0, noise);
            std::vector<double> intensity(read.intensity.begin() + 1, read.intensity.begin() + 1 + read.count);
            for (double& value : intensity)
                value += deviation(random);
            cli::writeWholeFile(base + "_" + std::to_string(copy) + ".dat", cli::twoColumnText(field, intensity));
        }
    } catch (const UserError& error) {
        std::fprintf(stderr, "make_noisy_copies: %s\n", error.message().c_str());
        return 1;
    }
    return 0;
}
