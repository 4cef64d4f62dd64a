#include "toolkit/qt/Registry.h"

#include <QAction>
#include <QWidget>
#include <limits>

namespace jqt {

int Registry::Add(Kind kind, QObject* object, int owner) {
  if (next_ > std::numeric_limits<int>::max()) return 0;
  const int handle = static_cast<int>(next_++);
  Entry& entry = entries_[handle];
  entry.kind = kind;
  entry.handle = handle;
  entry.object = object;
  entry.owner = owner;
  if (object) {
    byObject_[object] = handle;
    QObject::connect(object, &QObject::destroyed, [this, object, handle] {
      byObject_.erase(object);
      Release(handle);
    });
  }
  return handle;
}

Entry* Registry::Find(int handle) {
  const auto found = entries_.find(handle);
  if (found == entries_.end()) return nullptr;
  Entry& entry = found->second;
  const bool listener = entry.kind == Kind::KeyListener || entry.kind == Kind::MouseListener;
  return listener || entry.object ? &entry : nullptr;
}

Entry* Registry::Find(int handle, Kind kind) {
  Entry* entry = Find(handle);
  return entry && entry->kind == kind ? entry : nullptr;
}

Entry* Registry::FindObject(const QObject* object) {
  const auto found = byObject_.find(object);
  return found == byObject_.end() ? nullptr : Find(found->second);
}

void Registry::Release(int handle) {
  const auto found = entries_.find(handle);
  if (found == entries_.end()) return;
  std::vector<int> owned = std::move(found->second.children);
  owned.insert(owned.end(), found->second.listeners.begin(), found->second.listeners.end());
  entries_.erase(found);
  for (const int child : owned)
    Release(child);
}

void Registry::Clear() {
  std::vector<QPointer<QObject>> windows;
  for (const auto& [handle, entry] : entries_) {
    if (IsWindow(entry)) windows.push_back(entry.object);
  }
  // A frame takes its dialogs with it; the guarded pointers notice.
  for (QPointer<QObject>& window : windows)
    delete window.data();
  entries_.clear();
  byObject_.clear();
}

QWidget* WidgetOf(const Entry& entry) {
  return qobject_cast<QWidget*>(entry.object.data());
}

}  // namespace jqt
