#include "lsp/Documents.hpp"

#include <array>
#include <cctype>
#include <system_error>

#include "lsp/XmlScan.hpp"

namespace corvane::tools::lsp {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

// What a path segment of a URI holds as it stands: the unreserved characters, the
// sub-delimiters, ':' and '@' (RFC 3986), and the '/' between segments.
bool standsInPath(unsigned char c) {
    return std::isalnum(c) || std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) !=
                                  std::string_view::npos;
}

// The definitions an included file is made of; anything else makes a robot of its own.
bool isDefinition(const XmlTag& tag) {
    const auto local = xacroLocalName(tag.name);
    if (!local) return false;
    static constexpr std::array<std::string_view, 5> definitions{"macro", "property", "arg",
                                                                 "include", "insert_block"};
    for (const auto name : definitions) {
        if (*local == name) return true;
    }
    return false;
}

}  // namespace

std::filesystem::path fileKey(const std::filesystem::path& path) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    if (error) return path;
    const auto canonical = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : canonical;
}

std::optional<std::filesystem::path> pathOfUri(std::string_view uri) {
    constexpr std::string_view scheme = "file://";
    if (!uri.starts_with(scheme)) return std::nullopt;
    std::string path = percentDecoded(uri.substr(scheme.size()));
    // file://localhost/x names /x.
    if (path.starts_with("localhost/")) path.erase(0, 9);
    if (path.empty() || path.front() != '/') return std::nullopt;
    return fileKey(path);
}

std::string uriOfPath(const std::filesystem::path& path) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path.string()) {
        const auto u = static_cast<unsigned char>(c);
        if (standsInPath(u)) {
            uri.push_back(c);
        } else {
            uri += {'%', digits[u >> 4], digits[u & 15]};
        }
    }
    return uri;
}

bool Documents::open(const std::string& uri, std::string text, int version) {
    const auto path = pathOfUri(uri);
    if (!path) return false;
    documents_[uri] = Document{uri, *path, std::move(text), version};
    return true;
}

void Documents::close(const std::string& uri) {
    documents_.erase(uri);
}

const Document* Documents::find(const std::string& uri) const {
    const auto found = documents_.find(uri);
    return found == documents_.end() ? nullptr : &found->second;
}

const Document* Documents::findPath(const std::filesystem::path& path) const {
    for (const auto& [uri, document] : documents_) {
        if (document.path == path) return &document;
    }
    return nullptr;
}

std::vector<const Document*> Documents::all() const {
    std::vector<const Document*> all;
    for (const auto& [uri, document] : documents_) all.push_back(&document);
    return all;
}

std::map<std::filesystem::path, std::string> Documents::texts() const {
    std::map<std::filesystem::path, std::string> texts;
    for (const auto& [uri, document] : documents_) texts[document.path] = document.text;
    return texts;
}

bool isRobotDescription(const std::filesystem::path& path, std::string_view text) {
    const std::string extension = path.extension().string();
    if (extension == ".urdf" || extension == ".xacro") return true;
    const XmlScan scan(text);
    const XmlTag* root = scan.root();
    if (root == nullptr) return false;
    for (const auto& attribute : root->attributes) {
        if (attribute.name.starts_with("xmlns") &&
            attribute.value.find("ros.org/wiki/xacro") != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool isTopRobot(std::string_view text) {
    const XmlScan scan(text);
    const XmlTag* root = scan.root();
    if (root == nullptr || root->name != "robot") return false;
    for (const XmlTag* child : scan.children(0)) {
        if (!isDefinition(*child)) return true;
    }
    return false;
}

}  // namespace corvane::tools::lsp
