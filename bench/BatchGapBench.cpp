// A batch converted one row at a time and two rows at a time, and the pause between the rows:
// how long the batch driver leaves the encoder idle between the end of one row and the start
// of the next.
//
// Eight generated 3 s clips (MPEG-4 320x240 25 fps + MP3 in AVI) are added to a job list as
// the window adds them and converted with the MP4 entry's defaults through the batch driver,
// the main thread in Qt's event loop with the Qt bridge, as in the window and the command
// line. Each run converts the batch with one job and with two, the order alternating from run
// to run. A row ends when its "Progress" cell shows its result; the next starts when the
// driver announces it. The program prints each gap of the one-job batches (min/mean/max), the
// conversion time of a row and the whole batch's time, and the medians of both side by side.
//
//   vantorix_batch_bench [--runs N]      (default: 3 runs of the batch)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "AdditionalOptions.h"
#include "BatchDriver.h"
#include "BenchRuns.h"
#include "ConversionSettings.h"
#include "HeadlessBatchUI.h"
#include "JobListTaskBuilder.h"
#include "MediaFixtures.h"
#include "QtBenchMain.h"
#include "SourceFiles.h"
#include "TaskBuilder.h"
#include "VolumeSliders.h"
#include "decode/FFDecode.h"

using namespace vx;

