#include "layer/KeyQueue.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "layer/Window.h"
#include "tests/support/FakeToolkit.h"

namespace {

using namespace layer;

constexpr int Listener = 12;

class KeyQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    KeyQueue.clear();
    GraphicsWindow = {};
    GraphicsWindow.KeyListener = Listener;
    GraphicsWindow.ItemQuit = 6;
    GraphicsWindow.MouseKind0 = 15;
  }

  static void Key(int code, int character) {
    fake::Script().keyCode = code;
    fake::Script().keyChar = character;
    HandleKeyEvent();
  }

  // J_nextaction hands out these events in turn, each setting the key it carries.
  static void ScriptEvents(std::vector<std::pair<int, int>> eventAndChar) {
    fake::Script().nextAction = [events = std::move(eventAndChar),
                                 next = std::size_t{0}]() mutable {
      if (next == events.size()) ADD_FAILURE() << "ReadKey waited past the scripted events";
      const auto [event, character] = events.at(next++);
      fake::Script().keyChar = character;
      return event;
    };
  }
};

TEST_F(KeyQueueTest, MapsToolkitKeysToQueuedCodes) {
  const struct {
    int code, character;
    const char* queued;  // empty: nothing queued
  } cases[] = {
      {112, 0, "\x01"},  {123, 0, "\x0c"},  // F1, F12
      {37, 0, "\x0d"},   {39, 0, "\x0e"},   {38, 0, "\x0f"}, {40, 0, "\x10"},
      {36, 0, "\x11"},   {35, 0, "\x12"},   {33, 0, "\x13"}, {34, 0, "\x14"},
      {45, 'x', "\x15"}, {46, 127, "\x16"},  // the code wins over the character
      {13, 10, "\x17"},                      // Enter
      {27, 27, "\x1b"},                      // Escape
      {65, 'a', "a"},    {0, 0xe4, "\xe4"},  // Latin-1 character
      {111, 0, ""},      {124, 0, ""},       // just outside F1..F12, no character
      {65, 0x141, "A"},                      // only the low 8 bits are queued
  };
  for (const auto& c : cases) {
    KeyQueue.clear();
    Key(c.code, c.character);
    EXPECT_EQ(KeyQueue, c.queued) << "code " << c.code << " char " << c.character;
    EXPECT_EQ(KeyPressed(), *c.queued != '\0');
  }
  EXPECT_TRUE(fake::CallsStartingWith("J_getkeycode(12)").size() == std::size(cases));
}

TEST_F(KeyQueueTest, FullQueueDropsItsOldestKey) {
  for (std::size_t i = 0; i < MaxQueuedKeys; ++i)
    Key(0, static_cast<int>(1 + i % 200));
  ASSERT_EQ(KeyQueue.size(), MaxQueuedKeys);
  const std::string kept = KeyQueue.substr(1);
  Key(0, 'z');
  EXPECT_EQ(KeyQueue, kept + "z");
}

TEST_F(KeyQueueTest, ReadKeyTakesQueuedKeysOldestFirstWithoutToolkit) {
  KeyQueue = "a\xff";
  EXPECT_EQ(ReadKey(), 'a');
  EXPECT_EQ(ReadKey(), 255);
  EXPECT_FALSE(KeyPressed());
  EXPECT_TRUE(fake::Record().calls.empty());
}

TEST_F(KeyQueueTest, ReadKeyDropsOtherEventsAndWaitsThroughKeysWithoutCode) {
  fake::Script().keyCode = 200;  // not in the table
  ScriptEvents({{6, 'q'}, {15, 'q'}, {Listener, 0}, {99, 'q'}, {Listener, 'k'}});
  EXPECT_EQ(ReadKey(), 'k');
  EXPECT_FALSE(KeyPressed()) << "the Quit and mouse events are not keys";
  const std::vector<std::string> expected = {
      "J_nextaction()",   "J_nextaction()",   "J_nextaction()",
      "J_getkeycode(12)", "J_getkeychar(12)", "J_nextaction()",
      "J_nextaction()",   "J_getkeycode(12)", "J_getkeychar(12)",
  };
  EXPECT_EQ(fake::Record().calls, expected);
}

}  // namespace
