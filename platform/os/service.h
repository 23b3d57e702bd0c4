#ifndef PLATFORM_OS_SERVICE_H_
#define PLATFORM_OS_SERVICE_H_

namespace platform {

// The process-wide instance of a platform interface that portable code talks
// to. It is the real implementation, Interface::Real(), unless a test has
// installed a double with ScopedService.
template <class Interface>
class Service {
 public:
  static Interface& get() {
    return override_ != nullptr ? *override_ : Interface::Real();
  }

 private:
  template <class>
  friend class ScopedService;
  static inline Interface* override_ = nullptr;
};

// Installs "*replacement" as the service for the lifetime of this object and
// restores the previous one afterwards. "*replacement" must outlive it.
template <class Interface>
class ScopedService {
 public:
  explicit ScopedService(Interface* replacement)
      : previous_(Service<Interface>::override_) {
    Service<Interface>::override_ = replacement;
  }
  ~ScopedService() { Service<Interface>::override_ = previous_; }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  Interface* previous_;
};

}  // namespace platform

#endif  // PLATFORM_OS_SERVICE_H_
