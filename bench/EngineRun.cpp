// The engine side of the comparison: the task goes to the encoder component exactly as
// the batch driver hands a row over (AddTask with the input record, SetOutputFile with the
// output record, Start with one worker thread), and the main thread sits in Qt's event loop
// with the Qt bridge installed, as in the window and the command line, delivering the
// encoder's events until the run ends.
#include "BenchRuns.h"
#include "BenchTask.h"

#include <QCoreApplication>
#include <chrono>
#include <stdexcept>

#include "QtPlatformBridge.h"
#include "encode/FFEncode.h"

namespace vx::bench {

TRunResult RunEngine(const std::string& ASource, const std::string& AOutputFolder, int AThreads,
                     bool AStageThreads) {
    if (!QCoreApplication::instance())
        throw std::logic_error("RunEngine needs a QCoreApplication");
    TEncoderTask task = BuildMP4Task(ASource, AOutputFolder, AThreads);
    if (!AStageThreads)
        task.OutputOptions.ExtOptions += "stage_threads=0\n";
    TRunResult result;
    result.OutputFile = task.OutputFileName.toStdString();

    TQtPlatformBridge bridge;
    TFFEncoder encoder;
    TTerminateInfo end;
    encoder.OnProgress = [&](TCustomEncoder*, const TProgressInfo& AInfo) {
        result.Frames = AInfo.FrameNumber;
    };
    encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
        if (AInfo.TaskIndex == 0)
            end = AInfo;
        else if (AInfo.TaskIndex == -1)
            QCoreApplication::exit(0);
    };

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    const int index = encoder.AddTask(task.InputOptions.FileName, &task.InputOptions);
    if (index < 0)
        throw std::runtime_error("engine: AddTask: " + encoder.LastErrMsg());
    if (!encoder.SetOutputFile(index, task.OutputFileName.toStdU16String(), &task.OutputOptions))
        throw std::runtime_error("engine: SetOutputFile: " + encoder.LastErrMsg());
    // Every event, the end of the run included, waits for the loop below to deliver it.
    encoder.Start(1);
    QCoreApplication::exec();
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.CpuSeconds = ProcessCpuSeconds() - cpuStart;
    if (!end.Finished || end.Exception)
        throw std::runtime_error("engine: the conversion failed: " + end.ExceptionMsg);
    return result;
}

} // namespace vx::bench
