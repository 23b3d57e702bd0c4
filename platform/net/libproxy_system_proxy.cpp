#include <dlfcn.h>
#include <proxy.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <future>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/net/system_proxy.h"
#include "platform/net/url_user_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"

namespace platform {
namespace {

// The runtime package's name for the library; plain libproxy.so comes only
// with the development files.
constexpr char kLibproxyName[] = "libproxy.so.1";

// Answering may mean fetching a PAC file, looking for one through WPAD and
// running its script: libproxy bounds none of that against a server that
// trickles its bytes or a script that never returns. This wait, on the
// download's own clock, is the bound; after it the download goes direct.
constexpr std::chrono::seconds kAnswerDeadline{5};

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return text;
}

// The URL as libproxy and a PAC script get it: never with a password, and
// with the scheme a download without one uses.
std::optional<std::string> questionFor(const std::string& url) {
  std::string question = withoutUserInfo(url);
  if (question.find("://") == std::string::npos) question = "https://" + question;
  if (strncasecmp(question.c_str(), "http://", 7) != 0 &&
      strncasecmp(question.c_str(), "https://", 8) != 0) {
    return std::nullopt;  // a file: URL has no proxy
  }
  return question;
}

struct Libproxy {
  decltype(&px_proxy_factory_new) newFactory = nullptr;
  decltype(&px_proxy_factory_get_proxies) getProxies = nullptr;
  // Only since 0.4.16; before it, the answer is freed with free().
  decltype(&px_proxy_factory_free_proxies) freeProxies = nullptr;

  std::vector<std::string> ask(pxProxyFactory* factory,
                               const std::string& url) const {
    std::vector<std::string> answer;
    char** proxies = getProxies(factory, url.c_str());
    if (proxies == nullptr) return answer;
    for (char** entry = proxies; *entry != nullptr; ++entry) {
      answer.emplace_back(*entry);
      if (freeProxies == nullptr) std::free(*entry);
    }
    if (freeProxies != nullptr) {
      freeProxies(proxies);
    } else {
      std::free(proxies);
    }
    return answer;
  }
};

template <class Function>
bool bind(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  return *function != nullptr;
}

// Lives as long as the process: see Real().
class LibproxySystemProxy final : public SystemProxy {
 public:
  std::string proxyFor(const std::string& url) override;

 private:
  // Sets factory_ where libproxy is installed.
  void load();
  std::optional<std::vector<std::string>> askInTime(const std::string& url);

  bool loadTried_ = false;
  Libproxy px_;
  pxProxyFactory* factory_ = nullptr;
  // A question left unanswered still holds the factory: no other is asked.
  bool abandoned_ = false;
};

void LibproxySystemProxy::load() {
  // Never closed: the factory's modules live in it. Where it is missing,
  // downloads go direct, or by the proxy variables.
  void* library = dlopen(kLibproxyName, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return;
  Libproxy px;
  if (!bind(library, "px_proxy_factory_new", &px.newFactory) ||
      !bind(library, "px_proxy_factory_get_proxies", &px.getProxies)) {
    return;
  }
  bind(library, "px_proxy_factory_free_proxies", &px.freeProxies);
  // Reads the desktop's settings (GNOME's through a helper process of
  // libproxy's) and loads the PAC runner: local work, no network.
  px_ = px;
  factory_ = px.newFactory();
}

std::optional<std::vector<std::string>> LibproxySystemProxy::askInTime(
    const std::string& url) {
  std::promise<std::vector<std::string>> promise;
  std::future<std::vector<std::string>> answer = promise.get_future();
  // Signals stay with the loop's thread, which the program's handling of
  // them expects: the asker starts with all of them blocked.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  std::thread asker;
  try {
    asker = std::thread([px = px_, factory = factory_, url,
                         promise = std::move(promise)]() mutable {
      try {
        promise.set_value(px.ask(factory, url));
      } catch (const std::bad_alloc&) {
        promise.set_value({});
      }
    });
  } catch (const std::system_error&) {
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!asker.joinable()) return std::nullopt;
  if (answer.wait_for(kAnswerDeadline) == std::future_status::ready) {
    asker.join();
    return answer.get();
  }
  asker.detach();
  abandoned_ = true;
  Service<SystemLog>::get().log(
      "The desktop's proxy settings gave no answer within " +
      std::to_string(kAnswerDeadline.count()) +
      " s: connecting without a proxy.");
  return std::nullopt;
}

std::string LibproxySystemProxy::proxyFor(const std::string& url) {
  std::optional<std::string> question = questionFor(url);
  if (!question) return "";
  if (!loadTried_) {
    loadTried_ = true;
    load();
  }
  if (factory_ == nullptr || abandoned_) return "";
  std::optional<std::vector<std::string>> answer = askInTime(*question);
  return answer ? firstUsableProxy(*answer) : "";
}

}  // namespace

std::string firstUsableProxy(const std::vector<std::string>& answer) {
  for (const std::string& entry : answer) {
    std::string::size_type end = entry.find("://");
    if (end == std::string::npos) continue;
    std::string scheme = lowercase(entry.substr(0, end));
    if (scheme == "direct") return "";
    // libproxy's name for a SOCKS server of no stated version, which GNOME's
    // own clients try as SOCKS 5 first.
    if (scheme == "socks") return "socks5" + entry.substr(end);
    if (scheme == "http" || scheme == "https" || scheme == "socks4" ||
        scheme == "socks4a" || scheme == "socks5" || scheme == "socks5h") {
      return entry;
    }
  }
  return "";
}

SystemProxy& SystemProxy::Real() {
  // Never destroyed, nor its factory freed: the PAC runner's JavaScript
  // engine keeps threads of its own running, and tearing it down at exit,
  // under them, crashed the process now and then.
  static LibproxySystemProxy& proxy = *new LibproxySystemProxy;
  return proxy;
}

}  // namespace platform
