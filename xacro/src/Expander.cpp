#include "corvane/xacro/Expander.hpp"

#include <tinyxml2.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "Expression.hpp"
#include "Glob.hpp"

namespace corvane::xacro {

ExpansionError::ExpansionError(const std::string& what, SourceOrigin where,
                               std::vector<std::filesystem::path> files)
    : std::runtime_error(what), where_(std::move(where)), files_(std::move(files)) {}

std::string stepNote(const SourceStep& step) {
    return step.kind == SourceStep::Kind::MacroCall ? "in macro '" + step.name + "' called here"
                                                    : "in file '" + step.name + "' included here";
}

std::string ExpansionError::report() const {
    std::string text =
        where_.file + ":" + std::to_string(where_.line) + ": error: " + what() + "\n";
    for (const SourceStep& step : where_.chain) {
        text += step.file + ":" + std::to_string(step.line) + ": note: " + stepNote(step) + "\n";
    }
    return text;
}

namespace {

// Limits that stop hostile files, each far above what the largest real robots need (a few
// thousand elements, a few hundred macro calls, YAML files of a few hundred values):
// macro calls nested deeper than this (unbounded recursion);
constexpr int maxCallDepth = 100;
// more output elements, or more macro calls in all, than this (a macro bomb);
constexpr std::size_t maxOutputElements = 100'000;
constexpr std::size_t maxMacroCalls = 200'000;
// a YAML file read into more values than this (an alias bomb);
constexpr std::size_t maxYamlValues = 100'000;
// includes or elements nested deeper than this, and files larger than this.
constexpr int maxIncludeDepth = 50;
constexpr int maxNestingDepth = 1000;
constexpr std::uintmax_t maxFileBytes = 32u << 20;

constexpr std::string_view xacroPrefix = "xacro:";

struct Scope;

// A property is evaluated on first use, in the scope and file that define it, and kept.
struct Property {
    std::string text;                             // unevaluated value
    const tinyxml2::XMLElement* block = nullptr;  // a block property
    Scope* scope = nullptr;
    std::string file;
    bool evaluating = false;
    std::optional<Value> value;
};

// The properties of a file, a macro call or a namespace. Scopes and properties live as long as
// the expansion (the expander owns them all), so a property may outlive the call defining it.
struct Scope {
    std::map<std::string, Property*> properties;
    Scope* parent = nullptr;
};

struct MacroParam {
    enum class Kind { Value, Block, Content } kind = Kind::Value;
    std::string name;
    bool fromOuter = false;  // :=^
    std::optional<std::string> fallback;
};

struct Macro {
    std::string name;
    const tinyxml2::XMLElement* element = nullptr;
    std::string file;
    std::vector<MacroParam> params;
    // A macro of a namespaced include ("ns.") sees that include's properties; other macros see
    // the properties where they are called.
    std::string ns;
    Scope* nsScope = nullptr;
};

struct Block;

struct Frame {
    std::string file;
    Scope* scope = nullptr;
    std::map<std::string, Block>* blocks = nullptr;
};

// A block parameter of a macro call: the call's child nodes, expanded where the call was written.
struct Block {
    std::vector<const tinyxml2::XMLNode*> nodes;
    Frame caller;
};

bool isPropertyName(std::string_view name) {
    const auto letter = [](char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    };
    if (name.empty() || name.starts_with("__") || !letter(name[0])) return false;
    return std::all_of(name.begin(), name.end(), [&](char c) {
        return letter(c) || std::isdigit(static_cast<unsigned char>(c));
    });
}

bool isXacro(const char* name) {
    return std::string_view(name).starts_with(xacroPrefix);
}

// A name an element or attribute can have in XML: a letter, '_', ':' or a byte of a multi-byte
// character first, then those, digits, '-' and '.'.
bool isXmlName(const std::string& name) {
    const auto isStart = [](unsigned char c) {
        return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80;
    };
    return !name.empty() && isStart(static_cast<unsigned char>(name[0])) &&
           std::all_of(name.begin(), name.end(), [&](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return isStart(byte) || std::isdigit(byte) || c == '-' || c == '.';
           });
}

std::string trimmed(const std::string& text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

void collectElementLines(const tinyxml2::XMLElement& element, std::vector<int>& lines) {
    lines.push_back(element.GetLineNum());
    for (const auto* child = element.FirstChildElement(); child;
         child = child->NextSiblingElement())
        collectElementLines(*child, lines);
}

// The line of each element of the printed output, in document order (the order of the origins).
std::vector<int> elementLines(const std::string& urdf) {
    tinyxml2::XMLDocument printed(true, tinyxml2::PRESERVE_WHITESPACE);
    std::vector<int> lines;
    if (printed.Parse(urdf.data(), urdf.size()) != tinyxml2::XML_SUCCESS) return lines;
    for (const auto* element = printed.FirstChildElement(); element;
         element = element->NextSiblingElement())
        collectElementLines(*element, lines);
    return lines;
}

// The content of FILE, or nothing when it cannot be read (a folder a pattern matched, say).
std::optional<std::string> fileText(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(content).str();
}

// "malformed XML: <cause>", the cause in words rather than the XML reader's codes; the reader
// names the element it was in for some faults.
std::string malformedXml(const tinyxml2::XMLDocument& document) {
    const std::string detail = document.ErrorStr() ? document.ErrorStr() : "";
    const std::string marker = "XMLElement name=";
    const auto at = detail.find(marker);
    const std::string element =
        at == std::string::npos ? "" : "'" + detail.substr(at + marker.size()) + "'";
    std::string cause;
    switch (document.ErrorID()) {
        case tinyxml2::XML_ERROR_MISMATCHED_ELEMENT:
            cause = "element " + element + " is not closed by its end tag";
            break;
        case tinyxml2::XML_ERROR_PARSING_ATTRIBUTE:
            cause = "an attribute of element " + element +
                    " is not written name=\"value\", or is written twice";
            break;
        case tinyxml2::XML_ERROR_PARSING_ELEMENT:
            cause = element.empty() ? "an element is written wrongly"
                                    : "element " + element + " is written wrongly";
            break;
        case tinyxml2::XML_ERROR_PARSING_COMMENT:
            cause = "a comment is not closed by -->";
            break;
        case tinyxml2::XML_ERROR_PARSING_CDATA:
            cause = "a CDATA section is not closed by ]]>";
            break;
        case tinyxml2::XML_ERROR_PARSING_DECLARATION:
            cause = "a declaration <?...?> is not closed";
            break;
        case tinyxml2::XML_ERROR_PARSING_UNKNOWN:
            cause = "a <!...> section is not closed";
            break;
        case tinyxml2::XML_ERROR_PARSING_TEXT:
            cause = "text that cannot be read";
            break;
        case tinyxml2::XML_ERROR_EMPTY_DOCUMENT:
            cause = "no element in the file";
            break;
        case tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED:
            cause = "elements nested too deeply";
            break;
        default:
            cause = "the text ends inside an element, or a tag is not closed by >";
            break;
    }
    return "malformed XML: " + cause;
}

class Expander {
  public:
    explicit Expander(const ExpandOptions& options) : options_(options) {}

    Expansion run(const std::filesystem::path& file, const std::string* text) {
        tinyxml2::XMLDocument* input = text ? parse(*text, file) : load(file, {});
        output_.InsertEndChild(output_.NewDeclaration());
        Frame frame{file.string(), newScope(nullptr), nullptr};
        global_ = frame.scope;
        topFile_ = frame.file;
        substituteCommandLineArgs(frame);
        refuseWhatIsBesideRoot(*input, frame.file);
        processChildren(*input, output_, frame, 0);
        requireOneOutputRoot(*input, frame.file);
        if (auto* root = output_.RootElement()) root->DeleteAttribute("xmlns:xacro");
        tinyxml2::XMLPrinter printer;
        output_.Print(&printer);
        Expansion expansion{
            printer.CStr(), std::move(origins_), {}, std::move(messages_), std::move(filesRead_)};
        expansion.lines = elementLines(expansion.urdf);
        return expansion;
    }

  private:
    // An argument given by the caller may itself use $(find ...) or $(env ...).
    void substituteCommandLineArgs(const Frame& frame) {
        for (auto& [name, value] : args_) {
            try {
                value = substituteArgs(value, frame);
            } catch (const EvalError& error) {
                fail("in argument '" + name + ":=" + value + "': " + error.what(), frame.file, 0);
            }
        }
    }

    [[noreturn]] void fail(const std::string& what, const std::string& file, int line) const {
        SourceOrigin where{file, line, {}};
        for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) where.chain.push_back(*it);
        throw ExpansionError(what, std::move(where), filesRead_);
    }

    // The text given in place of FILE's content, kept as FILE's reading.
    tinyxml2::XMLDocument* parse(const std::string& text, const std::filesystem::path& file) {
        if (text.size() > maxFileBytes)
            fail("cannot read " + file.string() + ": larger than " +
                     std::to_string(maxFileBytes >> 20) + " MiB",
                 file.string(), 0);
        const std::string key = fileKey(file);
        noteFileRead(key);
        auto document =
            std::make_unique<tinyxml2::XMLDocument>(true, tinyxml2::PRESERVE_WHITESPACE);
        if (document->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS)
            fail(malformedXml(*document), file.string(), document->ErrorLineNum());
        return documents_.insert_or_assign(key, std::move(document)).first->second.get();
    }

    // The XML reader lets text and further elements beside the root element through (after a
    // stray closing tag, say); that is not XML, and expanded it would make the output unreadable.
    void refuseWhatIsBesideRoot(const tinyxml2::XMLDocument& document,
                                const std::string& file) const {
        const tinyxml2::XMLElement* root = nullptr;
        for (const auto* node = document.FirstChild(); node; node = node->NextSibling()) {
            if (const auto* text = node->ToText(); text && !trimmed(text->Value()).empty())
                fail("text outside the root element", file, text->GetLineNum());
            if (const auto* element = node->ToElement()) {
                if (root)
                    fail("a second root element '" + std::string(element->Name()) + "'", file,
                         element->GetLineNum());
                root = element;
            }
        }
    }

    // A root element of the language's own (a macro, a condition) can expand to no element, to
    // several or to text: the output must still be one element.
    void requireOneOutputRoot(const tinyxml2::XMLDocument& input, const std::string& file) const {
        std::size_t elements = 0;
        bool text = false;
        for (const auto* node = output_.FirstChild(); node; node = node->NextSibling()) {
            if (node->ToElement()) ++elements;
            if (node->ToText() && !trimmed(node->Value()).empty()) text = true;
        }
        if (elements != 1 || text)
            fail("the expansion is not one root element", file,
                 input.RootElement() ? input.RootElement()->GetLineNum() : 0);
    }

    // The name FILE is known by however it was reached (relative, through links); asked of the
    // system once per name, since a robot includes the same few files many times.
    const std::string& fileKey(const std::filesystem::path& file) {
        const auto [it, fresh] = fileKeys_.try_emplace(file.string());
        if (fresh) {
            std::error_code error;  // a name the system cannot resolve stands for itself
            auto resolved = std::filesystem::absolute(file, error);
            if (!error) resolved = std::filesystem::weakly_canonical(resolved, error);
            it->second = error ? file.lexically_normal().string() : resolved.string();
        }
        return it->second;
    }

    // Keeps KEY (a file's fileKey) in the list of the files read, once.
    void noteFileRead(const std::string& key) {
        if (filesSeen_.insert(key).second) filesRead_.emplace_back(key);
    }

    // The caller's text for the file known as KEY, if it has one.
    std::optional<std::string> givenText(const std::string& key) const {
        if (!options_.fileTexts) return std::nullopt;
        return options_.fileTexts(std::filesystem::path(key));
    }

    // Whether FILE can be read: a file on the disk, or one the caller gives the text of.
    bool readable(const std::filesystem::path& file) {
        std::error_code error;  // a name too long for the system is a file that is not there
        return std::filesystem::is_regular_file(file, error) || givenText(fileKey(file));
    }

    // Reads FILE once; a file included again is expanded from the same reading.
    tinyxml2::XMLDocument* load(const std::filesystem::path& file, const SourceStep& from) {
        const std::string key = fileKey(file);
        if (const auto it = documents_.find(key); it != documents_.end()) return it->second.get();
        noteFileRead(key);
        const std::string& whereFile = from.file.empty() ? file.string() : from.file;
        const std::optional<std::string> given = givenText(key);
        std::error_code error;
        const auto size = given ? given->size() : std::filesystem::file_size(file, error);
        if (!error && size > maxFileBytes)
            fail("cannot read " + file.string() + ": larger than " +
                     std::to_string(maxFileBytes >> 20) + " MiB",
                 whereFile, from.line);
        const std::optional<std::string> text = given ? given : fileText(file);
        if (!text) fail("cannot read " + file.string(), whereFile, from.line);
        auto document =
            std::make_unique<tinyxml2::XMLDocument>(true, tinyxml2::PRESERVE_WHITESPACE);
        if (document->Parse(text->data(), text->size()) != tinyxml2::XML_SUCCESS) {
            // the fault is in the included file, at its own line, reached through the include
            if (!from.file.empty()) chain_.push_back(from);
            fail(malformedXml(*document), file.string(), document->ErrorLineNum());
        }
        return documents_.emplace(key, std::move(document)).first->second.get();
    }

    Scope* newScope(Scope* parent) {
        scopes_.emplace_back();
        scopes_.back().parent = parent;
        return &scopes_.back();
    }

    Property* newProperty(const Frame& frame) {
        properties_.emplace_back();
        properties_.back().scope = frame.scope;
        properties_.back().file = frame.file;
        return &properties_.back();
    }

    static Property* findProperty(const std::string& name, const Scope* scope) {
        for (; scope; scope = scope->parent) {
            const auto it = scope->properties.find(name);
            if (it != scope->properties.end()) return it->second;
        }
        return nullptr;
    }

    std::optional<Value> lookup(const std::string& name, const Frame& frame) {
        Property* property = findProperty(name, frame.scope);
        if (!property) return std::nullopt;
        if (property->value) return property->value;
        if (property->block)
            throw EvalError("property '" + name + "' is a block; insert it with insert_block");
        if (property->evaluating) throw EvalError("property '" + name + "' is defined by itself");
        property->evaluating = true;
        try {
            property->value = wholeValue(property->text, Frame{property->file, property->scope});
        } catch (...) {
            property->evaluating = false;
            throw;
        }
        property->evaluating = false;
        return property->value;
    }

    // The xacro.* functions: they read files and arguments and report, so the expander
    // provides them.
    FunctionCall functions(const Frame& frame) {
        return
            [this, &frame](const std::string& name, const Arguments& args) -> std::optional<Value> {
                const std::string bare = name.starts_with("xacro.") ? name.substr(6) : name;
                if (bare == "load_yaml") return loadYaml(strOf(oneArgument(name, args)), frame);
                if (!name.starts_with("xacro.")) return std::nullopt;
                if (bare == "arg") return Value{argument(strOf(oneArgument(name, args)))};
                if (bare == "abs_filename")
                    return Value{absoluteName(strOf(oneArgument(name, args)), frame)};
                if (bare == "dotify") return dotified(oneArgument(name, args));
                if (bare == "tokenize") return tokenized(args);
                if (bare == "message" || bare == "warning") {
                    report(bare == "warning" ? ExpansionMessage::Level::Warning
                                             : ExpansionMessage::Level::Info,
                           printed(args), frame);
                    return Value{};
                }
                if (bare == "error" || bare == "fatal") throw EvalError(printed(args));
                return std::nullopt;
            };
    }

    // A dict whose string keys also read as attributes, as a YAML map's do.
    static Value dotified(const Value& value) {
        const auto* dict = std::get_if<std::shared_ptr<Dict>>(&value.data);
        if (!dict) return value;
        auto copy = std::make_shared<Dict>(**dict);
        copy->dotified = true;
        return Value{copy};
    }

    static const Value& oneArgument(const std::string& name, const Arguments& args) {
        if (args.positional.size() != 1 || !args.keywords.empty())
            throw EvalError(name + "() takes one argument");
        return args.positional[0];
    }

    // The arguments as Python's print writes them: their str forms, separated by spaces.
    static std::string printed(const Arguments& args) {
        std::string text;
        for (const Value& value : args.positional) {
            if (!text.empty()) text += ' ';
            text += strOf(value);
        }
        return text;
    }

    void report(ExpansionMessage::Level level, const std::string& text, const Frame& frame) {
        SourceOrigin where{frame.file, line_, {}};
        for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) where.chain.push_back(*it);
        messages_.push_back(ExpansionMessage{level, text, std::move(where)});
    }

