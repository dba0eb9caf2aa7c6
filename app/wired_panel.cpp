#include "app/wired_panel.h"

#include "serial/port_mapping.h"

namespace korvalen {

WiredPanel::WiredPanel(const CommandLine& command_line)
    : ports_(WithMappedPorts(command_line.ports, HostPorts())),
      comm_(ports_),
      window_(comm_, [this] { return ports_().Describe(); }),
      options_(command_line, window_, comm_, ports_) {
}

}  // namespace korvalen
