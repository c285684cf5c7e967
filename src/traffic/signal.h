#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace pulsewell {

// Keeps one observer connected; disconnects it when destroyed. Move-only.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
  Subscription(Subscription&& other) noexcept : disconnect_(std::exchange(other.disconnect_, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      reset();
      disconnect_ = std::exchange(other.disconnect_, {});
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  void reset() {
    if (disconnect_) std::exchange(disconnect_, {})();
  }

 private:
  std::function<void()> disconnect_;
};

// A list of observers called in order of connection. Single-threaded: connect, emit and
// disconnect all happen on the main thread. Observers may disconnect during emit.
class Signal {
 public:
  [[nodiscard]] Subscription connect(std::function<void()> observer) {
    const auto id = nextId_++;
    (*slots_)[id] = std::move(observer);
    return Subscription([weak = std::weak_ptr<Slots>(slots_), id] {
      if (auto slots = weak.lock()) slots->erase(id);
    });
  }

  void emit() const {
    // Copy first so that observers may connect or disconnect while being called.
    const Slots current = *slots_;
    for (const auto& [id, observer] : current) {
      if (slots_->contains(id)) observer();
    }
  }

 private:
  using Slots = std::map<std::uint64_t, std::function<void()>>;
  std::shared_ptr<Slots> slots_ = std::make_shared<Slots>();
  std::uint64_t nextId_ = 0;
};

}  // namespace pulsewell
