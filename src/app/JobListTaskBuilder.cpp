#include "JobListTaskBuilder.h"

namespace vx {

TTaskRow TJobListTaskBuilder::RowOf(const TJobListModel& AList, int ARow) {
    return TTaskRow{AList.Caption(ARow), AList.Cell(ARow, jcVideoSize), AList.Cell(ARow, jcOutput)};
}

bool TJobListTaskBuilder::BuildOutputName(const TJobListModel& AList, int ARow,
                                          const TBatchOutputNames& ABatch, QString& AOutputFileName) {
    return FBuilder.BuildOutputName(AList.Caption(ARow), AOutputFileName, &ABatch);
}

void TJobListTaskBuilder::BuildInputOptions(const TJobListModel& AList, int ARow, TInputOptions& AOptions) {
    FBuilder.BuildInputOptions(AList.Caption(ARow), AOptions);
}

bool TJobListTaskBuilder::BuildOutputOptions(const TJobListModel& AList, int ARow, TOutputOptions& AOptions) {
    return FBuilder.BuildOutputOptions(RowOf(AList, ARow), AOptions);
}

} // namespace vx
