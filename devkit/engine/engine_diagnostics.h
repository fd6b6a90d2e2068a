#ifndef DEVKIT_ENGINE_ENGINE_DIAGNOSTICS_H_
#define DEVKIT_ENGINE_ENGINE_DIAGNOSTICS_H_

#include <string_view>

namespace devkit {

// One line on the standard error stream, marked as the stand-in engine's, so that a test's
// output tells the engine's complaints from the host's.
void WriteEngineDiagnostic(std::string_view text);

}  // namespace devkit

#endif  // DEVKIT_ENGINE_ENGINE_DIAGNOSTICS_H_
