// What a finished run tells the user: "All Conversions Completed" only when every row it
// handled was converted; otherwise how many were converted and failed, with each failed
// file's reason, so that a failure is never reported as a success.
#pragma once

#include <QString>
#include <vector>

#include "JobListModel.h"

namespace vx {

class TRunSummary {
public:
    // "All Conversions Completed"
    static const QString CompletedText;
    // "No file is checked. Please check the files to convert."
    static const QString NothingCheckedText;

    void Clear() { FRows.clear(); }
    // One handled row: its source path, how it ended and why it failed.
    void Add(const QString& ASource, TJobResult AResult, const QString& AReason);

    int Handled() const { return static_cast<int>(FRows.size()); }
    int Converted() const { return Count(TJobResult::Done); }
    int Failed() const { return Count(TJobResult::Failed); }
    // Rows were handled and every one of them was converted.
    bool AllConverted() const { return Handled() > 0 && Converted() == Handled(); }

    // The message that ends the run: CompletedText, or "2 of 3 files converted, 1 failed"
    // followed by one "name: reason" line per failed file.
    QString Text() const;

private:
    struct TRow {
        QString Source;
        TJobResult Result;
        QString Reason;
    };
    int Count(TJobResult AResult) const;

    std::vector<TRow> FRows;
};

} // namespace vx
