#include "encode/StagePipeline.h"

#include <utility>

#include "base/PlatformBridge.h"
#include "encode/FFmpegException.h"

namespace vx {

void TStageResult::Keep(const AVPacket* APacket) {
    TPacketPtr copy(ff::av_packet_alloc());
    if (!copy || ff::av_packet_ref(copy.get(), APacket) < 0)
        throw FFmpegException("Could not allocate a packet");
    Packets.push_back(std::move(copy));
}

std::shared_ptr<const AVFrame> ShareFrame(const AVFrame* AFrame) {
    if (!AFrame)
        return nullptr;
    AVFrame* copy = ff::av_frame_clone(AFrame);
    if (!copy)
        throw FFmpegException("Could not allocate a frame");
    return std::shared_ptr<const AVFrame>(copy, [](const AVFrame* AShared) {
        AVFrame* frame = const_cast<AVFrame*>(AShared);
        ff::av_frame_free(&frame);
    });
}

TStagePipeline::TStagePipeline(int AStageCount, std::function<void()> AHold)
    : FHold(std::move(AHold)), FOnMainThread(PlatformBridge().IsMainThread()) {
    for (int i = 0; i < AStageCount; ++i)
        FStages.push_back(std::make_unique<TStage>());
    try {
        for (auto& stage : FStages) {
            {
                std::lock_guard lock(FLock);
                ++FLive;
            }
            stage->Thread = std::thread([this, s = stage.get()] {
                StageLoop(*s);
                std::lock_guard lock(FLock);
                --FLive;
                FDoneCond.notify_all();
            });
        }
    } catch (...) {
        {
            std::lock_guard lock(FLock);
            --FLive; // the thread that could not start
        }
        EndStages(true);
        throw;
    }
}

TStagePipeline::~TStagePipeline() {
    EndStages(true);
}

template <class TPredicate>
void TStagePipeline::WaitUntil(std::unique_lock<std::mutex>& ALock, TPredicate ADone) {
    if (!FOnMainThread) {
        FDoneCond.wait(ALock, ADone);
        return;
    }
    // A stage may be waiting for the main thread (a log line delivered there): deliveries go
    // on while the main thread waits.
    ALock.unlock();
    WaitProcessingMessages([&] {
        std::lock_guard lock(FLock);
        return ADone();
    });
    ALock.lock();
}

void TStagePipeline::EndStages(bool AAbandon) {
    std::unique_lock lock(FLock);
    FEnding = true;
    FAbandon = FAbandon || AAbandon;
    FWorkCond.notify_all();
    WaitUntil(lock, [&] { return FLive == 0; });
    lock.unlock();
    for (auto& stage : FStages)
        if (stage->Thread.joinable())
            stage->Thread.join();
}

void TStagePipeline::StageLoop(TStage& AStage) {
    for (;;) {
        FHold();
        TJob job;
        {
            std::unique_lock lock(FLock);
            FWorkCond.wait(lock, [&] { return FAbandon || FFailure || FEnding || !AStage.Queue.empty(); });
            if (FAbandon || FFailure || AStage.Queue.empty())
                return;
            job = std::move(AStage.Queue.front());
            AStage.Queue.pop_front();
        }
        FDoneCond.notify_all(); // room in the queue
        TStageResult result;
        try {
            job.Work(result);
        } catch (...) {
            {
                std::lock_guard lock(FLock);
                if (!FFailure)
                    FFailure = std::current_exception();
            }
            FDoneCond.notify_all();
            FWorkCond.notify_all();
            return;
        }
        {
            std::lock_guard lock(FLock);
            job.Ticket->Result = std::move(result);
            job.Ticket->Done = true;
            // Let go of the result while still holding the lock: the run's thread delivers it
            // and frees it after writing, never this thread while the muxer may still read it.
            job.Ticket.reset();
        }
        FDoneCond.notify_all();
    }
}

void TStagePipeline::RethrowFailure() {
    if (FFailure)
        std::rethrow_exception(FFailure);
}

void TStagePipeline::Deliver(bool AWaitAll) {
    for (;;) {
        std::shared_ptr<TTicket> ticket;
        {
            std::unique_lock lock(FLock);
            if (AWaitAll)
                WaitUntil(lock, [&] { return FFailure || FOrder.empty() || FOrder.front()->Done; });
            RethrowFailure();
            if (FOrder.empty() || !FOrder.front()->Done)
                return;
            ticket = std::move(FOrder.front());
            FOrder.pop_front();
        }
        ticket->Deliver(ticket->Result);
    }
}

void TStagePipeline::DeliverFinished() {
    Deliver(false);
}

void TStagePipeline::Submit(int AStage, TWork AWork, TDelivery ADeliver) {
    TStage& stage = *FStages.at(static_cast<size_t>(AStage));
    for (;;) {
        Deliver(false);
        std::unique_lock lock(FLock);
        // Waits for room, or for a result to deliver while there is none.
        WaitUntil(lock, [&] {
            return FFailure || stage.Queue.size() < QueueBound || (!FOrder.empty() && FOrder.front()->Done);
        });
        RethrowFailure();
        if (stage.Queue.size() >= QueueBound)
            continue;
        auto ticket = std::make_shared<TTicket>();
        ticket->Deliver = std::move(ADeliver);
        FOrder.push_back(ticket);
        stage.Queue.push_back({std::move(AWork), std::move(ticket)});
        break;
    }
    FWorkCond.notify_all();
}

void TStagePipeline::SubmitReady(TStageResult AResult, TDelivery ADeliver) {
    {
        std::lock_guard lock(FLock);
        RethrowFailure();
        auto ticket = std::make_shared<TTicket>();
        ticket->Result = std::move(AResult);
        ticket->Deliver = std::move(ADeliver);
        ticket->Done = true;
        FOrder.push_back(std::move(ticket));
    }
    Deliver(false);
}

void TStagePipeline::Finish() {
    Deliver(true);
    EndStages(false);
    std::lock_guard lock(FLock);
    RethrowFailure();
}

} // namespace vx
