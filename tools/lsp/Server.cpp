#include "lsp/Server.hpp"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "jsonrpc/Endpoint.hpp"
#include "lsp/Configuration.hpp"
#include "lsp/Diagnostics.hpp"
#include "lsp/Documents.hpp"
#include "lsp/Features.hpp"
#include "lsp/RobotFiles.hpp"
#include "lsp/XmlScan.hpp"
#include "session/Analysis.hpp"
#include "session/RobotImport.hpp"

namespace corvane::tools::lsp {

namespace {

using jsonrpc::Endpoint;
using jsonrpc::ErrorCode;
using jsonrpc::Inbox;
using jsonrpc::ResponseError;
using Clock = Inbox::Clock;

// How long the text must rest after a change before the robots are analysed again.
constexpr std::chrono::milliseconds quietBeforeAnalysis{150};

// The protocol's TextDocumentSyncKind.Full and MessageType.Warning.
constexpr int syncFull = 1;
constexpr int messageWarning = 2;

bool changesDocuments(const Json& message) {
    const std::string method = message.value("method", "");
    return method == "textDocument/didChange" || method == "textDocument/didOpen" ||
           method == "textDocument/didClose" || method == "textDocument/didSave" ||
           method == "workspace/didChangeConfiguration";
}

std::string textDocumentUri(const Json& params) {
    const auto document = params.find("textDocument");
    if (document == params.end() || !document->is_object() || !document->contains("uri") ||
        !(*document)["uri"].is_string()) {
        throw ResponseError(ErrorCode::InvalidParams, "no textDocument.uri");
    }
    return (*document)["uri"];
}

Position positionOf(const Json& params) {
    const auto position = params.find("position");
    if (position == params.end() || !position->is_object() ||
        !position->value("line", Json()).is_number_integer() ||
        !position->value("character", Json()).is_number_integer()) {
        throw ResponseError(ErrorCode::InvalidParams, "no position {line, character}");
    }
    return {(*position)["line"].get<int>(), (*position)["character"].get<int>()};
}

// What one analysis of a robot left for the features and the diagnostics.
struct RobotResult {
    std::vector<std::filesystem::path> files;
    // The expanded text and where each of its lines came from, for names a macro makes.
    std::string urdf;
    SourceMap sourceMap;
};

class Server {
  public:
    Server(Endpoint& endpoint, std::string version)
        : endpoint_(endpoint), version_(std::move(version)) {
        endpoint.onRequest("initialize", [this](const Json& p) { return initialize(p); });
        endpoint.onNotification("initialized", [](const Json&) {});
        endpoint.onNotification("textDocument/didOpen", [this](const Json& p) { didOpen(p); });
        endpoint.onNotification("textDocument/didChange", [this](const Json& p) { didChange(p); });
        endpoint.onNotification("textDocument/didSave", [this](const Json&) { changed(); });
        endpoint.onNotification("textDocument/didClose", [this](const Json& p) { didClose(p); });
        endpoint.onNotification("workspace/didChangeConfiguration",
                                [this](const Json& p) { didChangeConfiguration(p); });
        endpoint.onNotification("workspace/didChangeWatchedFiles",
                                [this](const Json&) { changed(); });
        endpoint.onRequest("textDocument/hover", [this](const Json& p) {
            return atPosition(p,
                              [](const FeatureContext& c, std::size_t o) { return hover(c, o); });
        });
        endpoint.onRequest("textDocument/definition", [this](const Json& p) {
            return atPosition(
                p, [](const FeatureContext& c, std::size_t o) { return definition(c, o); });
        });
        endpoint.onRequest("textDocument/references", [this](const Json& p) {
            const bool declaration =
                p.value("context", Json::object()).value("includeDeclaration", true);
            return atPosition(p, [declaration](const FeatureContext& c, std::size_t o) {
                return references(c, o, declaration);
            });
        });
        endpoint.onRequest("textDocument/completion", [this](const Json& p) {
            return atPosition(
                p, [](const FeatureContext& c, std::size_t o) { return completion(c, o); });
        });
        endpoint.onRequest("textDocument/documentSymbol", [this](const Json& p) {
            const Document& document = openDocument(textDocumentUri(p));
            return documentSymbols(RobotFile(document.path, document.text));
        });
        endpoint.onIdle({[this] { return due_; }, [this] { analyse(); }});
    }

