#ifndef DEVKIT_ENGINE_FAULT_REQUEST_H_
#define DEVKIT_ENGINE_FAULT_REQUEST_H_

// A message a UI application sends on this channel (the driver's call, for a test) makes the
// stand-in engine fault on the host's UI thread from one of its tasks, as a crash in the engine
// or the host would: for tests of what the host leaves when it dies. Only the development kit's
// engine knows it; the real engine would hand the message to the host like any other.
inline constexpr char kDevkitFaultChannel[] = "keelo.devkit/fault-on-ui-thread";

#endif  // DEVKIT_ENGINE_FAULT_REQUEST_H_
