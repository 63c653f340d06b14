#pragma once

#include <functional>
#include <string>

#include <mqtt/connect_options.h>

#include "publish/BrokerUrl.h"

namespace quarn::publish {

// The user, password and, for mqtts, the TLS check a connection to broker uses, the same for the publishing
// recorder and the following window. The handshake checks the certificate's chain (caFile's authorities, or the
// system's when empty) and that it names the host, and fails closed on either; onTlsError gets the reason.
void SetLogin(mqtt::connect_options& options, const BrokerUrl& broker, const std::string& caFile,
              std::function<void(const std::string&)> onTlsError);

}  // namespace quarn::publish