  private:
    Json initialize(const Json& params) {
        if (params.is_object()) {
            initializationOptions_ = params.value("initializationOptions", Json());
            if (const auto folders = params.find("workspaceFolders");
                folders != params.end() && folders->is_array()) {
                for (const auto& folder : *folders) {
                    if (const auto path = pathOfUri(folder.value("uri", ""))) {
                        folders_.push_back(*path);
                    }
                }
            } else if (params.value("rootUri", Json()).is_string()) {
                if (const auto path = pathOfUri(params["rootUri"].get<std::string>())) {
                    folders_.push_back(*path);
                }
            }
        }
        configure();
        return {{"capabilities",
                 {{"positionEncoding", "utf-16"},
                  {"textDocumentSync",
                   {{"openClose", true}, {"change", syncFull}, {"save", {{"includeText", false}}}}},
                  {"hoverProvider", true},
                  {"definitionProvider", true},
                  {"referencesProvider", true},
                  {"documentSymbolProvider", true},
                  {"completionProvider", {{"triggerCharacters", {"<", "{", ":", " "}}}}}},
                {"serverInfo", {{"name", "corvane-urdf"}, {"version", version_}}}};
    }

    // The settings: each workspace folder's corvane-urdf.json, then initializationOptions,
    // then the latest workspace/didChangeConfiguration; relative paths from the first folder.
    void configure() {
        Configuration configuration;
        for (const auto& folder : folders_) addFolderSettings(configuration, folder);
        const std::filesystem::path base =
            folders_.empty() ? std::filesystem::current_path() : folders_.front();
        addSettings(configuration, initializationOptions_, base);
        addSettings(configuration, settings_, base);
        for (const auto& problem : configuration.problems) {
            endpoint_.send(jsonrpc::notification(
                "window/showMessage",
                {{"type", messageWarning}, {"message", "corvane-urdf: " + problem}}));
        }
        configuration_ = std::move(configuration);
    }

    void didOpen(const Json& params) {
        const Json& document = params.at("textDocument");
        const std::string uri = document.at("uri");
        if (!documents_.open(uri, document.at("text"), document.value("version", 0))) return;
        changed();
    }

    void didChange(const Json& params) {
        const std::string uri = textDocumentUri(params);
        const Json& changes = params.at("contentChanges");
        // Full sync: the last change holds the whole text.
        if (!changes.is_array() || changes.empty()) return;
        const Document* document = documents_.find(uri);
        const int version = params["textDocument"].value("version", 0);
        if (document == nullptr) return;
        documents_.open(uri, changes.back().at("text"), version);
        changed();
    }

    void didClose(const Json& params) {
        documents_.close(textDocumentUri(params));
        changed();
    }

    void didChangeConfiguration(const Json& params) {
        settings_ = params.is_object() ? params.value("settings", Json()) : Json();
        configure();
        changed();
    }

    // A newer change: the analysis waits for the text to rest again.
    void changed() { due_ = Clock::now() + quietBeforeAnalysis; }

    const Document& openDocument(const std::string& uri) const {
        const Document* document = documents_.find(uri);
        if (document == nullptr) {
            throw ResponseError(ErrorCode::InvalidParams, "'" + uri + "' is not open");
        }
        return *document;
    }

    // The files the analyses of robots that read `path` read.
    std::vector<std::filesystem::path> filesAround(const std::filesystem::path& path) const {
        std::vector<std::filesystem::path> files;
        for (const auto& [top, result] : results_) {
            if (std::find(result.files.begin(), result.files.end(), path) == result.files.end()) {
                continue;
            }
            files.insert(files.end(), result.files.begin(), result.files.end());
        }
        return files;
    }

    // Where the expansion of a robot wrote the link or joint `name`.
    std::optional<FilePlace> expandedDefinition(SymbolKind kind, const std::string& name,
                                                const RobotFiles& files) const {
        const char* element = kind == SymbolKind::Link ? "link" : "joint";
        for (const auto& [top, result] : results_) {
            if (result.urdf.empty()) continue;
            const XmlScan scan(result.urdf);
            const TextLines lines(result.urdf);
            for (const auto& tag : scan.tags()) {
                const XmlAttribute* attribute = tag.attribute("name");
                if (tag.name != element || attribute == nullptr || attribute->value != name) {
                    continue;
                }
                const int line = lines.position(tag.begin).line + 1;
                const xacro::SourceOrigin* origin = result.sourceMap.originOf(line);
                if (origin == nullptr) return FilePlace{top, lines.range(tag.begin, tag.end)};
                const auto file = fileKey(origin->file);
                const RobotFile* written = files.find(file);
                const int index = origin->line - 1;
                if (written == nullptr) return FilePlace{file, {{index, 0}, {index, 0}}};
                const std::size_t from = written->lines.offset({index, 0});
                return FilePlace{
                    file, written->lines.range(from, from + written->lines.line(index).size())};
            }
        }
        return std::nullopt;
    }

