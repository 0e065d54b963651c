// The URDF import plugin: turns the text of a URDF robot description into a host document that
// holds one model declaration describing the robot.
#pragma once

#include <corvane/Plugin.hpp>
#include <corvane/Syntax.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#if defined(CORVANE_URDF_PLUGIN_BUILDING)
#define CORVANE_URDF_PLUGIN_API __attribute__((visibility("default")))
#else
#define CORVANE_URDF_PLUGIN_API
#endif

namespace corvane::Plugins::Urdf {

class UrdfPluginImpl;

class CORVANE_URDF_PLUGIN_API UrdfPlugin : public corvane::Plugin {
  public:
    UrdfPlugin();

    // Parses `source`, the complete URDF text. Returns an empty pointer when the text is not a
    // valid robot description. The model is named after the import's last type segment, else
    // after the robot. `reporter` is not used: problems with single joints go to the log.
    std::shared_ptr<corvane::Document> parse(const std::string& source,
                                             std::shared_ptr<corvane::Import> import,
                                             corvane::ErrorReporter& reporter) override;
    // {".urdf"}
    std::vector<std::string> extensions() const override;
    // Digits after the decimal point of every real literal written from now on (default 10).
    void setPrecision(std::int32_t precision) override;
    bool keyShouldBeSource() const override;
    ~UrdfPlugin() override;

  private:
    std::unique_ptr<UrdfPluginImpl> impl_;
};

}  // namespace corvane::Plugins::Urdf