    std::string argument(const std::string& name) const {
        const auto it = args_.find(name);
        if (it == args_.end()) throw EvalError("Undefined substitution argument " + name);
        return it->second;
    }

    static std::string absoluteName(const std::string& name, const Frame& frame) {
        std::filesystem::path path(name);
        if (path.is_relative()) path = std::filesystem::path(frame.file).parent_path() / path;
        return std::filesystem::absolute(path).lexically_normal().string();
    }

    // xacro.tokenize(text, sep=",; ", skip_empty=True): the words of TEXT between any of the
    // separator characters.
    static Value tokenized(const Arguments& args) {
        const Value* textValue = args.find(0, "s");
        if (!textValue) throw EvalError("xacro.tokenize() needs a text");
        const Value* sepValue = args.find(1, "sep");
        const Value* skipValue = args.find(2, "skip_empty");
        const std::string text = strOf(*textValue);
        const std::string separators = sepValue ? strOf(*sepValue) : std::string(",; \t\r\n");
        const bool skipEmpty = !skipValue || truthOf(*skipValue);
        List words;
        std::string word;
        for (const char c : text + separators.substr(0, 1)) {
            if (separators.find(c) == std::string::npos) {
                word += c;
                continue;
            }
            if (!word.empty() || !skipEmpty) words.push_back(Value{word});
            word.clear();
        }
        return makeList(std::move(words));
    }

