#include "corvane/xacro/Recognition.hpp"

#include <tinyxml2.h>

#include <string>
#include <vector>

namespace corvane::xacro {

bool isXacroNamespace(std::string_view uri) {
    if (uri.ends_with('/')) uri.remove_suffix(1);
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (!uri.starts_with(scheme)) continue;
        const std::string_view rest = uri.substr(scheme.size());
        return rest == "www.ros.org/wiki/xacro" || rest == "ros.org/wiki/xacro" ||
               rest == "wiki.ros.org/xacro";
    }
    return false;
}

bool isXacroDocument(std::string_view text) {
    // most URDF never names xacro: those are told without reading them as XML
    if (text.find("xacro") == std::string_view::npos) return false;
    tinyxml2::XMLDocument document;
    if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return false;
    const tinyxml2::XMLElement* root = document.RootElement();
    if (!root) return false;
    std::vector<std::string> prefixes;
    for (const auto* a = root->FirstAttribute(); a; a = a->Next()) {
        const std::string_view name(a->Name());
        if (name.starts_with("xmlns:") && isXacroNamespace(a->Value()))
            prefixes.push_back(std::string(name.substr(6)) + ":");
    }
    if (prefixes.empty()) return false;
    // every element in document order, without recursion (a hostile file nests deeply)
    for (const tinyxml2::XMLElement* element = root; element;) {
        const std::string_view name(element->Name());
        for (const std::string& prefix : prefixes)
            if (name.starts_with(prefix)) return true;
        if (const auto* child = element->FirstChildElement()) {
            element = child;
            continue;
        }
        while (element && element != root && !element->NextSiblingElement())
            element = element->Parent() ? element->Parent()->ToElement() : nullptr;
        element = element && element != root ? element->NextSiblingElement() : nullptr;
    }
    return false;
}

}  // namespace corvane::xacro
