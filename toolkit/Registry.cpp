#include "toolkit/Registry.h"

#include <QAction>
#include <QWidget>
#include <limits>

namespace jqt {

int Registry::Add(Kind kind, QObject* object, int owner) {
  const std::int64_t handle = first_ + static_cast<std::int64_t>(entries_.size());
  if (handle > std::numeric_limits<int>::max()) return 0;
  Entry& entry = entries_.emplace_back();
  entry.kind = kind;
  entry.handle = static_cast<int>(handle);
  entry.object = object;
  entry.owner = owner;
  if (object) {
    byObject_[object] = entry.handle;
    QObject::connect(object, &QObject::destroyed, [this, object] { byObject_.erase(object); });
  }
  return static_cast<int>(handle);
}

Entry* Registry::Find(int handle) {
  const std::int64_t index = static_cast<std::int64_t>(handle) - first_;
  if (index < 0 || index >= static_cast<std::int64_t>(entries_.size())) return nullptr;
  Entry& entry = entries_[static_cast<std::size_t>(index)];
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

void Registry::Clear() {
  std::vector<QPointer<QObject>> windows;
  for (const Entry& entry : entries_) {
    if (IsWindow(entry)) windows.push_back(entry.object);
  }
  // A frame takes its dialogs with it; the guarded pointers notice.
  for (QPointer<QObject>& window : windows)
    delete window.data();
  first_ += static_cast<std::int64_t>(entries_.size());
  entries_.clear();
  byObject_.clear();
}

QWidget* WidgetOf(const Entry& entry) {
  return qobject_cast<QWidget*>(entry.object.data());
}

}  // namespace jqt
