#include "snmp/snmp_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "snmp/snmp_error.h"
#include "tests/support/thrown_by.h"
#include "tests/support/udp_peer.h"

namespace pulsewell {
namespace {

using namespace std::chrono_literals;
using test::Datagram;
using test::UdpPeer;

constexpr double shortTimeout = 0.1;
// Only reached when something is broken; a passing test never waits for it.
constexpr double safetyTimeout = 5.0;
constexpr auto peerWait = 5000ms;

Bytes text(std::string_view s) {
  return {s.begin(), s.end()};
}

Bytes joined(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

SNMPError::Kind failureOf(const std::function<void()>& action) {
  return thrownBy<SNMPError>(action).kind();
}

class LinkOverLoopback : public ::testing::TestWithParam<std::string> {
 protected:
  std::string host() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(IPv4AndIPv6, LinkOverLoopback, ::testing::Values("127.0.0.1", "::1"));

TEST_P(LinkOverLoopback, ReturnsTheReplyToTheRequestSent) {
  UdpPeer peer(host());
  SNMPLink link;
  std::jthread device([&] {
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, joined(text("reply to "), request->bytes));
    }
  });
  const Bytes request = text("ping");
  EXPECT_EQ(link.exchange(request, host(), peer.port(), safetyTimeout), text("reply to ping"));
}

TEST_P(LinkOverLoopback, KeepsTheFlowForTheSameEndpointAfterSuccess) {
  UdpPeer peer(host());
  SNMPLink link;
  std::optional<Datagram> first;
  std::optional<Datagram> second;
  std::jthread device([&] {
    first = peer.receive(peerWait);
    if (first) {
      peer.reply(*first, text("one"));
    }
    second = peer.receive(peerWait);
    if (second) {
      peer.reply(*second, text("two"));
    }
  });
  EXPECT_EQ(link.exchange(text("a"), host(), peer.port(), safetyTimeout), text("one"));
  EXPECT_EQ(link.exchange(text("b"), host(), peer.port(), safetyTimeout), text("two"));
  device.join();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->fromPort(), second->fromPort());
}

TEST_P(LinkOverLoopback, TimesOutWhenNothingComesBack) {
  UdpPeer peer(host());
  SNMPLink link;
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), host(), peer.port(), shortTimeout); }),
            SNMPError::Kind::timeout);
  EXPECT_TRUE(peer.receive(0ms)) << "the request was sent";
}

TEST_P(LinkOverLoopback, RefusedPortIsUnreachableWithoutWaitingForTheTimeout) {
  SNMPLink link;
  const std::uint16_t port = test::unusedUdpPort(host());
  // A timeout would show as `timeout`; the ICMP answer must end the exchange first.
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), host(), port, safetyTimeout); }),
            SNMPError::Kind::unreachable);
}

// The local port the peer sees for each of a series of successful exchanges.
class FlowProbe {
 public:
  explicit FlowProbe(UdpPeer& peer) : peer_(peer) {}

  std::uint16_t exchangeOn(SNMPLink& link, const std::string& host) {
    std::uint16_t seen = 0;
    std::jthread device([&] {
      if (auto request = peer_.receive(peerWait)) {
        seen = request->fromPort();
        peer_.reply(*request, text("ok"));
      }
    });
    EXPECT_EQ(link.exchange(text("probe"), host, peer_.port(), safetyTimeout), text("ok"));
    device.join();
    return seen;
  }

 private:
  UdpPeer& peer_;
};

TEST_P(LinkOverLoopback, AnotherEndpointReplacesTheFlow) {
  UdpPeer peer(host());
  UdpPeer other(host());
  SNMPLink link;
  const std::uint16_t before = FlowProbe(peer).exchangeOn(link, host());
  FlowProbe(other).exchangeOn(link, host());
  EXPECT_NE(FlowProbe(peer).exchangeOn(link, host()), before);
}

TEST_P(LinkOverLoopback, ResetReplacesTheFlow) {
  UdpPeer peer(host());
  SNMPLink link;
  const std::uint16_t before = FlowProbe(peer).exchangeOn(link, host());
  link.reset();
  EXPECT_NE(FlowProbe(peer).exchangeOn(link, host()), before);
}

TEST_P(LinkOverLoopback, TimeoutReplacesTheFlowAndItsLateReplyNeverArrives) {
  UdpPeer peer(host());
  SNMPLink link;
  EXPECT_EQ(failureOf([&] { link.exchange(text("first"), host(), peer.port(), shortTimeout); }),
            SNMPError::Kind::timeout);
  const auto first = peer.receive(0ms);
  ASSERT_TRUE(first);
  peer.reply(*first, text("late"));

  std::optional<Datagram> second;
  std::jthread device([&] {
    second = peer.receive(peerWait);
    if (second) {
      peer.reply(*second, text("fresh"));
    }
  });
  EXPECT_EQ(link.exchange(text("second"), host(), peer.port(), safetyTimeout), text("fresh"));
  device.join();
  ASSERT_TRUE(second);
  EXPECT_NE(second->fromPort(), first->fromPort());
}

TEST_P(LinkOverLoopback, EmptyDatagramDoesNotEndTheExchange) {
  UdpPeer peer(host());
  SNMPLink link;
  std::jthread device([&] {
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, {});
    }
  });
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), host(), peer.port(), shortTimeout); }),
            SNMPError::Kind::timeout);
}

