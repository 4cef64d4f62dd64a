// The options every bed and profile run takes besides its model's (params::kRunOptions), read
// into what the run loop is asked to do.
#pragma once

#include <cstdint>
#include <string>

#include "kammelsim/params/Reader.h"
#include "kammelsim/params/Record.h"
#include "kammelsim/run/RunSettings.h"

namespace kammelsim {

/// The run's settings from checked values; total is the batches or steps asked for. The
/// snapshot interval goes into record. On a fault between options sets error.
RunSettings ReadRunSettings(const params::Values& values, std::int64_t total,
                            params::Record& record, std::string& error);

}  // namespace kammelsim
