#ifndef DEVKIT_ENGINE_FAULT_REQUEST_H_
#define DEVKIT_ENGINE_FAULT_REQUEST_H_

// A message a UI application sends on this channel (the driver's call, for a test) makes the
// stand-in engine fault on the host's UI thread from one of its tasks, as a crash in the engine
// or the host would: for tests of what the host leaves when it dies. Only the development kit's
// engine knows it; the real engine would hand the message to the host like any other.
inline constexpr char kDevkitFaultChannel[] = "keelo.devkit/fault-on-ui-thread";

// A message on this channel makes the stand-in engine hand the host, in a task on the UI thread,
// a message on one of its channels whose callback data reads as a handler that is not there (a
// zero-filled block: an empty std::function, with either standard library). The host's own code
// then throws std::bad_function_call inside its message callback, as an exception of the host's
// own reaches it when an allocation fails. An exception thrown by the engine instead would not
// do: with each library linking its own C++ runtime, an exception that leaves the engine's
// library ends the process in the engine's runtime, never reaching the host's. For tests of a
// host ended by an uncaught C++ exception; the request itself is never answered.
inline constexpr char kDevkitThrowChannel[] = "keelo.devkit/throw-in-host-callback";

#endif  // DEVKIT_ENGINE_FAULT_REQUEST_H_
