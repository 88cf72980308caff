#include "FFLog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "FFApi.h"
#include "PlatformBridge.h"
#include "TextFormat.h"

namespace vx {
namespace {

// Everything below is guarded by LogLock().
struct TLogItem {
    uint32_t ThreadID;
    std::string LogMsg; // the thread's unfinished library line
};

struct TLibraryLogState {
    std::vector<TLogItem> Items;
    std::string LastLine;
    int RepeatCount = 0;
    TFFLogger* Current = nullptr;
    std::unique_ptr<TFFLogger> AutoCreated;
};

std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}

TLibraryLogState& State() {
    static TLibraryLogState state;
    return state;
}

std::atomic<int> g_libraryLevel{AV_LOG_INFO};

const char* ItemName(const AVClass* AClass, void* AObject) {
    if (AClass->item_name)
        return AClass->item_name(AObject);
    return AClass->class_name ? AClass->class_name : "NULL";
}

// "[parent @ 0x..] [name @ 0x..]" for a context that starts a new line.
std::string ContextPrefix(void* AContext) {
    const AVClass* cls = *static_cast<AVClass**>(AContext);
    if (!cls)
        return {};
    std::string prefix;
    if (cls->parent_log_context_offset) {
        void* parent =
            *reinterpret_cast<void**>(static_cast<uint8_t*>(AContext) + cls->parent_log_context_offset);
        if (parent && *static_cast<AVClass**>(parent)) {
            const AVClass* parentClass = *static_cast<AVClass**>(parent);
            prefix = FormatText("[%s @ %p] ", ItemName(parentClass, parent), parent);
        }
    }
    prefix += FormatText("[%s @ %p]", ItemName(cls, AContext), AContext);
    return prefix;
}

} // namespace

TLogLevel AVLevelToLogLevel(int ALevel) {
    return static_cast<TLogLevel>(std::clamp(ALevel / 8 + 1, 0, static_cast<int>(llDebug)));
}

int LogLevelToAVLevel(TLogLevel ALevel) {
    return static_cast<int>(ALevel) * 8 - 8;
}

TFFLogger::TFFLogger() : TFFLogger(false) {
    std::unique_ptr<TFFLogger> replaced; // destroyed after the lock is released
    std::lock_guard lock(LogLock());
    TLibraryLogState& state = State();
    if (state.Current && state.Current->FAutoCreated) {
        replaced = std::move(state.AutoCreated);
        state.Current = nullptr;
    } else if (state.Current) {
        throw std::logic_error("Allow creating only one instance of TFFLogger.");
    }
    state.Current = this;
}

// Registers nothing: the callers hold LogLock() and make it the current logger.
TFFLogger::TFFLogger(bool AAutoCreated)
    : FAutoCreated(AAutoCreated), FLogLevel(AVLevelToLogLevel(g_libraryLevel.load())) {}

TFFLogger& TFFLogger::CurrentLocked() {
    TLibraryLogState& state = State();
    if (!state.Current) {
        state.AutoCreated.reset(new TFFLogger(true));
        state.Current = state.AutoCreated.get();
    }
    return *state.Current;
}

TFFLogger::~TFFLogger() {
    std::lock_guard lock(LogLock());
    if (State().Current == this)
        State().Current = nullptr;
}

TFFLogger& GetLogger() {
    std::lock_guard lock(LogLock());
    return TFFLogger::CurrentLocked();
}

void TFFLogger::SetLogLevel(TLogLevel AValue) {
    if (AValue == FLogLevel)
        return;
    FLogLevel = AValue;
    if (ff::av_log_set_level) {
        g_libraryLevel = LogLevelToAVLevel(AValue);
        ff::av_log_set_level(g_libraryLevel);
    }
}

void TFFLogger::InstallAVLogCallback() {
    if (!ff::av_log_set_callback || !ff::av_log_set_level)
        throw std::logic_error("InstallAVLogCallback: the library log entry points are not bound.");
    ff::av_log_set_callback(&LibraryLogCallback);
    g_libraryLevel = LogLevelToAVLevel(FLogLevel);
    ff::av_log_set_level(g_libraryLevel);
}

