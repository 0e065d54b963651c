// A small host: imports one URDF file with the plugin and prints how many members the robot's
// model has. Exit codes: 0 imported, 1 the file cannot be read or is no valid robot description,
// 2 wrong usage.
#include <cerrno>
#include <corvane/Syntax.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

namespace {

std::optional<std::string> readText(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return std::nullopt;
    std::ostringstream text;
    text << stream.rdbuf();
    if (stream.bad()) return std::nullopt;
    return text.str();
}

corvane::ModelDeclarationPtr robotModel(const corvane::Document& document) {
    for (const auto& node : document.nodes()) {
        if (node && node->isModelDeclaration()) return node->toModelDeclaration();
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << (argc > 0 ? argv[0] : "urdf-consumer") << " ROBOT.urdf\n";
        return 2;
    }
    const std::string path = argv[1];
    const auto text = readText(path);
    if (!text) {
        const int error = errno;
        std::cerr << path << ": cannot read the file"
                  << (error != 0 ? std::string(": ") + std::strerror(error) : std::string())
                  << '\n';
        return 1;
    }

    corvane::Plugins::Urdf::UrdfPlugin plugin;
    corvane::ErrorReporter reporter;
    const auto document = plugin.parse(*text, std::make_shared<corvane::Import>(), reporter);
    const auto model = document ? robotModel(*document) : nullptr;
    if (!model) {
        std::cerr << path << ": not a valid URDF robot description\n";
        return 1;
    }
    std::cout << model->name().lexeme << ": " << model->members().size() << " members\n";
    return 0;
}
