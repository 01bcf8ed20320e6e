#pragma once

#include <cstdint>

// The carrier whose phone sent a message.
using CarrierCode = int32_t;
constexpr CarrierCode CARRIER_AU = 0;
constexpr CarrierCode CARRIER_DOCOMO = 1;
constexpr CarrierCode CARRIER_SOFTBANK = 2;
constexpr CarrierCode CARRIER_NONE = 3;  // no carrier: the message is left alone
