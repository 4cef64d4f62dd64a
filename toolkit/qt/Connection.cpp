// The connection and the event queue.
#include <QApplication>
#include <cerrno>
#include <cstdio>

#include "toolkit/qt/Canvas.h"
#include "toolkit/qt/DisplayProbe.h"
#include "toolkit/qt/Events.h"
#include "toolkit/qt/QtBackend.h"

namespace jqt {
namespace {

// Qt's chatter (missing runtime folders, plugin remarks) is not for the program's user.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtCriticalMsg && type != QtFatalMsg) return;
  if (QtMessageHandler previous = State().previousHandler) {
    previous(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

void SetArguments(Backend& state, const std::string& platform) {
  state.argStorage = {program_invocation_short_name, "-platform", platform};
  state.argv.clear();
  for (std::string& argument : state.argStorage)
    state.argv.push_back(argument.data());
  state.argv.push_back(nullptr);
  state.argc = static_cast<int>(state.argStorage.size());
}

int Pop() {
  std::deque<int>& events = State().events;
  if (events.empty()) return 0;
  const int handle = events.front();
  events.pop_front();
  return handle;
}

}  // namespace

// Never destroyed: Qt objects must not be torn down by static destructors at exit.
Backend& State() {
  static Backend* const state = new Backend;
  return *state;
}

void Post(int handle) {
  State().events.push_back(handle);
}

void PostCoalesced(int handle) {
  std::deque<int>& events = State().events;
  if (events.empty() || events.back() != handle) events.push_back(handle);
}

void ShowSoon(QWidget& frame) {
  State().framesToShow.emplace_back(&frame);
}

void DisposeSoon(QWidget& dialog) {
  State().dialogsToDispose.emplace_back(&dialog);
}

void ForgetPlans(const QWidget& window) {
  const auto same = [&window](const QPointer<QWidget>& planned) { return planned == &window; };
  std::erase_if(State().framesToShow, same);
  std::erase_if(State().dialogsToDispose, same);
}

void UpdateScreen() {
  Backend& state = State();
  for (QPointer<CanvasWidget>& canvas : state.dirtyCanvases) {
    if (canvas) canvas->Present();
  }
  state.dirtyCanvases.clear();
  std::vector<QPointer<QWidget>> dialogs, frames;
  dialogs.swap(state.dialogsToDispose);
  frames.swap(state.framesToShow);
  for (QPointer<QWidget>& dialog : dialogs)
    delete dialog.data();
  for (QPointer<QWidget>& frame : frames) {
    if (!frame) continue;
    frame->show();
    frame->raise();
    frame->activateWindow();
  }
}

}  // namespace jqt

using jqt::State;

extern "C" {

int J_start(void) {
  jqt::Backend& state = State();
  if (state.app) return 1;
  if (QCoreApplication::instance()) return 0;  // someone else's application: not ours to use
  const std::string platform = jqt::ChoosePlatform(jqt::SystemDisplayEnvironment());
  if (platform.empty()) return 0;
  state.previousHandler = qInstallMessageHandler(jqt::QuietHandler);
  jqt::SetArguments(state, platform);
  state.app = std::make_unique<QApplication>(state.argc, state.argv.data());
  QApplication::setQuitOnLastWindowClosed(false);
  state.translator = std::make_unique<jqt::EventTranslator>();
  return 1;
}

void J_quit(void) {
  jqt::Backend& state = State();
  if (!state.app) return;
  state.dirtyCanvases.clear();
  state.framesToShow.clear();
  state.dialogsToDispose.clear();
  state.registry.Clear();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  state.translator.reset();
  state.events.clear();
  state.app.reset();
  qInstallMessageHandler(state.previousHandler);
  state.previousHandler = nullptr;
}

int J_nextaction(void) {
  jqt::Backend& state = State();
  if (!state.app) return 0;
  jqt::UpdateScreen();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  while (state.events.empty()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return jqt::Pop();
}

int J_getaction(void) {
  if (!State().app) return 0;
  jqt::UpdateScreen();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return jqt::Pop();
}

}  // extern "C"