    Value loadYaml(const std::string& name, const Frame& frame) {
        std::filesystem::path path(name);
        if (path.is_relative()) path = std::filesystem::path(frame.file).parent_path() / path;
        const std::string& key = fileKey(path);
        noteFileRead(key);
        const std::optional<std::string> given = givenText(key);
        YAML::Node root;
        std::error_code error;
        if (const auto size = given ? given->size() : std::filesystem::file_size(path, error);
            !error && size > maxFileBytes)
            throw EvalError("cannot read YAML file " + path.string() + ": larger than " +
                            std::to_string(maxFileBytes >> 20) + " MiB");
        try {
            root = given ? YAML::Load(*given) : YAML::LoadFile(path.string());
        } catch (const YAML::Exception& error) {
            throw EvalError("cannot read YAML file " + path.string() + ": " + error.what());
        }
        std::size_t count = 0;
        return yamlValue(root, count, 0);
    }

    // A key written twice keeps its first place and its last value, as a Python dict does.
    static void setItem(Dict& dict, Value key, Value value) {
        for (auto& [k, v] : dict.items)
            if (equalValues(k, key)) {
                v = std::move(value);
                return;
            }
        dict.items.emplace_back(std::move(key), std::move(value));
    }

    static Value yamlValue(const YAML::Node& node, std::size_t& count, int depth) {
        if (++count > maxYamlValues || depth > maxNestingDepth)
            throw EvalError("YAML file too large (more than " + std::to_string(maxYamlValues) +
                            " values or nested deeper than " + std::to_string(maxNestingDepth) +
                            ")");
        if (node.IsMap()) {
            auto dict = std::make_shared<Dict>();
            dict->dotified = true;  // a YAML map's keys read as attributes: limits.arm.lower
            for (const auto& item : node)
                setItem(*dict, yamlValue(item.first, count, depth + 1),
                        yamlValue(item.second, count, depth + 1));
            return Value{dict};
        }
        if (node.IsSequence()) {
            List items;
            for (const auto& item : node) items.push_back(yamlValue(item, count, depth + 1));
            return makeList(std::move(items));
        }
        if (!node.IsScalar()) return Value{};
        const std::string text = node.Scalar();
        if (node.Tag() == "!") return Value{text};
        // The angle tags of xacro's YAML: !degrees and !radians take a number or an expression.
        if (node.Tag() == "!degrees" || node.Tag() == "!radians") {
            const Value angle =
                evaluate(text, [](const std::string&) { return std::optional<Value>{}; });
            return Value{node.Tag() == "!degrees" ? asDouble(angle) * 3.14159265358979323846 / 180.0
                                                  : asDouble(angle)};
        }
        if (text == "true" || text == "True") return Value{true};
        if (text == "false" || text == "False") return Value{false};
        if (text == "null" || text == "~") return Value{};
        return textValue(text);
    }