void TFFLogger::OptLogLevel(const std::string& AArg) {
    static const struct {
        const char* Name;
        int Level;
    } names[] = {{"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
                 {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
                 {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG}};
    const std::string lower = LowerCase(AArg);
    for (const auto& item : names) {
        if (lower == item.Name) {
            SetLogLevel(AVLevelToLogLevel(item.Level));
            return;
        }
    }
    size_t used = 0;
    int level = 0;
    try {
        level = std::stoi(AArg, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != AArg.size())
        throw std::invalid_argument("Invalid loglevel \"" + AArg + "\".");
    SetLogLevel(AVLevelToLogLevel(level));
}

bool TFFLogger::Passes(TLogLevel ALogLevel) const {
    // Verbose messages (the progress lines among them) pass at every level above quiet.
    const TLogLevel level = FLogLevel;
    return ALogLevel <= level || (ALogLevel == llVerbose && level != llQuiet);
}

void TFFLogger::Log(void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg) {
    if (OnLog && Passes(ALogLevel))
        Deliver(Sender, CurrentThreadID(), ALogLevel, ALogMsg);
}

void TFFLogger::LogF(void* Sender, TLogLevel ALogLevel, const char* AFormat, ...) {
    if (!OnLog || !Passes(ALogLevel))
        return;
    va_list args;
    va_start(args, AFormat);
    std::string text = VFormatText(AFormat, args);
    va_end(args);
    Deliver(Sender, CurrentThreadID(), ALogLevel, text);
}

void TFFLogger::Deliver(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg) {
    if (!OnLog)
        return;
    if (FTriggerEventInMainThread)
        PlatformBridge().CallInMainThread([&] { OnLog(Sender, AThreadID, ALogLevel, ALogMsg); });
    else
        OnLog(Sender, AThreadID, ALogLevel, ALogMsg);
}

void DeliverLibraryLine(TFFLogger& ALogger, uint32_t AThreadID, TLogLevel ALevel, const std::string& ALine) {
    ALogger.Deliver(&ALogger, AThreadID, ALevel, ALine);
}

void ResetLibraryLogState() {
    std::lock_guard lock(LogLock());
    State().Items.clear();
    State().LastLine.clear();
    State().RepeatCount = 0;
}

void LibraryLogCallback(void* AContext, int ALevel, const char* AFormat, va_list AArgs) {
    if (ALevel > g_libraryLevel.load() || !AFormat)
        return;
    const uint32_t threadID = CurrentThreadID();
    std::vector<std::string> lines;
    TFFLogger* logger = nullptr;
    {
        std::lock_guard lock(LogLock());
        TLibraryLogState& state = State();
        auto item = std::find_if(state.Items.begin(), state.Items.end(),
                                 [&](const TLogItem& i) { return i.ThreadID == threadID; });
        if (item == state.Items.end())
            item = state.Items.insert(state.Items.begin(), TLogItem{threadID, {}});

        std::string text;
        if (AContext && item->LogMsg.empty())
            text = ContextPrefix(AContext);
        // A "%s" with a null argument only flushes.
        bool flushOnly = false;
        if (std::strcmp(AFormat, "%s") == 0) {
            va_list peek;
            va_copy(peek, AArgs);
            flushOnly = va_arg(peek, const char*) == nullptr;
            va_end(peek);
        }
        if (!flushOnly)
            text += VFormatText(AFormat, AArgs);

        // Only a whole line counts as a repeat: a piece that ends another thread's
        // pending line must never be swallowed because it looks like the last one.
        if (item->LogMsg.empty() && !text.empty() && text.back() == '\n' && text == state.LastLine) {
            ++state.RepeatCount;
            return;
        }
        if (state.RepeatCount > 1)
            lines.push_back(FormatText("    Last message repeated %d times", state.RepeatCount));
        state.RepeatCount = 0;
        state.LastLine = text;
        item->LogMsg += text;
        size_t eol;
        while ((eol = item->LogMsg.find('\n')) != std::string::npos) {
            lines.push_back(item->LogMsg.substr(0, eol));
            item->LogMsg.erase(0, eol + 1);
        }
        if (!lines.empty())
            logger = &TFFLogger::CurrentLocked();
    }
    const TLogLevel level = AVLevelToLogLevel(ALevel);
    for (const std::string& line : lines)
        DeliverLibraryLine(*logger, threadID, level, line);
}

} // namespace vx