namespace {

constexpr int ClipCount = 8;
constexpr double ClipSeconds = 3.0;

// A window that shows nothing and answers every question with OK.
class TSilentUI final : public THeadlessBatchUI {
public:
    using THeadlessBatchUI::THeadlessBatchUI;
    TAnswer MessageBox(const QString&, const QString&, TIcon, TButtons) override { return TAnswer::Ok; }
};

bool IsResult(const QString& AText) {
    return AText == QLatin1String("Done") || AText == QLatin1String("Fail") ||
           AText == QLatin1String("Abort");
}

struct TBatchFigures {
    std::vector<double> GapsMs; // end of row i to start of row i + 1
    std::vector<double> RowsMs; // start to end of each row
    double TotalMs = 0;         // the button's click to the end of the run
    int Done = 0;
};

TBatchFigures RunBatch(const QStringList& ASources, const std::string& AOutputFolder, int AJobs) {
    TConversionSettings settings;
    TAdditionalOptions options;
    TVolumeSliders volume;
    settings.FillStartupLists();
    settings.SetAdditionalOptions(&options);
    const int position = settings.ComboOutputFormat.IndexOf(QString::fromLatin1(bench::MP4Entry));
    if (position < 0)
        throw std::runtime_error(std::string("the format list has no \"") + bench::MP4Entry + "\"");
    settings.SelectOutputFormat(position);
    settings.SetOutputFolder(QString::fromStdString(AOutputFolder));
    options.SetOverwrite(true);

    TTaskBuilder taskBuilder(settings, options, volume);
    TJobListTaskBuilder rowBuilder(taskBuilder);
    TJobListModel list;
    TFFEncoder encoder;
    TFFDecoder decoder;
    TSilentUI ui(settings);
    TBatchDriver driver(list, encoder, ui, rowBuilder);
    driver.SetJobs(AJobs);
    {
        TBatchAddFileState state(driver);
        TSourceFileAdder adder(list, decoder, settings, state);
        adder.AddFiles(ASources);
    }
    if (list.Count() != ASources.size())
        throw std::runtime_error("not every clip could be added");

    QElapsedTimer clock;
    std::vector<double> started(ClipCount, -1), ended(ClipCount, -1);
    QObject::connect(&driver, &TBatchDriver::RowStarting,
                     [&](int ARow) { started[ARow] = clock.nsecsElapsed() / 1e6; });
    QObject::connect(&list, &QAbstractItemModel::dataChanged, [&](const QModelIndex& AIndex) {
        const int row = AIndex.row();
        if (AIndex.column() == TJobListModel::ColumnOfCell(jcProgress) && ended[row] < 0 &&
            IsResult(list.Cell(row, jcProgress)))
            ended[row] = clock.nsecsElapsed() / 1e6;
    });
    QObject::connect(&driver, &TBatchDriver::RunEnded, [] { QCoreApplication::exit(0); });

    clock.start();
    driver.ButtonConvertClick();
    if (driver.Converting())
        QCoreApplication::exec();

    TBatchFigures figures;
    figures.TotalMs = clock.nsecsElapsed() / 1e6;
    for (int row = 0; row < ClipCount; ++row) {
        if (started[row] < 0 || ended[row] < 0)
            throw std::runtime_error("row " + std::to_string(row + 1) + " did not run");
        figures.RowsMs.push_back(ended[row] - started[row]);
        if (row + 1 < ClipCount && AJobs == 1)
            figures.GapsMs.push_back(started[row + 1] - ended[row]);
        if (list.Cell(row, jcProgress) == QLatin1String("Done"))
            ++figures.Done;
    }
    return figures;
}

void PrintSpread(const char* AName, const std::vector<double>& AValues) {
    const auto [low, high] = std::minmax_element(AValues.begin(), AValues.end());
    const double mean = std::accumulate(AValues.begin(), AValues.end(), 0.0) / double(AValues.size());
    std::printf("  %-22s min %8.3f  mean %8.3f  max %8.3f ms  (%zu)\n", AName, *low, mean, *high,
                AValues.size());
}

double Median(std::vector<double> AValues) {
    std::sort(AValues.begin(), AValues.end());
    const size_t n = AValues.size();
    return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

int Run(int ARuns) {
    fixtures::TTempDir media;
    QStringList sources;
    fixtures::TMediaSpec spec = fixtures::AviMpeg4Mp3();
    spec.Seconds = ClipSeconds;
    for (int i = 0; i < ClipCount; ++i) {
        const std::string path = media.File("clip" + std::to_string(i + 1) + ".avi");
        fixtures::WriteMedia(path, spec);
        sources << QString::fromStdString(path);
    }
    std::printf("Batch of %d clips of %.0f s (MPEG-4 320x240 25 fps + MP3, AVI) into \"%s\"\n", ClipCount,
                ClipSeconds, bench::MP4Entry);

    std::vector<double> gaps, rows, totals[2];
    for (int run = 1; run <= ARuns; ++run) {
        // Alternating, so that neither count always runs on a machine warmed up by the other.
        const int order[2][2] = {{1, 2}, {2, 1}};
        for (const int jobs : order[(run - 1) % 2]) {
            fixtures::TTempDir out;
            const TBatchFigures f = RunBatch(sources, out.Path(), jobs);
            std::printf("run %d, %d job%s: %d of %d done, total %.1f ms\n", run, jobs, jobs == 1 ? "" : "s",
                        f.Done, ClipCount, f.TotalMs);
            if (jobs == 1) {
                PrintSpread("gap between rows", f.GapsMs);
                gaps.insert(gaps.end(), f.GapsMs.begin(), f.GapsMs.end());
            }
            PrintSpread("conversion of a row", f.RowsMs);
            if (jobs == 1)
                rows.insert(rows.end(), f.RowsMs.begin(), f.RowsMs.end());
            totals[jobs - 1].push_back(f.TotalMs);
        }
    }
    std::printf("all runs, 1 job:\n");
    PrintSpread("gap between rows", gaps);
    PrintSpread("conversion of a row", rows);
    PrintSpread("total of a batch", totals[0]);
    const double gapSum = std::accumulate(gaps.begin(), gaps.end(), 0.0);
    const double totalSum = std::accumulate(totals[0].begin(), totals[0].end(), 0.0);
    std::printf("  gaps are %.1f %% of the batch time\n", 100.0 * gapSum / totalSum);
    const double one = Median(totals[0]);
    const double two = Median(totals[1]);
    std::printf("batch total, median of %d runs:  1 job %.1f ms   2 jobs %.1f ms   2 jobs / 1 job %.2f\n",
                ARuns, one, two, two / one);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: vantorix_batch_bench [--runs N]\n");
            return 2;
        }
    }
    if (runs < 1) {
        std::fprintf(stderr, "--runs needs a positive number\n");
        return 2;
    }
    return vx::bench::RunUnderQt(argc, argv, "vantorix_batch_bench", [&] { return Run(runs); });
}