    // The value of a text: a number when it reads as one, otherwise the text itself.
    static Value textValue(const std::string& text) {
        const std::string t = trimmed(text);
        // as the reference reads a text value, 'true' and 'false' become bools
        if (t == "true" || t == "True") return Value{true};
        if (t == "false" || t == "False") return Value{false};
        if (!t.empty()) {
            try {
                std::size_t used = 0;
                if (t.find_first_of(".eE") == std::string::npos &&
                    t.find_first_not_of("+-0123456789") == std::string::npos) {
                    const long long v = std::stoll(t, &used);
                    if (used == t.size()) return Value{static_cast<std::int64_t>(v)};
                }
                const double d = std::stod(t, &used);
                if (used == t.size() && t.find_first_not_of("+-0123456789.eE") == std::string::npos)
                    return Value{d};
            } catch (const std::exception&) {
            }
        }
        return Value{text};
    }

    // Replaces the $(...) substitutions of TEXT, the first pass over any value.
    std::string substituteArgs(const std::string& text, const Frame& frame) {
        std::string out;
        std::size_t i = 0;
        while (i < text.size()) {
            if (text.compare(i, 3, "$${") == 0 || text.compare(i, 3, "$$(") == 0) {
                out += text.substr(i, 3);
                i += 3;
            } else if (text.compare(i, 2, "$(") == 0) {
                const std::size_t end = closing(text, i + 2, '(', ')');
                out += substitution(trimmed(text.substr(i + 2, end - i - 2)), frame);
                i = end + 1;
            } else {
                out += text[i++];
            }
        }
        return out;
    }

    // The value of EXPRESSION; an error names the expression it happened in (the innermost
    // one, when a property's value fails inside another expression).
    Value expressionValue(const std::string& expression, const Frame& frame) {
        try {
            return evaluator_.evaluate(
                expression, [&](const std::string& name) { return lookup(name, frame); },
                functions(frame));
        } catch (const EvalError& error) {
            const std::string what = error.what();
            if (what.find("expression '") != std::string::npos) throw;
            throw EvalError(what + " in expression '" + expression + "'");
        }
    }

    // Replaces $(...) and then ${...} in TEXT; $${ writes a literal ${.
    std::string substituteRaw(const std::string& raw, const Frame& frame) {
        return substituteExpressions(substituteArgs(raw, frame), frame);
    }

