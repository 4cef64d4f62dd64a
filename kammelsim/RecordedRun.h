// What a checkpoint records, checked before anything is made of it: by a resume and by the
// Python module's load alike, so that both refuse the same files with the same reasons.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kammelsim/params/Reader.h"
#include "kammelsim/run/Checkpoint.h"

namespace kammelsim {

/// The options a checkpoint records, read against its command's table (a bed's settings
/// choose which), when they are ones a run could have been given and its command reads: none
/// of its outputs, --force or --config (a resume takes its outputs from the checkpoint
/// alone), a total within range, and every value in range. Nothing, with the rest of a line
/// naming the file in why, otherwise. What the array and the statistics hold is checked
/// against the model these options make (CheckpointFits).
std::optional<params::Values> ReadRecord(const CheckpointData& data, std::string& why);

/// Why a checkpoint is refused whose options its command cannot read, after the file's name.
std::string OptionsCannotBe(std::string_view message);

}  // namespace kammelsim
