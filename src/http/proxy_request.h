#pragma once
// What a request through a proxy adds on the wire: the absolute-form target
// of a plain request, the CONNECT head of a tunnel, Basic proxy credentials.
#include <string>

#include "proxy_rules.h"
#include "uri.h"

namespace kalvoran {

// "http://host[:port]" + path + document + params, the port left out when it
// is "80", as a proxy needs it to know where the request goes.
std::string AbsoluteTarget(const Uri& uri);

// "Basic " + base64(user ":" password); empty for a proxy without a user.
std::string ProxyAuthorization(const ProxyServer& proxy);

// "CONNECT host:port HTTP/1.1" with its Host, User-Agent and credentials.
std::string ConnectHead(const std::string& host, int port, const ProxyServer& proxy,
                        const std::string& userAgent);

}  // namespace kalvoran
