#include "serial/host_port_return.h"

namespace korvalen {

bool HostTellsOfReturningPorts() {
  return false;
}

std::unique_ptr<PortReturn> WatchHostPorts(const HostSerialLink& /*link*/, PortSource /*ports*/) {
  return nullptr;
}

}  // namespace korvalen
