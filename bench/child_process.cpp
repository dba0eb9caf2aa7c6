#include "bench/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace korvalen::bench {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::string& log) {
  if (arguments.empty()) throw std::invalid_argument("no program to start");
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (!environment.contains(variable.substr(0, variable.find('='))))
      variables.push_back(variable);
  }
  for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);

  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& variable : variables) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int failed = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    throw std::system_error(failed, std::generic_category(), "cannot start " + arguments[0]);
  }
}

ChildProcess::~ChildProcess() {
  if (!ended_) Stop(SIGKILL);
}

bool ChildProcess::Running() {
  if (ended_) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
  return !ended_;
}

bool ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int ChildProcess::Stop(int signal, std::chrono::milliseconds limit) {
  if (Running()) {
    ::kill(pid_, signal);
    if (!Wait(limit)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
      ended_ = true;
    }
  }
  return status_;
}

}  // namespace korvalen::bench
