// Base64 (RFC 4648, with padding): how binary files travel inside the 3D page's JSON.
#pragma once

#include <string>
#include <string_view>

namespace corvane::tools {

std::string base64Encode(std::string_view bytes);

}  // namespace corvane::tools
