#pragma once

#include <string>
#include <string_view>

#include "link/Protocol.h"
#include "link/SerialLink.h"

namespace quarn::link {

// One question a sensor is identified by: the command after the address, and how its reply is read.
struct IdentityRequest {
  std::string_view command;
  ReplyFilter filter;
};

// The identity requests, the one list every caller asks from.
inline constexpr IdentityRequest kSerialNumberRequest{"SRAL?", ReplyFilter::Digits};
inline constexpr IdentityRequest kFirmwareRequest{"SREV?", ReplyFilter::NoCR};
inline constexpr IdentityRequest kTypeCodeRequest{"RT?", ReplyFilter::NoCR};
inline constexpr IdentityRequest kRangeCodeRequest{"RX?", ReplyFilter::NoCR};

// The request as sent to the sensor at address ("#00SRAL?").
inline std::string RequestText(const IdentityRequest& request, std::string_view address = kAddress) {
  return BuildRequest(address, request.command);
}

// One identity question and its reply, as ShortExchange asks it.
inline ExchangeResult AskIdentity(const PortHandle& port, const IdentityRequest& request, base::MessageBoxes& boxes,
                                  std::string_view address = kAddress) {
  return ShortExchange(port, RequestText(request, address), request.filter, boxes);
}

}  // namespace quarn::link
