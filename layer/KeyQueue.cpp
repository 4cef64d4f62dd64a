#include "layer/KeyQueue.h"

#include "layer/Window.h"
#include "toolkit/japi.h"

namespace layer {

// Not constinit: clang 14 cannot evaluate libstdc++ 12's std::string constructor at compile time.
// Nothing queues a key before main, so a dynamic initialisation is as good.
std::string KeyQueue;

namespace {

struct KeyMapping {
  std::int32_t keyCode, queued;
};

constexpr KeyMapping CursorKeys[] = {
    {37, 13},  // left
    {39, 14},  // right
    {38, 15},  // up
    {40, 16},  // down
    {36, 17},  // home
    {35, 18},  // end
    {33, 19},  // page up
    {34, 20},  // page down
    {45, 21},  // insert
    {46, 22},  // delete
};

// The queued code of a toolkit key code; 0 when the key is queued as its character.
std::int32_t MappedKeyCode(std::int32_t keyCode) {
  if (keyCode >= 112 && keyCode <= 123) return keyCode - 111;  // F1..F12
  for (const auto& key : CursorKeys) {
    if (key.keyCode == keyCode) return key.queued;
  }
  return 0;
}

}  // namespace

void HandleKeyEvent() {
  const std::int32_t keyCode = J_getkeycode(GraphicsWindow.KeyListener);
  const std::int32_t keyChar = J_getkeychar(GraphicsWindow.KeyListener);
  std::int32_t code = MappedKeyCode(keyCode);
  if (code == 0) code = keyChar == 10 ? 23 : keyChar;
  if (code == 0) return;
  if (KeyQueue.size() >= MaxQueuedKeys) KeyQueue.erase(0, 1);
  KeyQueue.push_back(static_cast<char>(code & 0xff));
}

bool KeyPressed() {
  return !KeyQueue.empty();
}

std::int32_t ReadKey() {
  while (KeyQueue.empty()) {
    while (J_nextaction() != GraphicsWindow.KeyListener) {
      // Not a key: dropped.
    }
    HandleKeyEvent();
  }
  const auto code = static_cast<unsigned char>(KeyQueue.front());
  KeyQueue.erase(0, 1);
  return code;
}

}  // namespace layer
