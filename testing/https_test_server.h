#ifndef TESTING_HTTPS_TEST_SERVER_H_
#define TESTING_HTTPS_TEST_SERVER_H_

// tests/https_server.py running as a child process on 127.0.0.1, for unit
// tests that download for real. Files and environment: test_env.h.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testing/test_env.h"

extern char** environ;

namespace test_support {

// Starts "arguments" (the program found on PATH); its pid, or -1.
inline pid_t spawnProcess(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    return -1;
  }
  return pid;
}

inline std::string serverScript() {
  return TEST_SOURCE_DIR "/tests/https_server.py";
}

// Makes a CA of its own in "dir"/ca.pem, one no test server chains to.
inline bool makeOtherCa(const std::string& dir) {
  pid_t pid = spawnProcess({"python3", serverScript(), "--make-ca", dir});
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// tests/https_server.py serving one file, for the lifetime of this object.
// The script's header describes the control keys and the counters.
class TestHttpsServer {
 public:
  // Serves "file" over TLS, or plain HTTP when "plain"; the server's
  // certificates, port, control and counters live in "dir".
  TestHttpsServer(const std::string& file, const std::string& dir,
                  bool plain = false)
      : dir_(dir), plain_(plain) {
    std::vector<std::string> arguments = {"python3", serverScript()};
    if (plain) arguments.push_back("--plain");
    arguments.insert(arguments.end(), {file, dir});
    pid_ = spawnProcess(arguments);
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && port_ == 0 && std::chrono::steady_clock::now() < giveUp &&
           waitpid(pid_, nullptr, WNOHANG) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      port_ = std::atoi(testing_env::readFile(dir_ + "/port").value_or("").c_str());
    }
  }
  ~TestHttpsServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  TestHttpsServer(const TestHttpsServer&) = delete;
  TestHttpsServer& operator=(const TestHttpsServer&) = delete;

  bool started() const { return port_ != 0; }
  std::string url(const std::string& path = "/agent.zip") const {
    return std::string(plain_ ? "http" : "https") + "://127.0.0.1:" +
           std::to_string(port_) + path;
  }
  // The CA that signed the server's certificate.
  std::string caFile() const { return dir_ + "/ca.pem"; }
  // Replaces the control file with "json"; later requests follow it.
  void setControl(const std::string& json) {
    testing_env::writeFile(dir_ + "/control.json", json);
  }
  // The counter "name" once no request is in progress, or -1.
  long stat(const std::string& name) const {
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string stats = testing_env::readFile(dir_ + "/stats.json").value_or("");
    while (counter(stats, "active") != 0 &&
           std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      stats = testing_env::readFile(dir_ + "/stats.json").value_or("");
    }
    return counter(stats, name);
  }

 private:
  // A top-level number in the stats file as Python's json module writes it.
  static long counter(const std::string& stats, const std::string& name) {
    std::string key = "\"" + name + "\": ";
    size_t at = stats.find(key);
    if (at == std::string::npos) return -1;
    return std::strtol(stats.c_str() + at + key.size(), nullptr, 10);
  }

  std::string dir_;
  bool plain_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace test_support

#endif  // TESTING_HTTPS_TEST_SERVER_H_
