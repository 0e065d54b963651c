#include "ParsedUrdf.hpp"

#include <urdf_parser/urdf_parser.h>

#include <utility>

namespace corvane::Plugins::Urdf {

ParsedUrdf::ParsedUrdf(const std::string& xml) : model_(urdf::parseURDF(xml)) {}

ParsedUrdf::~ParsedUrdf() {
    release();
}

ParsedUrdf& ParsedUrdf::operator=(ParsedUrdf&& other) noexcept {
    if (this != &other) {
        release();
        model_ = std::move(other.model_);
    }
    return *this;
}

void ParsedUrdf::release() {
    if (!model_) return;
    for (const auto& [name, link] : model_->links_) {
        if (link) link->child_links.clear();
    }
    model_.reset();
}

}  // namespace corvane::Plugins::Urdf
