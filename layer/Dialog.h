// The small modal input dialog over the program window.
#pragma once

#include <string>
#include <string_view>

namespace layer {

/// The look of the next dialog: 's' String, 'c' Char, 'i' Integer, 'r' Real. Reset to 's' after
/// every dialog.
extern char InputKind;

/// Characters a dialog exchanges at most.
inline constexpr std::size_t MaxDialogText = 254;

/// Shows one dialog with the prompt and text as preset, waits for " ok " or Enter and leaves
/// what was typed (at most MaxDialogText characters) in text.
void ReadText(std::string_view prompt, std::string& text);

}  // namespace layer
