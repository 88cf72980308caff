// The engine's one logger: engine messages and the media libraries' own log output,
// filtered by level, reassembled per thread, repeats collapsed, raised through OnLog.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "FFBaseComponent.h"

namespace vx {

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Library levels are multiples of 8 from -8 (quiet) to 48 (debug).
TLogLevel AVLevelToLogLevel(int ALevel);
int LogLevelToAVLevel(TLogLevel ALevel);

using TLogEvent =
    std::function<void(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg)>;

class TFFLogger : public TFFBaseComponent {
public:
    // An application logger replaces an auto-created one; a second application logger
    // throws std::logic_error("Allow creating only one instance of TFFLogger.").
    TFFLogger();
    ~TFFLogger() override;

    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
    void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
    TLogLevel LogLevel() const { return FLogLevel; }
    void SetLogLevel(TLogLevel AValue);
    bool AutoCreated() const { return FAutoCreated; }

    // Installs the library log callback and applies LogLevel to the library.
    // Requires av_log_set_callback and av_log_set_level to be bound.
    void InstallAVLogCallback();
    // The value of the "loglevel" option: a level name in any case, or a decimal
    // library level. Throws std::invalid_argument for anything else.
    void OptLogLevel(const std::string& AArg);

    void Log(void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg);
    // printf-style; formats only when the message passes the level filter.
    void LogF(void* Sender, TLogLevel ALogLevel, const char* AFormat, ...)
        __attribute__((format(printf, 4, 5)));

    // Set on the owner's thread while no engine work runs; read by every thread that logs.
    TLogEvent OnLog;

private:
    friend TFFLogger& GetLogger();
    friend void LibraryLogCallback(void*, int, const char*, va_list);
    friend void DeliverLibraryLine(TFFLogger&, uint32_t, TLogLevel, const std::string&);
    explicit TFFLogger(bool AAutoCreated);
    // The current logger, made when there is none. The log lock held.
    static TFFLogger& CurrentLocked();
    bool Passes(TLogLevel ALogLevel) const;
    void Deliver(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg);

    const bool FAutoCreated;
    // Any thread reads these while another may set them.
    std::atomic<bool> FTriggerEventInMainThread{true};
    std::atomic<TLogLevel> FLogLevel;
};

// The current logger; creates an auto-created one when there is none.
TFFLogger& GetLogger();

// Forgets the per-thread pending library text, the last line and the repeat count
// (done at shutdown; tests use it to start from a clean state).
void ResetLibraryLogState();

// The callback that the media library calls for its log output.
void LibraryLogCallback(void* AContext, int ALevel, const char* AFormat, va_list AArgs);

} // namespace vx
