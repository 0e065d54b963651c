#include "model/XacroInput.hpp"

#include <algorithm>
#include <map>
#include <system_error>

namespace corvane::tools {

namespace {

// A robot's thousands of origins name a few files: each is shortened once (the current folder
// is asked each time), through SHOWN.
const std::string& shownOnce(const std::string& file, std::map<std::string, std::string>& shown) {
    const auto found = shown.find(file);
    if (found != shown.end()) return found->second;
    return shown.emplace(file, displayedSourceFile(file)).first->second;
}

void shortenFileNames(xacro::SourceOrigin& origin, std::map<std::string, std::string>& shown) {
    origin.file = shownOnce(origin.file, shown);
    for (auto& step : origin.chain) {
        step.file = shownOnce(step.file, shown);
        if (step.kind == xacro::SourceStep::Kind::Include) step.name = shownOnce(step.name, shown);
    }
}

}  // namespace

std::string displayedSourceFile(const std::string& file) {
    std::filesystem::path normal = std::filesystem::path(file).lexically_normal();
    if (normal.is_absolute()) {
        std::error_code error;
        const auto here = std::filesystem::current_path(error);
        const auto relative = error ? std::filesystem::path() : normal.lexically_relative(here);
        if (!relative.empty() && *relative.begin() != "..") normal = relative;
    }
    return normal.empty() ? file : normal.string();
}

SourceMap::SourceMap(xacro::Expansion& expansion) : origins_(std::move(expansion.origins)) {
    std::map<std::string, std::string> shown;
    for (auto& origin : origins_) shortenFileNames(origin, shown);
    const std::size_t count = std::min(origins_.size(), expansion.lines.size());
    for (std::size_t i = 0; i < count; ++i) originByLine_.try_emplace(expansion.lines[i], i);
}

const xacro::SourceOrigin* SourceMap::originOf(int line) const {
    const auto found = originByLine_.find(line);
    return found == originByLine_.end() ? nullptr : &origins_[found->second];
}

bool isXacroArgument(const std::string& word) {
    const auto split = word.find(":=");
    // A path such as ./a:=b names a file; an argument's name holds no slash.
    return split != std::string::npos && split > 0 && word.find('/') > split;
}

std::pair<std::string, std::string> splitXacroArgument(const std::string& word) {
    const auto split = word.find(":=");
    return {word.substr(0, split), word.substr(split + 2)};
}

XacroInput expandXacro(const std::filesystem::path& file, const std::string* text,
                       const XacroArguments& arguments, const MeshLocator& meshes,
                       const xacro::FileTexts& fileTexts) {
    xacro::ExpandOptions options;
    options.fileTexts = fileTexts;
    for (const auto& [name, value] : arguments) options.args[name] = value;
    // Packages are found relative to the current folder; includes and $(dirname) relative to
    // the including file, so the expander is handed absolute package folders.
    options.findPackage = [&meshes](std::string_view name) -> std::optional<std::filesystem::path> {
        auto folder = meshes.packageFolder(std::string(name));
        if (!folder) return std::nullopt;
        std::error_code error;
        auto absolute = std::filesystem::absolute(*folder, error);
        return error ? *folder : absolute;
    };
    xacro::Expansion expansion =
        text ? xacro::expandText(*text, file, options) : xacro::expandFile(file, options);
    std::string urdf = std::move(expansion.urdf);
    std::vector<std::string> messages;
    for (const auto& message : expansion.messages) {
        const bool warning = message.level == xacro::ExpansionMessage::Level::Warning;
        messages.push_back(displayedSourceFile(message.where.file) + ":" +
                           std::to_string(message.where.line) + (warning ? ": warning: " : ": ") +
                           message.text);
    }
    std::vector<std::filesystem::path> files = std::move(expansion.files);
    return {std::move(urdf), SourceMap(expansion), std::move(messages), std::move(files)};
}

}  // namespace corvane::tools
