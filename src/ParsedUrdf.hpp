// The owner of a robot model that urdfdom parsed. urdfdom's links own their child links: released
// as they stand, a long chain of links would be destroyed one nested call per link, deep enough to
// overflow the stack, and links that are each other's children (a cycle of joints urdfdom
// accepts) would never be freed. The owner cuts the links loose from each other before it
// releases the model.
#pragma once

#include <urdf_model/model.h>
#include <urdf_world/types.h>

#include <string>

namespace corvane::Plugins::Urdf {

class ParsedUrdf {
  public:
    // The model urdfdom reads from `xml`; empty when urdfdom refuses the text. The text is handed
    // over as it stands: the nesting guard (NestingGuard.hpp) says which texts are safe to parse.
    explicit ParsedUrdf(const std::string& xml);
    ~ParsedUrdf();
    ParsedUrdf(ParsedUrdf&& other) noexcept = default;
    ParsedUrdf& operator=(ParsedUrdf&& other) noexcept;
    ParsedUrdf(const ParsedUrdf&) = delete;
    ParsedUrdf& operator=(const ParsedUrdf&) = delete;

    explicit operator bool() const { return static_cast<bool>(model_); }
    const urdf::ModelInterface& operator*() const { return *model_; }
    const urdf::ModelInterface* operator->() const { return model_.get(); }

  private:
    void release();

    urdf::ModelInterfaceSharedPtr model_;
};

}  // namespace corvane::Plugins::Urdf
