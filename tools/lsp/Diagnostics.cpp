#include "lsp/Diagnostics.hpp"

#include <regex>

#include "lsp/Features.hpp"
#include "lsp/RobotFiles.hpp"
#include "lsp/Text.hpp"
#include "lsp/XmlScan.hpp"

namespace corvane::tools::lsp {

namespace {

using Json = nlohmann::json;

// The protocol's DiagnosticSeverity.
constexpr int severityError = 1, severityWarning = 2, severityInformation = 3;

int severityOf(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return severityError;
        case Severity::Warning:
            return severityWarning;
        case Severity::Note:
            return severityInformation;
    }
    return severityError;
}

// The name of the element a finding is about, as written in URDF.
const char* elementName(UrdfPlace::Element element) {
    switch (element) {
        case UrdfPlace::Element::Robot:
            return "robot";
        case UrdfPlace::Element::Link:
            return "link";
        case UrdfPlace::Element::Inertial:
            return "inertial";
        case UrdfPlace::Element::Collision:
            return "collision";
        case UrdfPlace::Element::Visual:
            return "visual";
        case UrdfPlace::Element::Mesh:
            return "mesh";
        case UrdfPlace::Element::Joint:
            return "joint";
        case UrdfPlace::Element::Axis:
            return "axis";
        case UrdfPlace::Element::Limit:
            return "limit";
        case UrdfPlace::Element::Mimic:
            return "mimic";
        case UrdfPlace::Element::Markup:
            return "";
    }
    return "";
}

// The texts of the files diagnostics point into, each read once.
class FileTexts {
  public:
    explicit FileTexts(const Documents& documents) : documents_(documents) {}

    // The file's text and its lines and tags; null when it cannot be read.
    const RobotFile* file(const std::filesystem::path& path) {
        const auto found = files_.find(path);
        if (found != files_.end()) return found->second.get();
        std::unique_ptr<RobotFile> file;
        if (const Document* document = documents_.findPath(path)) {
            file = std::make_unique<RobotFile>(path, document->text);
        } else if (auto text = readTextFile(path)) {
            file = std::make_unique<RobotFile>(path, std::move(*text));
        }
        return (files_[path] = std::move(file)).get();
    }

  private:
    const Documents& documents_;
    std::map<std::filesystem::path, std::unique_ptr<RobotFile>> files_;
};

// The attribute a message names in quotes ('xyz'), among those of `tag`.
const XmlAttribute* attributeNamedIn(const XmlTag& tag, const std::string& message) {
    for (const auto& attribute : tag.attributes) {
        if (message.find("'" + attribute.name + "'") != std::string::npos ||
            message.find("attribute " + attribute.name) != std::string::npos) {
            return &attribute;
        }
    }
    return nullptr;
}

// Where on its 1-based `line` of `file` a diagnostic goes: the start tag of `element` on it (the
// first start tag when none is), the attribute the message names, or else the whole line.
Range rangeOnLine(const RobotFile* file, int line, std::string_view element,
                  const std::string& message) {
    const int index = std::max(line, 1) - 1;
    if (file == nullptr) return {{index, 0}, {index, 0}};
    const XmlTag* chosen = nullptr;
    for (const auto& tag : file->scan.tags()) {
        const int tagLine = file->lines.position(tag.begin).line;
        if (tagLine < index) continue;
        if (tagLine > index) break;
        if (chosen == nullptr ||
            (!element.empty() && tag.name == element && chosen->name != element)) {
            chosen = &tag;
        }
    }
    if (chosen == nullptr) {
        const std::string_view text = file->lines.line(index);
        const std::size_t lineOffset = file->lines.offset({index, 0});
        const std::size_t begin = text.find_first_not_of(" \t");
        if (begin == std::string_view::npos) return file->lines.range(lineOffset, lineOffset);
        return file->lines.range(lineOffset + begin, lineOffset + text.size());
    }
    if (const XmlAttribute* attribute = attributeNamedIn(*chosen, message)) {
        return file->lines.range(attribute->nameBegin, attribute->valueEnd + 1);
    }
    return file->lines.range(chosen->begin, chosen->end);
}

std::filesystem::path keyOf(const std::string& shownFile) {
    return fileKey(std::filesystem::path(shownFile));
}

Json relatedInformation(const std::vector<SourceNote>& notes, FileTexts& texts) {
    Json related = Json::array();
    for (const auto& note : notes) {
        if (note.file.empty()) continue;
        const auto path = keyOf(note.file);
        related.push_back(
            {{"location", locationJson({path, rangeOnLine(texts.file(path), note.line, "", "")})},
             {"message", note.text}});
    }
    return related;
}

Json diagnostic(const Range& range, int severity, const std::string& message,
                const std::string& code, Json related) {
    Json diagnostic{{"range", rangeJson(range)},
                    {"severity", severity},
                    {"source", "corvane-urdf"},
                    {"message", message}};
    if (!code.empty()) diagnostic["code"] = code;
    if (!related.empty()) diagnostic["relatedInformation"] = std::move(related);
    return diagnostic;
}

void add(DiagnosticsByFile& byFile, const std::filesystem::path& file, Json diagnostic) {
    auto& list = byFile[file];
    if (!list.is_array()) list = Json::array();
    // Two robots that read the same file find the same things in it.
    for (const auto& existing : list) {
        if (existing == diagnostic) return;
    }
    list.push_back(std::move(diagnostic));
}

void addFinding(const Finding& finding, FileTexts& texts, DiagnosticsByFile& byFile) {
    if (finding.location.file.empty()) return;
    const auto path = keyOf(finding.location.file);
    const std::string message =
        finding.subject.empty() ? finding.message : finding.subject + ": " + finding.message;
    const Range range = rangeOnLine(texts.file(path), finding.location.line,
                                    elementName(finding.place.element), finding.message);
    add(byFile, path,
        diagnostic(range, severityOf(finding.severity), message, finding.rule,
                   relatedInformation(finding.location.notes, texts)));
}

void addFailure(const AnalysisFailure& failure, FileTexts& texts, DiagnosticsByFile& byFile) {
    if (failure.file.empty()) return;
    const auto path = keyOf(failure.file);
    add(byFile, path,
        diagnostic(rangeOnLine(texts.file(path), failure.line, "", failure.message), severityError,
                   failure.message, "", relatedInformation(failure.chain, texts)));
}

// "FILE:LINE: warning: TEXT" or "FILE:LINE: TEXT", what a xacro file printed.
void addMessage(const std::string& line, FileTexts& texts, DiagnosticsByFile& byFile) {
    static const std::regex shape(R"(^(.+?):(\d+): (warning: )?(.*)$)");
    std::smatch match;
    if (!std::regex_match(line, match, shape)) return;
    const auto path = keyOf(match[1].str());
    const int number = std::stoi(match[2].str());
    add(byFile, path,
        diagnostic(rangeOnLine(texts.file(path), number, "", ""),
                   match[3].matched ? severityWarning : severityInformation, match[4].str(), "",
                   Json::array()));
}

}  // namespace

void addDiagnostics(const RobotAnalysis& analysis, const Documents& documents,
                    DiagnosticsByFile& byFile) {
    FileTexts texts(documents);
    for (const auto& line : analysis.messages) addMessage(line, texts, byFile);
    if (analysis.failure) addFailure(*analysis.failure, texts, byFile);
    for (const auto& finding : analysis.checks.findings) addFinding(finding, texts, byFile);
}

}  // namespace corvane::tools::lsp
