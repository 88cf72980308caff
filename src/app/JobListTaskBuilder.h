// The batch driver asks for a row's task by list and row; the task builder works on the row's
// texts. This joins the two, so that every front end converts a row the same way.
#pragma once

#include "BatchDriver.h"
#include "TaskBuilder.h"

namespace vx {

class TJobListTaskBuilder : public TRowTaskBuilder {
public:
    // ABuilder must outlive this object.
    explicit TJobListTaskBuilder(TTaskBuilder& ABuilder) : FBuilder(ABuilder) {}

    bool BuildOutputName(const TJobListModel& AList, int ARow, const TBatchOutputNames& ABatch,
                         QString& AOutputFileName) override;
    void BuildInputOptions(const TJobListModel& AList, int ARow, TInputOptions& AOptions) override;
    bool BuildOutputOptions(const TJobListModel& AList, int ARow, TOutputOptions& AOptions) override;
    QString LastErrMsg() const override { return FBuilder.LastErrMsg(); }

    // What the task builder reads from a row of the list.
    static TTaskRow RowOf(const TJobListModel& AList, int ARow);

private:
    TTaskBuilder& FBuilder;
};

} // namespace vx
