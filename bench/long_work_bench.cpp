// How long the window's own thread is held up while the commands do their
// longest work, and how soon a cancel takes effect. The commands run in the
// real main window (offscreen); a 5 ms timer on the window's thread records
// the longest gap between its ticks while a command runs:
//   ui_block_ms   the longest stretch in which the window handled nothing
//   total_ms      the command from start to end
//   cancel_ms     from pressing Cancel to the command's end (cancel rows)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/ProgramState.h"
#include "ui/LongWork.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace {

using ravelle::TForm1;

std::string scratchFile(const std::string& name)
{
    return std::filesystem::temp_directory_path().string() + "/ravelle-long-work-bench-" + std::to_string(::getpid()) +
        "-" + name;
}

// The layout of a measured spectrum, "3322.5000 436.3" per line.
const std::string& spectrumFile(long lines)
{
    static std::string name;
    if (!name.empty())
        return name;
    name = scratchFile("spectrum.dat");
    std::FILE* file = std::fopen(name.c_str(), "w");
    for (long i = 0; i < lines; ++i)
        std::fprintf(file, "%.4f %.1f\r\n", 3300.0 + 100.0 * static_cast<double>(i) / static_cast<double>(lines),
                     1000.0 * std::sin(static_cast<double>(i) * 0.001));
    std::fclose(file);
    return name;
}

// One gigabyte of digits without a line end.
const std::string& oneLineFile()
{
    static std::string name;
    if (!name.empty())
        return name;
    name = scratchFile("one-line.dat");
    std::FILE* file = std::fopen(name.c_str(), "w");
    const std::string block(1 << 20, '7');
    for (int i = 0; i < 1024; ++i)
        std::fwrite(block.data(), 1, block.size(), file);
    std::fclose(file);
    return name;
}

// The window and its program state, with the file dialogs answered.
struct Window {
    ravelle::ProgramState state;
    std::unique_ptr<TForm1> form;
    std::optional<std::string> answer;

    Window()
    {
        ravelle::Initialise(state, std::filesystem::temp_directory_path().string());
        form = std::make_unique<TForm1>(state, QStringLiteral("Ravelle2"));
        form->host().setDialogAnswerer(
            [this](ravelle::QtHost::DialogKind, const std::string&, const std::string&) { return answer; });
    }
};

struct Measured {
    double uiBlockMs = 0;
    double totalMs = 0;
    double cancelMs = -1;
};

// Runs `command` with a 5 ms ticker on the window's thread; `whileRunning`
// runs at each tick.
Measured measure(const std::function<void()>& command, const std::function<void(QElapsedTimer&)>& whileRunning = {})
{
    Measured result;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        result.uiBlockMs = std::max(result.uiBlockMs, static_cast<double>(now - lastTick) / 1e6);
        lastTick = now;
        if (whileRunning)
            whileRunning(clock);
    });
    clock.start();
    ticker.start();
    command();
    const qint64 end = clock.nsecsElapsed();
    ticker.stop();
    result.uiBlockMs = std::max(result.uiBlockMs, static_cast<double>(end - lastTick) / 1e6);
    result.totalMs = static_cast<double>(end) / 1e6;
    return result;
}

void report(benchmark::State& state, const Measured& measured)
{
    state.counters["ui_block_ms"] = measured.uiBlockMs;
    state.counters["total_ms"] = measured.totalMs;
    if (measured.cancelMs >= 0)
        state.counters["cancel_ms"] = measured.cancelMs;
}

// Presses Cancel once the progress window has shown `fraction` done; the
// time of the press goes into `pressedAt` (nanoseconds on `clock`).
std::function<void(QElapsedTimer&)> cancelWhenDone(Window& window, double fraction, qint64& pressedAt)
{
    return [&window, fraction, &pressedAt](QElapsedTimer& clock) {
        QProgressDialog* progress = window.form->host().longWork().progressWindow();
        if (pressedAt >= 0 || !progress || !progress->isVisible() || progress->value() < fraction * progress->maximum())
            return;
        pressedAt = clock.nsecsElapsed();
        progress->findChild<QPushButton*>()->click();
    };
}