    template <typename Feature>
    Json atPosition(const Json& params, Feature feature) const {
        const Document& document = openDocument(textDocumentUri(params));
        const Position position = positionOf(params);
        const RobotFiles files(documents_, filesAround(document.path));
        const RobotFile* file = files.find(document.path);
        const MeshLocator meshes = locatorFor(document.path);
        FeatureContext context{files, *file, meshes, shownRules(document.uri), {}};
        context.expandedDefinition = [this, &files](SymbolKind kind, const std::string& name) {
            return expandedDefinition(kind, name, files);
        };
        return feature(context, file->lines.offset(position));
    }

    MeshLocator locatorFor(const std::filesystem::path& file) const {
        try {
            return meshLocatorIn(file.parent_path(), configuration_.packagePaths);
        } catch (const std::exception&) {
            return meshLocatorIn(file.parent_path(), {});
        }
    }

    std::vector<ShownRule> shownRules(const std::string& uri) const {
        std::vector<ShownRule> rules;
        const auto published = published_.find(uri);
        if (published == published_.end()) return rules;
        for (const auto& diagnostic : published->second) {
            if (diagnostic.contains("code")) {
                rules.push_back(
                    {diagnostic["range"]["start"]["line"].get<int>(), diagnostic["code"]});
            }
        }
        return rules;
    }

    // The robots to analyse: those the settings name, then every open document that is one.
    std::vector<ConfiguredRobot> robots() const {
        std::vector<ConfiguredRobot> robots = configuration_.robots;
        for (const Document* document : documents_.all()) {
            if (!isRobotDescription(document->path, document->text) ||
                !isTopRobot(document->text)) {
                continue;
            }
            const bool named = std::any_of(robots.begin(), robots.end(), [&](const auto& robot) {
                return robot.file == document->path;
            });
            if (!named) robots.push_back({document->path, {}});
        }
        return robots;
    }

    RobotAnalysis analyseOne(const ConfiguredRobot& robot) const {
        AnalysisRequest request;
        request.topFile = robot.file;
        request.arguments = robot.arguments;
        request.packagePaths = configuration_.packagePaths;
        request.fileTexts = documents_.texts();
        request.withScene = false;
        if (robot.file.extension() != ".urdf") request.xacro = true;
        return analyseRobot(request);
    }

    bool newerChangeWaits() const { return endpoint_.inbox().holds(changesDocuments); }

    // Analyses every robot and publishes what each file shows, unless a newer change came in
    // meanwhile: then that change's own analysis will publish.
    void analyse() {
        due_.reset();
        std::map<std::filesystem::path, RobotResult> results;
        DiagnosticsByFile byFile;
        for (const auto& robot : robots()) {
            if (newerChangeWaits()) return;
            const RobotAnalysis analysis = analyseOne(robot);
            addDiagnostics(analysis, documents_, byFile);
            RobotResult& result = results[robot.file];
            result.files = analysis.files;
            if (analysis.robot) {
                result.urdf = analysis.robot->source();
                result.sourceMap = analysis.robot->sourceMap();
            }
        }
        if (newerChangeWaits()) return;
        results_ = std::move(results);
        publish(byFile);
    }

    void publish(const DiagnosticsByFile& byFile) {
        std::map<std::string, Json> now;
        for (const auto& [file, diagnostics] : byFile) {
            // An open document is named as the client named it.
            const Document* document = documents_.findPath(file);
            now[document != nullptr ? document->uri : uriOfPath(file)] = diagnostics;
        }
        // Open documents are told they are clean too; files whose findings are gone likewise.
        for (const Document* document : documents_.all()) {
            if (isRobotDescription(document->path, document->text)) {
                now.emplace(document->uri, Json::array());
            }
        }
        for (const auto& [uri, diagnostics] : published_) now.emplace(uri, Json::array());
        for (const auto& [uri, diagnostics] : now) {
            Json params{{"uri", uri}, {"diagnostics", diagnostics}};
            if (const Document* document = documents_.find(uri)) {
                params["version"] = document->version;
            }
            endpoint_.send(jsonrpc::notification("textDocument/publishDiagnostics", params));
        }
        published_.clear();
        for (auto& [uri, diagnostics] : now) {
            if (!diagnostics.empty()) published_[uri] = std::move(diagnostics);
        }
    }

    Endpoint& endpoint_;
    std::string version_;
    Documents documents_;
    std::vector<std::filesystem::path> folders_;
    Json initializationOptions_;
    Json settings_;
    Configuration configuration_;
    std::map<std::filesystem::path, RobotResult> results_;
    // The diagnostics last published for each URI that has some.
    std::map<std::string, Json> published_;
    std::optional<Clock::time_point> due_;
};

}  // namespace

int runLanguageServer(std::istream& in, std::ostream& out, std::ostream& log,
                      const std::string& version) {
    Inbox inbox(in);
    Endpoint endpoint(inbox, out, log);
    const Server server(endpoint, version);
    return endpoint.run();
}

}  // namespace corvane::tools::lsp
