#pragma once

#include <functional>

namespace korvalen {

// Tells the panel when the device its link lost may be back, so it can reopen it by itself. Kept
// apart from SerialLink: the panel reopens through the link it always uses, and the waiting is
// something only some hosts can do without polling.
class PortReturn {
 public:
  virtual ~PortReturn() = default;

  // Watches for the device the link last had open. `back` runs from the event loop each time that
  // device is there again, until Stop; a later Watch replaces an earlier one.
  virtual void Watch(std::function<void()> back) = 0;
  virtual void Stop() = 0;
};

}  // namespace korvalen
