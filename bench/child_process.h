#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace korvalen::bench {

// A program the bench starts and watches from outside. Whatever it prints goes to `log`; it is
// ended when this goes, if it has not ended by itself.
class ChildProcess {
 public:
  // Starts at once; `environment` entries replace or add to the bench's own environment.
  ChildProcess(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& log);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  [[nodiscard]] pid_t Pid() const { return pid_; }
  [[nodiscard]] bool Running();
  // Sends `signal` and waits up to `limit` for the end; kills it if it has not ended by then.
  // Returns the exit status as waitpid gave it.
  int Stop(int signal, std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Waits for the child to end by itself; false if it was still running after `limit`.
  bool Wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

}  // namespace korvalen::bench