    // Replaces the ${...} of TEXT whose $(...) are already replaced.
    std::string substituteExpressions(const std::string& text, const Frame& frame) {
        std::string out;
        std::size_t i = 0;
        while (i < text.size()) {
            if (text.compare(i, 3, "$${") == 0 || text.compare(i, 3, "$$(") == 0) {
                out += text.substr(i + 1, 2);
                i += 3;
            } else if (text.compare(i, 2, "${") == 0) {
                const std::size_t end = closing(text, i + 2, '{', '}');
                out += strOf(expressionValue(text.substr(i + 2, end - i - 2), frame));
                i = end + 1;
            } else {
                out += text[i++];
            }
        }
        return out;
    }

    // The value of TEXT: a whole ${} keeps the expression's value, other text is read as a
    // number when it is one (and so is a text result of the whole ${}).
    Value wholeValue(const std::string& raw, const Frame& frame) {
        const std::string t = trimmed(substituteArgs(raw, frame));
        if (t.starts_with("${") && t.ends_with("}") && closing(t, 2, '{', '}') == t.size() - 1) {
            Value value = expressionValue(t.substr(2, t.size() - 3), frame);
            // a text result that reads as a number is that number, as for written values
            if (const auto* text = std::get_if<std::string>(&value.data)) return textValue(*text);
            return value;
        }
        return textValue(substituteExpressions(t, frame));
    }

    static std::size_t closing(const std::string& text, std::size_t from, char open, char close) {
        int depth = 1;
        for (std::size_t i = from; i < text.size(); ++i) {
            if (text[i] == open) ++depth;
            if (text[i] == close && --depth == 0) return i;
        }
        throw EvalError("unclosed substitution in '" + text + "'");
    }

    std::string substitution(const std::string& body, const Frame& frame) {
        const auto space = body.find_first_of(" \t");
        const std::string command = body.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : trimmed(body.substr(space));
        if (command == "arg") {
            return argument(rest);
        }
        if (command == "find") {
            if (options_.findPackage)
                if (auto folder = options_.findPackage(rest)) return folder->string();
            throw EvalError("package '" + rest + "' not found");
        }
        if (command == "env" || command == "optenv") {
            const auto split = rest.find_first_of(" \t");
            const std::string name = rest.substr(0, split);
            if (const char* value = std::getenv(name.c_str())) return value;
            if (command == "optenv")
                return split == std::string::npos ? "" : trimmed(rest.substr(split));
            throw EvalError("environment variable '" + name + "' is not set");
        }
        if (command == "dirname") return std::filesystem::path(frame.file).parent_path().string();
        if (command == "eval") return strOf(expressionValue(rest, frame));
        throw EvalError("unknown substitution $(" + body + ")");
    }

    std::string substitute(const char* text, const Frame& frame, int line) {
        line_ = line;
        try {
            return substituteRaw(text ? text : "", frame);
        } catch (const EvalError& error) {
            fail(error.what(), frame.file, line);
        }
    }

    Value evaluateWhole(const char* text, const Frame& frame, int line) {
        line_ = line;
        try {
            return wholeValue(text ? text : "", frame);
        } catch (const EvalError& error) {
            fail(error.what(), frame.file, line);
        }
    }

    // A condition's value: a text true/True or false/False, else the integer the text reads as
    // ("1", "0", "${2}"); a value that is no text (a list, None, a number) by Python's truth.
    bool condition(const tinyxml2::XMLElement& element, const Frame& frame) {
        const char* written = element.Attribute("value");
        const Value value = evaluateWhole(written, frame, element.GetLineNum());
        if (const auto* s = std::get_if<std::string>(&value.data)) {
            const std::string t = trimmed(*s);
            if (t == "true" || t == "True") return true;
            if (t == "false" || t == "False") return false;
            if (const auto nonZero = nonZeroInteger(t)) return *nonZero;
            fail("invalid condition value '" + std::string(written ? written : "") + "': '" + *s +
                     "' is neither true, false nor an integer",
                 frame.file, element.GetLineNum());
        }
        return truthOf(value);
    }

    // Whether the integer TEXT reads as (as Python's int() reads it) is not zero; nothing when
    // TEXT is no integer.
    static std::optional<bool> nonZeroInteger(const std::string& text) {
        const auto digits = text.find_first_not_of("+-");
        if (text.empty() || digits > 1 || digits == std::string::npos) return std::nullopt;
        std::string bare = text.substr(digits);
        bare.erase(std::remove(bare.begin(), bare.end(), '_'), bare.end());
        if (bare.empty() || bare.find_first_not_of("0123456789") != std::string::npos ||
            text.find("__") != std::string::npos || text.back() == '_' || text[digits] == '_')
            return std::nullopt;
        return bare.find_first_not_of('0') != std::string::npos;
    }

    void processChildren(const tinyxml2::XMLNode& from, tinyxml2::XMLNode& to, const Frame& frame,
                         int depth) {
        if (depth > maxNestingDepth)
            fail("elements nested too deeply", frame.file, from.GetLineNum());
        for (const tinyxml2::XMLNode* node = from.FirstChild(); node; node = node->NextSibling())
            processNode(*node, to, frame, depth);
    }

    void processNode(const tinyxml2::XMLNode& node, tinyxml2::XMLNode& to, const Frame& frame,
                     int depth) {
        if (depth > maxNestingDepth)
            fail("elements nested too deeply", frame.file, node.GetLineNum());
        if (const auto* element = node.ToElement()) {
            processElement(*element, to, frame, depth);
        } else if (const auto* text = node.ToText(); text && text->CData()) {
            // CDATA is the author's text, kept as written
            to.InsertEndChild(output_.NewText(text->Value()))->ToText()->SetCData(true);
        } else if (const auto* text = node.ToText()) {
            to.InsertEndChild(
                output_.NewText(substitute(text->Value(), frame, text->GetLineNum()).c_str()));
        } else if (const auto* comment = node.ToComment()) {
            if (!describesXacroElement(*comment))
                to.InsertEndChild(output_.NewComment(comment->Value()));
        }
    }

