// Feeds arbitrary bytes to the plugin as the text of a URDF file, twice on one plugin object, and
// prints what comes back. Besides the sanitizers' findings it stops on: an exception other than
// the JSON writer's documented refusal of text that is not UTF-8, a second import that differs
// from the first (state left over from an import), a use of the error reporter, printed host text
// that lost its shape, and a link-tree problem found in a text that urdfdom accepts (the plugin
// checks large descriptions for those problems before urdfdom sees them; here every text is).
#include <console_bridge/console.h>
#include <sanitizer/lsan_interface.h>
#include <spdlog/spdlog.h>
#include <tinyxml.h>

#include <corvane/Render.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "HostTextShape.hpp"
#include "LinkTreeCheck.hpp"
#include "NestingGuard.hpp"
#include "ParsedUrdf.hpp"

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "urdf_fuzzer: %s\n", what.c_str());
    std::abort();
}

std::string jsonOrRefusal(const corvane::Document& document) {
    try {
        return corvane::Render::toJson(document, -1);
    } catch (const std::invalid_argument& refusal) {
        return refusal.what();
    }
}

// True when the joints of the text link some link back to itself. urdfdom refuses such a cycle
// when no root hangs it off (or another joint is broken) and then leaks its links, which own each
// other; that leak is urdfdom's, so leak checking is paused for these texts. The cycles urdfdom
// accepts are released by the plugin, and the unit tests check that without pausing anything.
bool jointsFormACycle(const std::string& text) {
    const std::string input = corvane::Plugins::Urdf::parserInput(text);
    if (corvane::Plugins::Urdf::maxElementDepth(std::string_view(input.c_str())) >
        corvane::Plugins::Urdf::kMaxElementDepth) {
        return false;
    }
    TiXmlDocument document;
    document.Parse(input.c_str());
    const TiXmlElement* robot = document.FirstChildElement("robot");
    if (!robot) return false;
    std::map<std::string, std::vector<std::string>> children;
    for (const TiXmlElement* joint = robot->FirstChildElement("joint"); joint;
         joint = joint->NextSiblingElement("joint")) {
        const TiXmlElement* parent = joint->FirstChildElement("parent");
        const TiXmlElement* child = joint->FirstChildElement("child");
        const char* parentName = parent ? parent->Attribute("link") : nullptr;
        const char* childName = child ? child->Attribute("link") : nullptr;
        if (parentName && childName) children[parentName].emplace_back(childName);
    }
    // Depth-first search with an explicit stack; a link met again while still open closes a cycle.
    enum class Mark { Open, Done };
    std::map<std::string, Mark> marks;
    for (const auto& [start, unused] : children) {
        if (marks.count(start)) continue;
        std::vector<std::pair<std::string, std::size_t>> stack{{start, 0}};
        marks[start] = Mark::Open;
        while (!stack.empty()) {
            auto& [link, next] = stack.back();
            const auto found = children.find(link);
            if (found == children.end() || next >= found->second.size()) {
                marks[link] = Mark::Done;
                stack.pop_back();
                continue;
            }
            const std::string child = found->second[next++];
            const auto mark = marks.find(child);
            if (mark != marks.end() && mark->second == Mark::Open) return true;
            if (mark == marks.end()) {
                marks[child] = Mark::Open;
                stack.emplace_back(child, 0);
            }
        }
    }
    return false;
}

// Leak checking paused for the lifetime of the object.
class LeakCheckPause {
  public:
    explicit LeakCheckPause(bool pause) : paused_(pause) {
        if (paused_) __lsan_disable();
    }
    ~LeakCheckPause() {
        if (paused_) __lsan_enable();
    }
    LeakCheckPause(const LeakCheckPause&) = delete;
    LeakCheckPause& operator=(const LeakCheckPause&) = delete;

  private:
    bool paused_;
};

// The link-tree check may only name problems that make urdfdom refuse the text.
void checkLinkTreeProblemAgainstUrdfdom(const std::string& text) {
    const std::string input = corvane::Plugins::Urdf::parserInput(text);
    if (corvane::Plugins::Urdf::maxElementDepth(std::string_view(input.c_str())) >
        corvane::Plugins::Urdf::kMaxElementDepth) {
        return;
    }
    const auto problem = corvane::Plugins::Urdf::linkTreeProblem(input.c_str());
    if (!problem) return;
    const LeakCheckPause pause(true);
    const corvane::Plugins::Urdf::ParsedUrdf model(input);
    if (!model) return;
    fail("the link-tree check refuses a text urdfdom accepts: " + *problem);
}

std::string modelNameOf(const corvane::Document& document) {
    if (document.nodes().size() != 1) fail("document does not hold exactly one node");
    const auto model = document.nodes().front()->toModelDeclaration();
    if (!model) fail("document node is not a model declaration");
    return model->name().lexeme;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    console_bridge::setLogLevel(console_bridge::CONSOLE_BRIDGE_LOG_NONE);
    spdlog::set_level(spdlog::level::off);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    corvane::Plugins::Urdf::UrdfPlugin plugin;
    corvane::ErrorReporter reporter;
    const auto import = std::make_shared<corvane::Import>();

    corvane::DocumentPtr first;
    corvane::DocumentPtr second;
    {
        const LeakCheckPause pause(jointsFormACycle(text));
        first = plugin.parse(text, import, reporter);
        second = plugin.parse(text, import, reporter);
    }
    checkLinkTreeProblemAgainstUrdfdom(text);
    if (!reporter.errors().empty()) fail("the error reporter was used");
    if (!first != !second) fail("a second import of the same text was answered differently");
    if (!first) return 0;

    const std::string hostText = corvane::Render::toHostText(*first);
    if (hostText != corvane::Render::toHostText(*second)) {
        fail("a second import of the same text gave another document");
    }
    if (const auto problem = corvane::testing::hostTextProblem(hostText, modelNameOf(*first));
        !problem.empty()) {
        fail("printed host text is malformed: " + problem);
    }
    jsonOrRefusal(*first);
    return 0;
}
