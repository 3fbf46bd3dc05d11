#pragma once
// The IP version of an address, a URL or a connection.

namespace qtx {

enum TIdIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };

}  // namespace qtx
