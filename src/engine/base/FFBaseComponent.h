// Base of the engine's components (encoder, decoder, logger, player).
#pragma once

#include <string>

namespace vx {

inline constexpr const char* EngineVersion = "4.1";

class TFFBaseComponent {
public:
    TFFBaseComponent() = default;
    virtual ~TFFBaseComponent() = default;
    TFFBaseComponent(const TFFBaseComponent&) = delete;
    TFFBaseComponent& operator=(const TFFBaseComponent&) = delete;

    // Carries nothing at run time; kept for callers that set it.
    const std::string& About() const { return FAbout; }
    void SetAbout(std::string AValue) { FAbout = std::move(AValue); }
    std::string Version() const { return EngineVersion; }

private:
    std::string FAbout;
};

} // namespace vx
