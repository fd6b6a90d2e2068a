#ifndef DEVKIT_ENGINE_ENGINE_DIAGNOSTICS_H_
#define DEVKIT_ENGINE_ENGINE_DIAGNOSTICS_H_

#include <string_view>

namespace devkit {

// Written when the host responds to a message that awaits no response: one it answered already,
// or one it was never sent. The engine forwards nothing, but a test must be able to see it.
inline constexpr char kStrayResponseDiagnostic[] =
    "a response to a message that awaits none (answered twice, or never sent)";

// One line on the standard error stream, marked as the stand-in engine's, so that a test's
// output tells the engine's complaints from the host's.
void WriteEngineDiagnostic(std::string_view text);

}  // namespace devkit

#endif  // DEVKIT_ENGINE_ENGINE_DIAGNOSTICS_H_
