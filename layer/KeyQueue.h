// The keyboard queue: toolkit key events turned into one-byte codes, oldest first.
#pragma once

#include <cstdint>
#include <string>

namespace layer {

/// At most MaxQueuedKeys codes, oldest first.
extern std::string KeyQueue;
inline constexpr std::size_t MaxQueuedKeys = 255;

/// Maps the last key event of the window's key listener and queues its code (never a 0).
void HandleKeyEvent();
/// True when a code is queued; calls no toolkit function.
bool KeyPressed();
/// Removes and returns the oldest code (0..255), waiting for key events while none is queued.
std::int32_t ReadKey();

}  // namespace layer
