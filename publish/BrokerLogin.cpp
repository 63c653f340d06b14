#include "publish/BrokerLogin.h"

#include <utility>

#include <mqtt/ssl_options.h>

namespace quarn::publish {

void SetLogin(mqtt::connect_options& options, const BrokerUrl& broker, const std::string& caFile,
              std::function<void(const std::string&)> onTlsError) {
  if (!broker.user.empty()) options.set_user_name(broker.user);
  if (broker.password) options.set_password(*broker.password);
  if (!broker.tls) return;
  mqtt::ssl_options ssl;
  // Without an authority of its own the library takes OpenSSL's default paths, the system's store. (A path
  // set here was left dangling when the options were copied into the connection: read after it was gone.)
  if (!caFile.empty()) ssl.set_trust_store(caFile);
  ssl.set_enable_server_cert_auth(true);
  ssl.set_verify(true);
  ssl.set_error_handler(std::move(onTlsError));
  options.set_ssl(ssl);
}

}  // namespace quarn::publish
