#ifndef DEVKIT_APPS_BENCH_REPLY_CHECKS_H_
#define DEVKIT_APPS_BENCH_REPLY_CHECKS_H_

#include <cstddef>
#include <string>
#include <vector>

#include "devkit/driver/protocol/frame_reader.h"

namespace devkit {

// What the host must answer each call the bench application times, so that a host that answers
// wrongly, or with less than it was asked for, cannot give a figure.

// "getIdleSeconds": success, a whole number of seconds, not negative.
bool IsIdleSecondsReply(const Bytes& reply);

// "listApps": success, a list of records, each a map of exactly the four strings "exe", "name",
// "path" and "icon", with a record for each of |executables|.
bool IsCatalogueReply(const Bytes& reply, const std::vector<std::string>& executables);

// "getIcons" of |count| items keyed 0 to |count| - 1: success, a map of exactly those keys, each
// to a PNG image |size| pixels square.
bool IsIconsReply(const Bytes& reply, size_t count, int size);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_REPLY_CHECKS_H_
