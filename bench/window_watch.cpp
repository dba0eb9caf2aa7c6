#include "bench/window_watch.h"

#include <poll.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace korvalen::bench {
namespace {

template <typename T>
struct FreeDeleter {
  void operator()(T* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

}  // namespace

WindowWatch::WindowWatch() {
  int screen_number = 0;
  connection_ = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(connection_) != 0) {
    xcb_disconnect(connection_);
    throw std::runtime_error("no X display (run under xvfb-run)");
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  root_ = screens.data->root;

  const xcb_query_extension_reply_t* const damage =
      xcb_get_extension_data(connection_, &xcb_damage_id);
  damage_event_ = damage != nullptr ? damage->first_event : 0;
  const XcbReply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
      connection_, xcb_damage_query_version(connection_, 1, 1), nullptr));

  const char name[] = "_NET_WM_PID";
  const XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, sizeof name - 1, name), nullptr));
  pid_atom_ = atom ? atom->atom : 0;

  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  const XcbReply<xcb_generic_error_t> error(xcb_request_check(
      connection_,
      xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask)));
  if (error || damage == nullptr || damage->present == 0 || !version || pid_atom_ == 0) {
    xcb_disconnect(connection_);
    throw std::runtime_error("cannot watch the X display's windows (DAMAGE and _NET_WM_PID)");
  }
}

WindowWatch::~WindowWatch() {
  xcb_disconnect(connection_);
}

std::optional<std::uint32_t> WindowWatch::WindowPid(std::uint32_t window) {
  const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, window, pid_atom_, XCB_ATOM_CARDINAL, 0, 1),
      nullptr));
  if (!reply || xcb_get_property_value_length(reply.get()) != 4) return std::nullopt;
  return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

std::optional<WindowWatch::Shown> WindowWatch::WaitFor(pid_t pid, Clock::time_point deadline) {
  std::optional<Shown> shown;
  while (Clock::now() < deadline) {
    const XcbReply<xcb_generic_event_t> event(xcb_poll_for_event(connection_));
    if (!event) {
      if (xcb_connection_has_error(connection_) != 0) return std::nullopt;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd wanted{xcb_get_file_descriptor(connection_), POLLIN, 0};
      ::poll(&wanted, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)) + 1);
      continue;
    }
    const auto now = Clock::now();
    const std::uint8_t type = event->response_type & 0x7F;
    if (type == XCB_CREATE_NOTIFY) {
      // The damage object must exist before the first drawing, so it is made at creation, for
      // every new window, before anyone could paint it.
      const auto* const created = reinterpret_cast<const xcb_create_notify_event_t*>(event.get());
      const std::uint32_t damage = xcb_generate_id(connection_);
      xcb_damage_create(connection_, damage, created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
      xcb_flush(connection_);
      damages_[created->window] = damage;
    } else if (type == XCB_MAP_NOTIFY && !shown) {
      const auto* const mapped = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
      if (damages_.contains(mapped->window) &&
          WindowPid(mapped->window) == static_cast<std::uint32_t>(pid)) {
        shown = Shown{mapped->window, now, {}};
      }
    } else if (type == XCB_DESTROY_NOTIFY) {
      const auto* const gone = reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get());
      damages_.erase(gone->window);
    } else if (type == damage_event_ + XCB_DAMAGE_NOTIFY && shown) {
      const auto* const drawn = reinterpret_cast<const xcb_damage_notify_event_t*>(event.get());
      if (drawn->drawable == shown->window) {
        shown->painted = now;
        return shown;
      }
    }
  }
  return std::nullopt;
}

}  // namespace korvalen::bench
