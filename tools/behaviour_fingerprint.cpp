// Prints one line per seeded random case of what the commands did: the
// messages, every box text, a hash of the picture, of the saved .cal and .obs
// files and the fit's results bit for bit. Run it on two builds and compare
// the outputs to show that a change of structure changed no behaviour:
//
//   behaviour_fingerprint [cases] [first-seed] > before.txt
#include <QCryptographicHash>
#include <QImage>

#include <atomic>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "commands/Commands.h"
#include "commands/FitCommand.h"
#include "engine/Boxes.h"
#include "engine/ProgramState.h"
#include "engine/fit/Fit.h"
#include "tests/support/FakeHost.h"

namespace {

using ravelle::testing::FakeHost;

std::string hashOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(12).toStdString();
}

std::string fileHash(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "none";
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return hashOf(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string bits(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIx64, std::bit_cast<std::uint64_t>(value));
    return text;
}

class Case {
public:
    Case(std::uint64_t seed, const std::filesystem::path& dir) : random_(seed), dir_(dir) {}

    std::string run()
    {
        ravelle::ProgramState state;
        ravelle::Initialise(state, dir_.string());
        FakeHost host(state, pick(8) == 0 ? ',' : '.');
        std::ostringstream out;

        if (pick(4) != 0) {
            const auto file = dir_ / "spectrum.dat";
            writeObservedFile(file);
            host.openAnswers.push_back(file.string());
            ravelle::importCommand(state, host);
        }
        setRandomBoxes(host);
        ravelle::calculateCommand(state, host);
        if (pick(3) == 0) {
            host.setBoxText("GCntr", number(3300, 3400, 2));
            ravelle::calculateCommand(state, host);
        }
        const auto cal = dir_ / "out.cal";
        const auto obs = dir_ / "out.obs";
        std::filesystem::remove(cal);
        std::filesystem::remove(obs);
        host.saveAnswers = {cal.string(), obs.string()};
        ravelle::exportCommand(state, host);

        // The scratch folder's name differs from run to run: it is shown as <dir>.
        for (std::string line : host.log) {
            for (std::size_t at; (at = line.find(dir_.string())) != std::string::npos;)
                line.replace(at, dir_.string().size(), "<dir>");
            out << line << " | ";
        }
        for (const auto& [name, text] : host.boxes)
            out << name << '=' << text << ' ';
        const QImage& raster = host.raster;
        out << " picture " << (raster.isNull() ? "none" : hashOf(QByteArray(reinterpret_cast<const char*>(raster.constBits()), raster.sizeInBytes())));
        out << " cal " << fileHash(cal) << " obs " << fileHash(obs);
        if (pick(3) == 0)
            out << " fit " << fit(state, host);
        return out.str();
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    double uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }

    std::string number(double low, double high, int decimals)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals, uniform(low, high));
        return text;
    }

    void writeObservedFile(const std::filesystem::path& path)
    {
        std::ofstream out(path, std::ios::binary);
        const int count = pick(6) == 0 ? pick(4) : 200 + pick(1500);
        const double start = uniform(3300, 3350);
        const double step = (pick(5) == 0 ? -1 : 1) * uniform(0.01, 0.1);
        const double a = uniform(1, 20);
        const double centre = start + step * count / 2;
        const int tabLine = pick(10) == 0 ? pick(count + 1) : -1;
        for (int i = 0; i < count; ++i) {
            const double x = start + step * i;
            double y = 0;
            for (int m = -1; m <= 1; ++m) {
                const double d = x - centre - m * a;
                y += -d * std::exp(-d * d / 0.5);
            }
            y += uniform(-0.02, 0.02) + 0.3;
            out << x << (i == tabLine ? "\t" : "   ") << y << (pick(2) ? "\r\n" : "\n");
        }
        if (pick(20) == 0)
            out << "junk line\n";
    }

    void setRandomBoxes(FakeHost& host)
    {
        const int hydrogens = pick(6);
        for (int k = 1; k <= hydrogens; ++k)
            host.setBoxText(ravelle::hydrogenBox(k), number(0, 8, 2));
        const int nitrogens = pick(3);
        for (int k = 1; k <= nitrogens; ++k)
            host.setBoxText(ravelle::nitrogenBox(k), number(0, 20, 2));
        if (pick(2))
            host.setBoxText("Sigma", number(-0.5, 1.5, 3));
        if (pick(2))
            host.setBoxText("G", number(-60, 120, 1));
        if (pick(3) == 0)
            host.setBoxText("NoPnts", std::to_string(pick(3000) - 5));
        if (pick(3) == 0)
            host.setBoxText("Scl", number(-2, 3, 3));
        if (pick(10) == 0)
            host.setBoxText(pick(2) ? "H1" : "Sigma", pick(2) ? "abc" : "1,5");
    }

    std::string fit(const ravelle::ProgramState& state, FakeHost& host)
    {
        std::ostringstream out;
        try {
            ravelle::FitSetup setup = ravelle::prepareFit(state, host);
            if (!setup.problem)
                return "notice " + setup.notice;
            std::atomic<bool> cancel{false};
            const ravelle::FitResult result = ravelle::runFit(*setup.problem, cancel);
            out << static_cast<int>(result.outcome) << ' ' << result.message << ' ' << bits(result.rmsBefore) << ' '
                << bits(result.rmsAfter) << ' ' << result.iterations << ' ' << result.pointCount;
            for (const ravelle::FittedValue& value : result.values)
                out << ' ' << value.box << ':' << bits(value.value) << '/' << bits(value.uncertainty) << '/'
                    << ravelle::fittedValueText(value, '.');
        } catch (const std::exception& error) {
            out << "error " << error.what();
        }
        return out.str();
    }

    std::mt19937_64 random_;
    std::filesystem::path dir_;
};

} // namespace

int main(int argc, char** argv)
{
    const int cases = argc > 1 ? std::stoi(argv[1]) : 300;
    const std::uint64_t first = argc > 2 ? std::stoull(argv[2]) : 1;
    // A folder of this run's own, so that runs side by side do not meet.
    const auto dir = std::filesystem::temp_directory_path() / ("ravelle-fingerprint-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (int i = 0; i < cases; ++i)
        std::printf("%d %s\n", i, Case(first + static_cast<std::uint64_t>(i), dir).run().c_str());
    if (!std::getenv("RAVELLE_FINGERPRINT_KEEP"))
        std::filesystem::remove_all(dir);
    return 0;
}
