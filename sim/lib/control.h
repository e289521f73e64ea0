// Shared implementation of the control entries (sim_control.h).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "lib/bus.h"

namespace talmer::sim {

// Answers talmer_sim_query for a bus; `open` is the library's count of
// open handles. Returns -1 for an unknown question.
long answer_query(gpib_bus &bus, std::size_t open, const std::string &settings_errors, std::string_view what,
                  char *buf, long size);

}  // namespace talmer::sim
