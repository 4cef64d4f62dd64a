// Turning Qt's events and signals into fired handles: the one place that does.
#pragma once

#include <QObject>

class QKeyEvent;

namespace jqt {

struct Entry;

/// Watches the registered widgets and queues the handles their events fire.
class EventTranslator : public QObject {
 public:
  /// Starts watching an entry's object: its signals and, through the filter, its events.
  void Watch(const Entry& entry);
  /// Lets mouse moves without a button reach a canvas once it has a move listener.
  void TrackMoves(const Entry& canvas);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool OnClose(Entry& entry, QEvent* event);
  void OnWindowState(const Entry& entry);
  bool OnKey(Entry& entry, const QKeyEvent& key);
  void OnMouse(Entry& canvas, int kind);
};

/// The toolkit's key code of a Qt key: F1..F12 112..123, cursor and paging keys 33..40,
/// insert 45, delete 46; Enter 10, Escape 27, Backspace 8, Tab 9, Space 32, A..Z 65..90 and
/// 0..9 48..57; another Latin-1 key 256 + its character; any other key 512 + (key & 0xffff).
int KeyCode(int qtKey);
/// The Latin-1 character a key event types (Enter 10, Escape 27), 0 when it has none.
int KeyChar(const QKeyEvent& key);

}  // namespace jqt
