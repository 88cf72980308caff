// Stages of one conversion on threads of their own. The run's thread (the packet loop)
// hands pieces of work to a stage; each stage does its work in the order it was given, on
// its own thread, and keeps what the work produced (encoded packets) in a result. The
// run's thread takes the results back in the order the work was handed out, interleaved
// with results that were ready at once (copied packets), and writes them: the muxer sees
// the same writes in the same order as in a run without stages, and only the run's thread
// touches it.
//
// Queues: each stage's queue holds at most QueueBound pieces of work and drops nothing. A
// full queue makes the run's thread wait; it writes finished results meanwhile. Results
// wait for their turn without a bound of their own: at most the work queued before them.
//
// Pause: a stage calls the hold callback before each piece of work (the job's pause check,
// which parks it while the job is paused). Stop: the run's thread stops handing out work;
// what is queued is still done and written (Finish), as a run without stages writes what
// it read. Failure: the first exception of a stage's work ends that stage's work and wakes
// every waiter; the run's thread rethrows it at its next call. Destroying the pipeline
// abandons queued work and waits for the stages to leave. Every wait of the run's thread
// keeps main-thread deliveries flowing when it is the main thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/FormatIO.h"

namespace vx {

// What one piece of work produced, in order.
struct TStageResult {
    std::vector<TPacketPtr> Packets;
    // Where the work left its stream (the stage's own count), for the progress report.
    int64_t Position = 0;
    // Keeps a reference to APacket's data and properties.
    void Keep(const AVPacket* APacket);
};

// A new reference to AFrame (null for null) that a stage may hold on to.
std::shared_ptr<const AVFrame> ShareFrame(const AVFrame* AFrame);

class TStagePipeline {
public:
    using TWork = std::function<void(TStageResult&)>;
    using TDelivery = std::function<void(TStageResult&)>;

    // Pieces of work waiting in one stage's queue, at most.
    static constexpr size_t QueueBound = 3;

    // Starts AStageCount stage threads; AHold is called by a stage before each piece of work.
    TStagePipeline(int AStageCount, std::function<void()> AHold);
    ~TStagePipeline();
    TStagePipeline(const TStagePipeline&) = delete;
    TStagePipeline& operator=(const TStagePipeline&) = delete;

    // The run's thread only, as every call below. Queues AWork on stage AStage; ADeliver
    // gets its result on the run's thread once every result handed out before it was
    // delivered. Waits while the stage's queue is full. Rethrows a stage's failure.
    void Submit(int AStage, TWork AWork, TDelivery ADeliver);
    // A result ready now, delivered after everything handed out before it.
    void SubmitReady(TStageResult AResult, TDelivery ADeliver);
    // Delivers every result whose turn has come. Rethrows a stage's failure.
    void DeliverFinished();
    // Waits for all the work handed out, delivering every result, and ends the stages.
    // Rethrows a stage's failure.
    void Finish();

private:
    struct TTicket {
        TStageResult Result;
        TDelivery Deliver;
        bool Done = false; // FLock
    };
    struct TJob {
        TWork Work;
        std::shared_ptr<TTicket> Ticket;
    };
    struct TStage {
        std::deque<TJob> Queue; // FLock
        std::thread Thread;
    };

    void StageLoop(TStage& AStage);
    // Delivers results in order while they are done; with AWaitAll until none is left.
    void Deliver(bool AWaitAll);
    void RethrowFailure(); // FLock held
    void EndStages(bool AAbandon);
    // Waits on FDoneCond until ADone holds; on the main thread keeping its deliveries flowing.
    template <class TPredicate> void WaitUntil(std::unique_lock<std::mutex>& ALock, TPredicate ADone);

    std::function<void()> FHold;
    const bool FOnMainThread; // the run's thread is the main thread
    std::mutex FLock;
    std::condition_variable FWorkCond;           // FLock: work queued, ending
    std::condition_variable FDoneCond;           // FLock: a result done, queue space, failure
    std::deque<std::shared_ptr<TTicket>> FOrder; // FLock: every result not yet delivered, in order
    std::vector<std::unique_ptr<TStage>> FStages;
    bool FEnding = false;        // FLock: stages leave once their queue is empty
    bool FAbandon = false;       // FLock: stages leave without doing their queue
    int FLive = 0;               // FLock: stage threads not yet left
    std::exception_ptr FFailure; // FLock: the first failure of any stage
};

} // namespace vx
