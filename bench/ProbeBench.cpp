// Adding many files: reading them one at a time on the main thread against reading them on the
// probing pool, and how long the main thread is kept from its events while the window's adding
// routine appends the rows.
//
// A generated 1 s clip (MPEG-4 320x240 25 fps + MP3 in AVI) is copied to N files. Each run reads
// all of them one after another with one decoder on the main thread ("one at a time"), and adds
// them to a job list with the window's adding routine, the main thread in Qt's event loop with
// the Qt bridge ("pool"); the order of the two alternates from run to run. During the adding a
// 5 ms timer on the main thread measures the longest time between two of its ticks: the longest
// the window would have stood still.
//
//   vantorix_probe_bench [--files N] [--runs N]      (defaults: 1000 files, 3 runs)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "AdditionalOptions.h"
#include "BatchDriver.h"
#include "ConversionSettings.h"
#include "HeadlessBatchUI.h"
#include "JobListModel.h"
#include "MediaFixtures.h"
#include "QtBenchMain.h"
#include "SourceFiles.h"
#include "decode/FFDecode.h"

using namespace vx;

namespace {

class TSilentUI final : public THeadlessBatchUI {
public:
    using THeadlessBatchUI::THeadlessBatchUI;
    TAnswer MessageBox(const QString&, const QString&, TIcon, TButtons) override { return TAnswer::Ok; }
};

class TNoBuilder final : public TRowTaskBuilder {
public:
    bool BuildOutputName(const TJobListModel&, int, const TBatchOutputNames&, QString&) override {
        return false;
    }
    bool BuildOutputOptions(const TJobListModel&, int, TOutputOptions&) override { return false; }
};

double OneAtATimeMs(const QStringList& AFiles) {
    QElapsedTimer clock;
    clock.start();
    TFFDecoder decoder;
    for (const QString& file : AFiles) {
        if (!decoder.LoadFile(file.toStdU16String(), {}))
            throw std::runtime_error(decoder.LastErrMsg());
        decoder.CloseFile();
    }
    return clock.nsecsElapsed() / 1e6;
}

struct TPoolFigures {
    double TotalMs = 0;
    double LongestStallMs = 0;
};

TPoolFigures PoolMs(const QStringList& AFiles) {
    TConversionSettings settings;
    TAdditionalOptions options;
    settings.FillStartupLists();
    settings.SetAdditionalOptions(&options);
    TJobListModel list;
    TFFEncoder encoder;
    TFFDecoder decoder;
    TSilentUI ui(settings);
    TNoBuilder builder;
    TBatchDriver driver(list, encoder, ui, builder);
    TBatchAddFileState state(driver);
    TSourceFileAdder adder(list, decoder, settings, state);

    QElapsedTimer ticks;
    double longest = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, ticks.nsecsElapsed() / 1e6);
        ticks.restart();
    });
    QElapsedTimer clock;
    clock.start();
    ticks.start();
    timer.start();
    adder.AddFiles(AFiles);
    TPoolFigures figures;
    figures.TotalMs = clock.nsecsElapsed() / 1e6;
    figures.LongestStallMs = std::max(longest, ticks.nsecsElapsed() / 1e6);
    if (list.Count() != AFiles.size())
        throw std::runtime_error("not every file was added");
    for (int row = 0; row < list.Count(); ++row)
        if (list.Caption(row) != AFiles[row] || list.Cell(row, jcProgress) == QLatin1String("Error"))
            throw std::runtime_error("row " + std::to_string(row) + " is not its file's");
    return figures;
}

double Median(std::vector<double> AValues) {
    std::sort(AValues.begin(), AValues.end());
    const size_t n = AValues.size();
    return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

int Run(int AFiles, int ARuns) {
    fixtures::TTempDir media;
    fixtures::TMediaSpec spec = fixtures::AviMpeg4Mp3();
    spec.Seconds = 1.0;
    const std::string first = media.File("clip0.avi");
    fixtures::WriteMedia(first, spec);
    QStringList files{QString::fromStdString(first)};
    for (int i = 1; i < AFiles; ++i) {
        const std::string copy = media.File("clip" + std::to_string(i) + ".avi");
        std::filesystem::copy_file(first, copy);
        files << QString::fromStdString(copy);
    }
    std::printf("Reading %d files (1 s MPEG-4 320x240 + MP3 in AVI), pool of %d threads\n", AFiles,
                std::max(QThread::idealThreadCount(), 2));

    std::vector<double> single, pool, stalls;
    for (int run = 1; run <= ARuns; ++run) {
        const bool poolFirst = run % 2 == 0;
        TPoolFigures p;
        if (poolFirst)
            p = PoolMs(files);
        const double s = OneAtATimeMs(files);
        if (!poolFirst)
            p = PoolMs(files);
        std::printf(
            "run %d: one at a time %8.1f ms   pool (adding rows) %8.1f ms   longest main-thread stall "
            "%6.1f ms\n",
            run, s, p.TotalMs, p.LongestStallMs);
        single.push_back(s);
        pool.push_back(p.TotalMs);
        stalls.push_back(p.LongestStallMs);
    }
    std::printf("median of %d runs: one at a time %8.1f ms   pool %8.1f ms (%.2fx)   longest stall %6.1f ms "
                "(worst %.1f ms)\n",
                ARuns, Median(single), Median(pool), Median(pool) / Median(single), Median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int files = 1000;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            files = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: vantorix_probe_bench [--files N] [--runs N]\n");
            return 2;
        }
    }
    if (files < 1 || runs < 1) {
        std::fprintf(stderr, "--files and --runs need positive numbers\n");
        return 2;
    }
    return vx::bench::RunUnderQt(argc, argv, "vantorix_probe_bench", [&] { return Run(files, runs); });
}
