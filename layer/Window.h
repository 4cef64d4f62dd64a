// The program window: its handles, its start-up, the event wait and the end of the connection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace layer {

/// Every handle of the program window, in this order, and the run flag.
struct GraphicsWindowRecord {
  bool PollEvents;  ///< set: WaitEvent only polls
  std::int32_t Frame;
  std::int32_t MenuBar;
  std::int32_t MenuDatei, MenuGrafik, MenuRun;
  std::int32_t ItemQuit, ItemClear, ItemInput, ItemStart, ItemStop, ItemSave;
  std::int32_t KeyListener;
  std::int32_t MouseKind4, MouseKind0, MouseKind1, MouseKind2;
  std::int32_t Canvas;
  std::int32_t LastEvent;  ///< the programs keep the result of WaitEvent here
};

extern GraphicsWindowRecord GraphicsWindow;

/// The canvas size asked for at start-up, in pixels; the canvas itself may grow with the window.
inline constexpr std::int32_t CanvasWidth = 800;
inline constexpr std::int32_t CanvasHeight = 600;

/// Connects to the toolkit and builds the window. Runs by itself before main in the programs.
/// When no display can be reached it prints "cannot connect to server" on stdout and exits 1.
void OpenProgramWindow();

/// The title for an executable path: after a last backslash, the file name without its last
/// four characters; otherwise the file name after the last '/', without a four-character
/// extension such as ".exe".
std::string ProgramTitle(std::string_view executablePath);

/// The title of the running executable.
std::string ProgramTitle();

/// The next event's handle; 0 at once when PollEvents is set and nothing is pending.
std::int32_t WaitEvent();

/// Ends the toolkit connection; the programs call it once, after their loop.
void CloseProgramWindow();

}  // namespace layer
