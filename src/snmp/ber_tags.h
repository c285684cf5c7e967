#pragma once

#include <cstdint>

// The BER tags of the SNMP v2c messages Pulsewell speaks (RFC 3416 for the PDUs, RFC 2578
// for the application types): one table for the codec and the simulator agent.
namespace pulsewell::BERTag {

inline constexpr std::uint8_t integer = 0x02;
inline constexpr std::uint8_t octetString = 0x04;
inline constexpr std::uint8_t null = 0x05;
inline constexpr std::uint8_t objectIdentifier = 0x06;
inline constexpr std::uint8_t sequence = 0x30;

inline constexpr std::uint8_t counter32 = 0x41;
inline constexpr std::uint8_t gauge32 = 0x42;
inline constexpr std::uint8_t timeTicks = 0x43;
inline constexpr std::uint8_t counter64 = 0x46;

inline constexpr std::uint8_t noSuchObject = 0x80;
inline constexpr std::uint8_t noSuchInstance = 0x81;
inline constexpr std::uint8_t endOfMibView = 0x82;

inline constexpr std::uint8_t getRequest = 0xA0;
inline constexpr std::uint8_t getNextRequest = 0xA1;
inline constexpr std::uint8_t response = 0xA2;
inline constexpr std::uint8_t setRequest = 0xA3;
inline constexpr std::uint8_t getBulkRequest = 0xA5;

}  // namespace pulsewell::BERTag
