// The handle registry: every object the program made, named by a positive 32-bit handle.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <unordered_map>
#include <vector>

class QWidget;

namespace jqt {

enum class Kind : std::uint8_t {
  Frame,
  MenuBar,
  Menu,
  MenuItem,
  Canvas,
  Dialog,
  Label,
  TextField,
  Button,
  KeyListener,
  MouseListener,
};

/// How a window arranges its children.
enum class Arrangement : std::uint8_t { Row, Column, Border };

/// One registered object. Listeners have no Qt object of their own.
struct Entry {
  Kind kind = Kind::Frame;
  int handle = 0;
  QPointer<QObject> object;
  int owner = 0;                 ///< the handle this was made on, 0 for frames
  int detail = 0;                ///< mouse kind of a listener, font of a canvas
  bool enabled = true;           ///< as the program last set it
  int keyCode = 0, keyChar = 0;  ///< a key listener's last key
  Arrangement arrangement = Arrangement::Row;
  std::vector<int> children;   ///< widgets laid out in a window, in creation order
  std::vector<int> listeners;  ///< listeners made on this object
  int menuBar = 0;             ///< a frame's menu bar
};

/// Handles count up across connections, so one left over from an earlier connection never
/// names an object of a later one.
class Registry {
 public:
  /// Registers an object (null for a listener) and returns its new handle, 0 when full.
  int Add(Kind kind, QObject* object, int owner);
  /// The live entry of a handle, or null.
  Entry* Find(int handle);
  /// The live entry of a handle when it has that kind, or null.
  Entry* Find(int handle, Kind kind);
  /// The entry registered for a Qt object, or null.
  Entry* FindObject(const QObject* object);
  /// Deletes every window made and forgets all entries; later handles go on counting up.
  void Clear();
  /// The number of live entries.
  std::size_t Size() const { return entries_.size(); }

 private:
  /// Forgets an entry with its children and listeners: their objects are gone.
  void Release(int handle);

  // Node-based, so entries handed out never move; a disposed dialog's entries are erased.
  std::unordered_map<int, Entry> entries_;
  std::unordered_map<const QObject*, int> byObject_;
  std::int64_t next_ = 1;  ///< the next handle; never reused
};

/// The widget of an entry, or null when it has none.
QWidget* WidgetOf(const Entry& entry);

/// Whether an entry is a top-level window.
inline bool IsWindow(const Entry& entry) {
  return entry.kind == Kind::Frame || entry.kind == Kind::Dialog;
}

}  // namespace jqt