    // A property's scope: the current one, its parent (scope="parent") or the file's.
    Scope* targetScope(const tinyxml2::XMLElement& element, const Frame& frame) const {
        const char* scope = element.Attribute("scope");
        if (!scope) return frame.scope;
        const std::string_view which(scope);
        if (which == "global") return global_;
        if (which == "parent") return frame.scope->parent ? frame.scope->parent : frame.scope;
        fail("invalid scope '" + std::string(which) + "' of property '" +
                 std::string(element.Attribute("name")) + "': use parent or global",
             frame.file, element.GetLineNum());
    }

    // Comments written right above a xacro element (a definition, an include, a call, a
    // condition), each at most one line break from the next, are about that element and go away
    // with it, as with the reference.
    static bool describesXacroElement(const tinyxml2::XMLComment& comment) {
        const tinyxml2::XMLNode* node = &comment;
        while (const auto* above = node->ToComment()) {
            const tinyxml2::XMLNode* next = above->NextSibling();
            // the parser drops the white space between nodes, so the lines tell the gap
            const std::string_view text(above->Value());
            const auto lastLine = above->GetLineNum() + std::count(text.begin(), text.end(), '\n');
            if (!next || next->GetLineNum() - lastLine > 1) return false;
            node = next;
        }
        const auto* element = node->ToElement();
        return element &&
               (isXacro(element->Name()) || std::string_view(element->Name()) == "include");
    }

    void define(const tinyxml2::XMLElement& element, const Frame& frame) {
        const char* name = element.Attribute("name");
        const int line = element.GetLineNum();
        if (!name || !isPropertyName(name))
            fail("invalid property name '" + std::string(name ? name : "") +
                     "': a name is letters, digits and '_', not starting with a digit or '__'",
                 frame.file, line);
        Scope* target = targetScope(element, frame);
        if (element.Attribute("remove", "true")) {
            target->properties.erase(name);
            return;
        }
        const char* value = element.Attribute("value");
        const char* fallback = element.Attribute("default");
        if (!value && fallback && findProperty(name, frame.scope)) return;
        Property* property = newProperty(frame);
        if (value || fallback) {
            property->text = value ? value : fallback;
            // a property placed in another scope, or asked for at once, takes its value here,
            // where the names it uses are defined
            if (target != frame.scope || element.Attribute("lazy_eval", "false"))
                property->value = evaluateWhole(property->text.c_str(), frame, line);
        } else {
            property->block = &element;
        }
        target->properties[name] = property;
    }

    void processElement(const tinyxml2::XMLElement& element, tinyxml2::XMLNode& to,
                        const Frame& frame, int depth) {
        const std::string name = element.Name();
        const int line = element.GetLineNum();
        if (!isXacro(name.c_str()) && name != "include") {
            copyElement(element, to, frame, depth);
            return;
        }
        const std::string tag = name == "include" ? "include" : name.substr(xacroPrefix.size());
        if (tag == "property") return define(element, frame);
        if (tag == "arg") {
            const char* argName = element.Attribute("name");
            if (argName && !args_.count(argName))
                args_[argName] = substitute(element.Attribute("default"), frame, line);
            return;
        }
        if (tag == "macro") return defineMacro(element, frame);
        if (tag == "if" || tag == "unless") {
            if (condition(element, frame) == (tag == "if"))
                processChildren(element, to, frame, depth + 1);
            return;
        }
        if (tag == "include") return include(element, to, frame, depth);
        if (tag == "insert_block") return insertBlock(element, to, frame, depth);
        if (tag == "element") {
            const std::string elementName =
                substitute(element.Attribute("xacro:name"), frame, line);
            if (!isXmlName(elementName))
                fail("invalid element name '" + elementName + "'", frame.file, line);
            auto* made = output_.NewElement(elementName.c_str());
            to.InsertEndChild(made);
            noteOrigin(frame.file, line);
            for (const auto* a = element.FirstAttribute(); a; a = a->Next())
                if (!isXacro(a->Name()))
                    made->SetAttribute(a->Name(), substitute(a->Value(), frame, line).c_str());
            processChildren(element, *made, frame, depth + 1);
            return;
        }
        if (tag == "attribute") {
            const std::string attributeName = substitute(element.Attribute("name"), frame, line);
            if (!isXmlName(attributeName))
                fail("invalid attribute name '" + attributeName + "'", frame.file, line);
            if (auto* parent = to.ToElement())
                parent->SetAttribute(attributeName.c_str(),
                                     substitute(element.Attribute("value"), frame, line).c_str());
            return;
        }
        std::string macroName = tag;
        if (tag == "call") macroName = substitute(element.Attribute("macro"), frame, line);
        callMacro(macroName, element, to, frame, depth);
    }

    void noteOrigin(const std::string& file, int line) {
        if (origins_.size() >= maxOutputElements)
            fail("the output has more than " + std::to_string(maxOutputElements) + " elements",
                 file, line);
        SourceOrigin origin{file, line, {}};
        for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) origin.chain.push_back(*it);
        origins_.push_back(std::move(origin));
    }

    void copyElement(const tinyxml2::XMLElement& element, tinyxml2::XMLNode& to, const Frame& frame,
                     int depth) {
        auto* made = output_.NewElement(element.Name());
        to.InsertEndChild(made);
        noteOrigin(frame.file, element.GetLineNum());
        for (const auto* a = element.FirstAttribute(); a; a = a->Next())
            made->SetAttribute(a->Name(),
                               substitute(a->Value(), frame, element.GetLineNum()).c_str());
        processChildren(element, *made, frame, depth + 1);
    }