TEST_P(LinkOverLoopback, WaitsPastAnEmptyDatagramForTheReal) {
  UdpPeer peer(host());
  SNMPLink link;
  std::jthread device([&] {
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, {});
      peer.reply(*request, text("real"));
    }
  });
  EXPECT_EQ(link.exchange(text("a"), host(), peer.port(), safetyTimeout), text("real"));
}

TEST_P(LinkOverLoopback, ADuplicateOfAnEarlierReplyIsNotTakenForTheNext) {
  UdpPeer peer(host());
  SNMPLink link;
  std::promise<void> duplicateSent;
  std::jthread device([&] {
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, text("one"));
      peer.reply(*request, text("one again"));
    }
    duplicateSent.set_value();
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, text("two"));
    }
  });
  EXPECT_EQ(link.exchange(text("a"), host(), peer.port(), safetyTimeout), text("one"));
  duplicateSent.get_future().wait();
  EXPECT_EQ(link.exchange(text("b"), host(), peer.port(), safetyTimeout), text("two"));
}

TEST_P(LinkOverLoopback, SecondCallerWhileOneRunsIsUnreachableAtOnce) {
  UdpPeer peer(host());
  SNMPLink link;
  auto first = std::async(std::launch::async, [&] {
    return link.exchange(text("first"), host(), peer.port(), safetyTimeout);
  });
  // Once the peer holds the first request, that exchange is surely running.
  const auto request = peer.receive(peerWait);
  ASSERT_TRUE(request);

  EXPECT_EQ(failureOf([&] { link.exchange(text("second"), host(), peer.port(), safetyTimeout); }),
            SNMPError::Kind::unreachable);
  EXPECT_FALSE(peer.receive(0ms)) << "the second request must not be sent";

  peer.reply(*request, text("reply"));
  EXPECT_EQ(first.get(), text("reply"));
}

TEST_P(LinkOverLoopback, ResetDuringAnExchangeLeavesItAloneAndReplacesTheFlowAfter) {
  UdpPeer peer(host());
  SNMPLink link;
  auto running = std::async(std::launch::async, [&] {
    return link.exchange(text("first"), host(), peer.port(), safetyTimeout);
  });
  const auto request = peer.receive(peerWait);
  ASSERT_TRUE(request);
  link.reset();
  peer.reply(*request, text("reply"));
  EXPECT_EQ(running.get(), text("reply"));
  EXPECT_NE(FlowProbe(peer).exchangeOn(link, host()), request->fromPort());
}

TEST(SNMPLink, RefusesAnEmptyHostWithoutSending) {
  SNMPLink link;
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), "", 161, shortTimeout); }),
            SNMPError::Kind::unreachable);
}

TEST(SNMPLink, RefusesPortZero) {
  SNMPLink link;
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), "127.0.0.1", 0, shortTimeout); }),
            SNMPError::Kind::unreachable);
}

TEST(SNMPLink, UnknownHostNameIsUnreachable) {
  // A label longer than DNS allows (63 bytes) fails inside the resolver itself, so the
  // test sends no query to whatever name server the machine has.
  const std::string unresolvable = std::string(64, 'a') + ".invalid";
  SNMPLink link;
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), unresolvable, 161, shortTimeout); }),
            SNMPError::Kind::unreachable);
}

TEST(SNMPLink, HostWithAnEmbeddedNulIsUnreachable) {
  UdpPeer peer;
  SNMPLink link;
  const std::string host("127.0.0.1\0.invalid", 18);
  EXPECT_EQ(failureOf([&] { link.exchange(text("a"), host, peer.port(), shortTimeout); }),
            SNMPError::Kind::unreachable);
  EXPECT_FALSE(peer.receive(0ms));
}

TEST(SNMPLink, TakesAnIPv6AddressInBrackets) {
  UdpPeer peer("::1");
  SNMPLink link;
  std::jthread device([&] {
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, text("ok"));
    }
  });
  EXPECT_EQ(link.exchange(text("a"), "[::1]", peer.port(), safetyTimeout), text("ok"));
}

TEST(SNMPLink, BracketsHoldOnlyAnAddress) {
  SNMPLink link;
  for (const char* host : {"[localhost]", "[::1", "[]"}) {
    EXPECT_EQ(failureOf([&] { link.exchange(text("a"), host, 161, shortTimeout); }),
              SNMPError::Kind::unreachable)
        << host;
  }
}

TEST(SNMPLink, UsableAgainAfterAFailure) {
  UdpPeer peer;
  SNMPLink link;
  EXPECT_EQ(failureOf([&] {
              link.exchange(text("a"), "127.0.0.1", test::unusedUdpPort(), safetyTimeout);
            }),
            SNMPError::Kind::unreachable);
  std::jthread device([&] {
    if (auto request = peer.receive(peerWait)) {
      peer.reply(*request, text("ok"));
    }
  });
  EXPECT_EQ(link.exchange(text("b"), "127.0.0.1", peer.port(), safetyTimeout), text("ok"));
}

TEST(SNMPLink, NegativeOrNaNTimeoutEndsAtOnce) {
  UdpPeer peer;
  SNMPLink link;
  for (const double timeout : {-1.0, 0.0, std::nan("")}) {
    EXPECT_EQ(failureOf([&] { link.exchange(text("a"), "127.0.0.1", peer.port(), timeout); }),
              SNMPError::Kind::timeout)
        << timeout;
  }
}

}  // namespace
}  // namespace pulsewell
