// Messages a dialog or the application receives, and the static tables that
// map them to member handlers.
#pragma once

#include <QPoint>
#include <span>

namespace fw {

class Dialog;

enum class MessageKind {
  Command,     // a button click or a key that issues a command; `id` is the command id
  SysCommand,  // a system-menu or frame command; `id` as issued, low four bits included
  Paint,
};

struct Message {
  MessageKind kind;
  unsigned id = 0;
  QPoint point{};                  // where a system command was chosen
  const Dialog* source = nullptr;  // the dialog whose key or control issued it
};

inline constexpr unsigned kIdOk = 1;
inline constexpr unsigned kIdCancel = 2;
inline constexpr unsigned kIdHelp = 57670;
inline constexpr unsigned kSysMove = 0xF010;
inline constexpr unsigned kSysClose = 0xF060;

// One row of a message table: a command id, every system command, or paint.
template <class Target>
struct MessageEntry {
  MessageKind kind;
  unsigned id;
  void (Target::*handler)();
  void (Target::*on_sys_command)(unsigned id, QPoint point);
};

template <class Target>
constexpr MessageEntry<Target> OnCommandEntry(unsigned id, void (Target::*handler)()) {
  return {MessageKind::Command, id, handler, nullptr};
}
template <class Target>
constexpr MessageEntry<Target> OnSysCommandEntry(void (Target::*handler)(unsigned, QPoint)) {
  return {MessageKind::SysCommand, 0, nullptr, handler};
}
template <class Target>
constexpr MessageEntry<Target> OnPaintEntry(void (Target::*handler)()) {
  return {MessageKind::Paint, 0, handler, nullptr};
}

// Calls the first handler of `table` that takes `m`; false when none does.
template <class Target>
bool Route(Target& target, std::span<const MessageEntry<Target>> table, const Message& m) {
  for (const auto& e : table) {
    if (e.kind != m.kind || (e.kind == MessageKind::Command && e.id != m.id)) continue;
    if (e.on_sys_command) {
      (target.*e.on_sys_command)(m.id, m.point);
    } else {
      (target.*e.handler)();
    }
    return true;
  }
  return false;
}

}  // namespace fw