void BM_ImportTenMillionLines(benchmark::State& state)
{
    const std::string& file = spectrumFile(10'000'000);
    for (auto _ : state) {
        Window window;
        window.answer = file;
        report(state, measure([&] { window.form->ImportObservedSpectrum1->trigger(); }));
        if (window.state.ObsCount != 10'000'000)
            state.SkipWithError("the import failed");
    }
}

void BM_CalculateAMillionPointsOverTenMillionObserved(benchmark::State& state)
{
    Window window;
    window.answer = spectrumFile(10'000'000);
    window.form->ImportObservedSpectrum1->trigger();
    const char* constants[] = {"H1", "H2", "H3", "H4", "H5", "H6", "H7", "H8", "H9", "H10", "H11", "H12",
                               "H13", "H14", "H15", "N1", "N2", "N3", "N4", "N5", "N6"};
    double value = 0.37;
    for (const char* box : constants) {
        window.form->box(box)->setText(QString::number(value, 'f', 3));
        value = std::fmod(value * 1.7 + 0.41, 6.0);
    }
    window.form->NoPnts->setText(QStringLiteral("1000000"));
    for (auto _ : state)
        report(state, measure([&] { window.form->Calculate1->click(); }));
}

void BM_SaveTenMillionObservedPoints(benchmark::State& state)
{
    Window window;
    window.answer = spectrumFile(10'000'000);
    window.form->ImportObservedSpectrum1->trigger();
    window.form->H1->setText(QStringLiteral("1.5"));
    window.form->Calculate1->click();
    // The .cal dialog is cancelled, the .obs one answered; the notice
    // before it is answered with OK.
    const std::string saved = scratchFile("saved.obs");
    window.form->host().setDialogAnswerer([&](ravelle::QtHost::DialogKind, const std::string&, const std::string& name) {
        return name.ends_with(".obs") ? std::optional<std::string>(saved) : std::nullopt;
    });
    QTimer answerNotices;
    answerNotices.setInterval(5);
    QObject::connect(&answerNotices, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    answerNotices.start();
    for (auto _ : state)
        report(state, measure([&] { window.form->SaveSimulatedSpectrum1->trigger(); }));
    if (std::filesystem::file_size(saved) < 190'000'000)
        state.SkipWithError("the .obs file was not written");
    std::filesystem::remove(saved);
}

// Imports `file` and presses Cancel once `fraction` of it is done.
void cancelledImport(benchmark::State& state, const std::string& file, double fraction)
{
    for (auto _ : state) {
        Window window;
        window.answer = file;
        qint64 pressedAt = -1;
        Measured measured = measure([&] { window.form->ImportObservedSpectrum1->trigger(); },
                                    cancelWhenDone(window, fraction, pressedAt));
        if (pressedAt < 0 || window.state.ObsLoaded)
            state.SkipWithError("the cancel was not pressed in time");
        measured.cancelMs = measured.totalMs - static_cast<double>(pressedAt) / 1e6;
        report(state, measured);
    }
}

void BM_CancelTenMillionLineImport(benchmark::State& state)
{
    cancelledImport(state, spectrumFile(10'000'000), 0.5);
}

void BM_CancelOneGigabyteLineImport(benchmark::State& state)
{
    cancelledImport(state, oneLineFile(), 0.6);
}

BENCHMARK(BM_ImportTenMillionLines)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CalculateAMillionPointsOverTenMillionObserved)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveTenMillionObservedPoints)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CancelTenMillionLineImport)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CancelOneGigabyteLineImport)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* name : {"spectrum.dat", "one-line.dat"})
        std::filesystem::remove(scratchFile(name));
    return 0;
}