    void defineMacro(const tinyxml2::XMLElement& element, const Frame& frame) {
        Macro macro;
        macro.name = element.Attribute("name") ? element.Attribute("name") : "";
        if (macro.name.empty()) fail("a macro needs a name", frame.file, element.GetLineNum());
        macro.element = &element;
        macro.file = frame.file;
        for (const std::string& word :
             paramWords(element.Attribute("params") ? element.Attribute("params") : ""))
            macro.params.push_back(paramOf(word));
        macro.ns = prefix_;
        if (!prefix_.empty()) macro.nsScope = frame.scope;
        macros_[prefix_ + macro.name] = std::move(macro);
    }

    // One word of a params list: "*b" or "**b" (a block), "p", "p:=default", "p:=^",
    // "p:=^|default"; old files write "p=default".
    static MacroParam paramOf(const std::string& word) {
        MacroParam param;
        if (word.starts_with("**")) {
            param.kind = MacroParam::Kind::Content;
            param.name = word.substr(2);
            return param;
        }
        if (word.starts_with("*")) {
            param.kind = MacroParam::Kind::Block;
            param.name = word.substr(1);
            return param;
        }
        auto split = word.find(":=");
        std::size_t skip = 2;
        if (split == std::string::npos) {
            split = word.find('=');
            skip = 1;
        }
        param.name = word.substr(0, split);
        if (split == std::string::npos) return param;
        std::string fallback = word.substr(split + skip);
        if (fallback.starts_with("^")) {
            param.fromOuter = true;
            if (!fallback.starts_with("^|")) return param;
            fallback = fallback.substr(2);
        }
        param.fallback = fallback;
        return param;
    }

