// Base class of the host's import plugins.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvane/Syntax.hpp"

namespace corvane {

class Plugin {
  public:
    Plugin() = default;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Turns the complete text of a file into a document; an empty pointer when the text is refused.
    virtual std::shared_ptr<Document> parse(const std::string& source,
                                            std::shared_ptr<Import> import,
                                            ErrorReporter& reporter) = 0;
    // File extensions served, with the leading dot.
    virtual std::vector<std::string> extensions() const = 0;
    // Number of digits after the decimal point in real literals.
    virtual void setPrecision(std::int32_t precision) = 0;
    virtual bool keyShouldBeSource() const = 0;
    virtual ~Plugin() = default;
};

}  // namespace corvane