    // The words of a params list; a quoted default may hold spaces and loses its quotes.
    static std::vector<std::string> paramWords(const std::string& text) {
        std::vector<std::string> params;
        std::string word;
        char quote = 0;
        for (const char c : text) {
            if (quote) {
                if (c == quote)
                    quote = 0;
                else
                    word += c;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                if (!word.empty()) params.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        if (!word.empty()) params.push_back(word);
        return params;
    }

    // The nodes a block parameter stands for: the call's child element, or its content.
    static std::vector<const tinyxml2::XMLNode*> blockNodes(const tinyxml2::XMLElement& child,
                                                            MacroParam::Kind kind) {
        std::vector<const tinyxml2::XMLNode*> nodes;
        if (kind == MacroParam::Kind::Block) {
            nodes.push_back(&child);
            return nodes;
        }
        for (const auto* n = child.FirstChild(); n; n = n->NextSibling()) nodes.push_back(n);
        return nodes;
    }

    // The value of a value parameter: given in the call, taken from the caller's properties
    // (:=^), or the default, evaluated in the call's scope so it may name earlier parameters.
    Property* paramValue(const MacroParam& param, const std::string& macroName,
                         const tinyxml2::XMLElement& call, const Frame& frame, const Frame& inner) {
        const int line = call.GetLineNum();
        Property* property = newProperty(inner);
        if (const char* given = call.Attribute(param.name.c_str())) {
            property->value = evaluateWhole(given, frame, line);
            return property;
        }
        if (param.fromOuter) {
            try {
                property->value = lookup(param.name, frame);
            } catch (const EvalError& error) {
                fail(error.what(), frame.file, line);
            }
            if (property->value) return property;
        }
        if (!param.fallback)
            fail("Undefined parameters [" + param.name + "] in call of macro '" + macroName + "'" +
                     (param.fromOuter ? ": no property '" + param.name + "' to take with ^" : ""),
                 frame.file, line);
        property->value = evaluateWhole(param.fallback->c_str(), inner, line);
        return property;
    }

    // Inside a namespaced include or its macros, a name is first looked up in that namespace.
    const Macro* findMacro(const std::string& name) const {
        if (!prefix_.empty())
            if (const auto it = macros_.find(prefix_ + name); it != macros_.end())
                return &it->second;
        const auto it = macros_.find(name);
        return it == macros_.end() ? nullptr : &it->second;
    }

    // A macro's body sees its parameters and, outside them, the properties where it is called.
    void callMacro(const std::string& name, const tinyxml2::XMLElement& call, tinyxml2::XMLNode& to,
                   const Frame& frame, int depth) {
        const int line = call.GetLineNum();
        const Macro* found = findMacro(name);
        if (!found) fail("unknown macro name: xacro:" + name, frame.file, line);
        const Macro& macro = *found;
        if (++macroCalls_ > maxMacroCalls)
            fail("more than " + std::to_string(maxMacroCalls) +
                     " macro calls in all (a macro bomb?) in call of macro '" + name + "'",
                 frame.file, line);
        if (static_cast<int>(chain_.size()) >= maxCallDepth)
            fail("macro calls nested deeper than " + std::to_string(maxCallDepth) +
                     " (unbounded recursion?) in call of macro '" + name + "'",
                 frame.file, line);
        std::map<std::string, Block> blocks;
        Frame inner{macro.file, newScope(macro.nsScope ? macro.nsScope : frame.scope), &blocks};
        const tinyxml2::XMLElement* child = call.FirstChildElement();
        std::set<std::string> known;
        for (const MacroParam& param : macro.params) {
            if (param.kind != MacroParam::Kind::Value) {
                if (!child)
                    fail("not enough blocks in call of macro '" + name + "': block '" + param.name +
                             "' missing",
                         frame.file, line);
                blocks[param.name] = Block{blockNodes(*child, param.kind), frame};
                child = child->NextSiblingElement();
                continue;
            }
            known.insert(param.name);
            inner.scope->properties[param.name] = paramValue(param, name, call, frame, inner);
        }
        // <xacro:call macro="..."> names the macro in an attribute of its own
        const bool viaCall = std::string_view(call.Name()) == "xacro:call";
        for (const auto* a = call.FirstAttribute(); a; a = a->Next())
            if (!known.count(a->Name()) && !(viaCall && std::string_view(a->Name()) == "macro"))
                fail("unknown parameter '" + std::string(a->Name()) + "' in call of macro '" +
                         name + "'",
                     frame.file, line);
        if (child)
            fail(
                "unused block <" + std::string(child->Name()) + "> in call of macro '" + name + "'",
                frame.file, child->GetLineNum());
        chain_.push_back(SourceStep{SourceStep::Kind::MacroCall, name, frame.file, line});
        const std::string savedPrefix = prefix_;
        prefix_ = macro.ns;
        processChildren(*macro.element, to, inner, depth + 1);
        prefix_ = savedPrefix;
        chain_.pop_back();
    }

    void insertBlock(const tinyxml2::XMLElement& element, tinyxml2::XMLNode& to, const Frame& frame,
                     int depth) {
        const std::string name = substitute(element.Attribute("name"), frame, element.GetLineNum());
        if (frame.blocks) {
            const auto it = frame.blocks->find(name);
            if (it != frame.blocks->end()) {
                // the block's own text is evaluated where the macro was called
                for (const auto* node : it->second.nodes)
                    processNode(*node, to, it->second.caller, depth + 1);
                return;
            }
        }
        if (const Property* property = findProperty(name, frame.scope);
            property && property->block) {
            processChildren(*property->block, to, frame, depth + 1);
            return;
        }
        fail("undefined block '" + name + "'", frame.file, element.GetLineNum());
    }

    void include(const tinyxml2::XMLElement& element, tinyxml2::XMLNode& to, const Frame& frame,
                 int depth) {
        const int line = element.GetLineNum();
        const std::string name = substitute(element.Attribute("filename"), frame, line);
        std::vector<std::filesystem::path> files;
        if (hasPatternCharacters(name)) {
            for (std::string& match :
                 globMatches(std::filesystem::path(frame.file).parent_path(), name))
                files.emplace_back(std::move(match));
        } else {
            files.push_back(includedFile(name, frame, line));
        }
        const char* ns = element.Attribute("ns");
        for (const auto& file : files) {
            const std::string key = fileKey(file);
            if (including_.count(key)) fail("include cycle: " + file.string(), frame.file, line);
            if (static_cast<int>(including_.size()) >= maxIncludeDepth)
                fail("includes nested too deeply", frame.file, line);
            const SourceStep step{SourceStep::Kind::Include, file.string(), frame.file, line};
            tinyxml2::XMLDocument* document = load(file, step);
            including_.insert(key);
            chain_.push_back(step);
            Frame inner{file.string(), frame.scope, frame.blocks};
            const std::string savedPrefix = prefix_;
            if (ns) {
                inner.scope = newScope(frame.scope);
                prefix_ = savedPrefix + ns + ".";
            }
            if (const auto* root = document->RootElement()) {
                carryNamespaces(*root);
                processChildren(*root, to, inner, depth + 1);
            }
            if (ns)
                for (const auto& [propertyName, property] : inner.scope->properties)
                    frame.scope->properties[std::string(ns) + "." + propertyName] = property;
            prefix_ = savedPrefix;
            chain_.pop_back();
            including_.erase(key);
        }
    }

    // The namespace declarations of an included file's root (other than xacro's) are declared
    // on the output's root, where the elements using them end up.
    void carryNamespaces(const tinyxml2::XMLElement& includedRoot) {
        tinyxml2::XMLElement* root = output_.RootElement();
        if (!root) return;
        for (const auto* a = includedRoot.FirstAttribute(); a; a = a->Next()) {
            const std::string_view name(a->Name());
            if (name.starts_with("xmlns:") && name != "xmlns:xacro" && !root->Attribute(a->Name()))
                root->SetAttribute(a->Name(), a->Value());
        }
    }

    // The file an include names: relative to the including file, or else (as old files
    // expect) to the top-level file; an error lists every place tried.
    std::filesystem::path includedFile(const std::string& name, const Frame& frame, int line) {
        const std::filesystem::path written(name);
        std::vector<std::filesystem::path> tried{written};
        if (written.is_relative()) {
            tried = {std::filesystem::path(frame.file).parent_path() / written};
            const auto fromTop = std::filesystem::path(topFile_).parent_path() / written;
            if (fromTop.lexically_normal() != tried[0].lexically_normal()) tried.push_back(fromTop);
        }
        for (const auto& path : tried)
            if (readable(path)) return path;
        std::string places;
        for (const auto& path : tried) places += (places.empty() ? "" : ", ") + path.string();
        fail("No such file or directory: " + name + " (tried " + places + ")", frame.file, line);
    }

    const ExpandOptions& options_;
    std::map<std::string, std::string> args_ = options_.args;
    tinyxml2::XMLDocument output_{true, tinyxml2::PRESERVE_WHITESPACE};
    std::map<std::string, std::unique_ptr<tinyxml2::XMLDocument>> documents_;
    std::size_t macroCalls_ = 0;
    std::string topFile_;
    std::map<std::string, Macro> macros_;
    std::deque<Scope> scopes_;
    Evaluator evaluator_;
    std::deque<Property> properties_;
    Scope* global_ = nullptr;
    std::vector<SourceStep> chain_;
    std::set<std::string> including_;
    std::map<std::string, std::string> fileKeys_;
    std::vector<std::filesystem::path> filesRead_;
    std::set<std::string> filesSeen_;
    std::vector<SourceOrigin> origins_;
    std::vector<ExpansionMessage> messages_;
    // the line of the value being evaluated, for the messages it prints
    int line_ = 0;
    std::string prefix_;
};

}  // namespace

Expansion expandFile(const std::filesystem::path& file, const ExpandOptions& options) {
    return Expander(options).run(file, nullptr);
}

Expansion expandText(const std::string& text, const std::filesystem::path& file,
                     const ExpandOptions& options) {
    return Expander(options).run(file, &text);
}

}  // namespace corvane::xacro
