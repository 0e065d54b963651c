#include "Expression.hpp"

#include <algorithm>
#include <limits>

#include "Builtins.hpp"

namespace corvane::xacro {
namespace {

// Evaluating deeper than this (nested calls of lambdas included) is refused rather than
// overflowing the stack.
constexpr int maxDepth = 200;
// Items made by iterators, comprehensions and repetitions in one evaluation: a range over
// 10**9 items ends here, at once, not after a minute.
constexpr std::size_t maxItems = 1'000'000;
// Calls of lambdas in one evaluation, so that lambdas calling each other end.
constexpr std::size_t maxCalls = 100'000;
// Nodes evaluated in one evaluation: the last bound, for a long text evaluated for each of many
// items.
constexpr std::size_t maxSteps = 50'000'000;

// The names a lambda or a comprehension binds, in front of those of its maker.
struct Env {
    std::vector<std::pair<std::string, Value>> names;
    std::shared_ptr<Env> parent;
    bool comprehension = false;

    const Value* find(const std::string& name) const {
        for (const Env* env = this; env; env = env->parent.get())
            for (const auto& [key, value] : env->names)
                if (key == name) return &value;
        return nullptr;
    }
    void set(const std::string& name, Value value) {
        for (auto& [key, v] : names)
            if (key == name) {
                v = std::move(value);
                return;
            }
        names.emplace_back(name, std::move(value));
    }
};
using EnvPtr = std::shared_ptr<Env>;

class Evaluation;

class Lambda : public Callable {
  public:
    Lambda(std::shared_ptr<const Node> tree, const Node& node, EnvPtr closure, List defaults)
        : tree_(std::move(tree)),
          node_(node),
          closure_(std::move(closure)),
          defaults_(std::move(defaults)) {}
    Value call(Context& context, Arguments args) const override;
    std::string typeName() const override { return "function"; }
    std::string shown() const override { return "<function <lambda> at " + addressOf(this) + ">"; }

  private:
    std::shared_ptr<const Node> tree_;  // keeps node_ alive
    const Node& node_;
    EnvPtr closure_;
    List defaults_;
};

// A generator expression, and the loop of every comprehension: the clauses run as a state
// machine, one item at a time.
class Generator : public Iterator {
  public:
    Generator(std::shared_ptr<const Node> tree, const Node& node, EnvPtr env,
              std::shared_ptr<Iterator> first, bool drains = false)
        : tree_(std::move(tree)),
          node_(node),
          env_(std::move(env)),
          iterators_(node.clauses.size()),
          drains_(drains) {
        iterators_[0] = std::move(first);
    }
    std::optional<Value> next(Context& context) override;
    std::string typeName() const override { return "generator"; }
    // The next item's element nodes evaluated (for a dict comprehension, key and value).
    bool advance(Evaluation& evaluation);
    const EnvPtr& env() const { return env_; }

  private:
    std::optional<std::size_t> previousFor(std::size_t at) const {
        while (at-- > 0)
            if (node_.clauses[at].target) return at;
        return std::nullopt;
    }

    std::shared_ptr<const Node> tree_;
    const Node& node_;
    EnvPtr env_;
    std::vector<std::shared_ptr<Iterator>> iterators_;
    std::size_t at_ = 0;
    bool started_ = false;
    bool done_ = false;
    bool drains_;
};

class Evaluation : public Context {
  public:
    Evaluation(std::shared_ptr<const Node> tree, const NameLookup& lookup, const FunctionCall& call,
               std::set<std::string>* warned = nullptr)
        : tree_(std::move(tree)), lookup_(lookup), call_(call), warned_(warned) {}

    Value run() { return eval(*tree_, nullptr); }

    Value call(const Value& function, Arguments args) override {
        const auto* callable = std::get_if<std::shared_ptr<const Callable>>(&function.data);
        if (!callable) throw EvalError("'" + typeName(function) + "' object is not callable");
        step();
        const Deeper guard(depth_);
        return (*callable)->call(*this, std::move(args));
    }
    void countItems(std::size_t count) override {
        expectItems(count);
        items_ += count;
    }
    void expectItems(std::size_t count) override {
        if (count > maxItems || items_ + count > maxItems)
            throw EvalError("more than " + std::to_string(maxItems) +
                            " items made in one expression");
    }
    void countCall() {
        if (++calls_ > maxCalls)
            throw EvalError("more than " + std::to_string(maxCalls) +
                            " lambda calls in one expression");
    }
    std::optional<Value> callExpander(const std::string& name, const Arguments& args) override {
        if (!call_) return std::nullopt;
        return call_(name, args);
    }

    Value eval(const Node& node, const EnvPtr& env) {
        step();
        const Deeper guard(depth_);
        switch (node.kind) {
            case Node::Kind::Constant:
                return node.constant;
            case Node::Kind::Name:
                return name(node.text, env);
            case Node::Kind::Attribute:
                return attribute(node, env);
            case Node::Kind::Subscript:
                return subscript(eval(*node.children[0], env), eval(*node.children[1], env));
            case Node::Kind::Slice:
                return slice(node, env);
            case Node::Kind::Call:
                return callNode(node, env);
            case Node::Kind::Unary:
                return unary(node.text, eval(*node.children[0], env));
            case Node::Kind::Not:
                return Value{!truthOf(eval(*node.children[0], env))};
            case Node::Kind::Binary:
                return binary(*this, node.op, eval(*node.children[0], env),
                              eval(*node.children[1], env));
            case Node::Kind::And:
            case Node::Kind::Or:
                return boolean(node, env);
            case Node::Kind::Compare:
                return comparison(node, env);
            case Node::Kind::IfElse:
                return truthOf(eval(*node.children[1], env)) ? eval(*node.children[0], env)
                                                             : eval(*node.children[2], env);
            case Node::Kind::Lambda:
                return lambda(node, env);
            case Node::Kind::Named:
                return named(node, env);
            case Node::Kind::Starred:
            case Node::Kind::DoubleStarred:
                throw EvalError("can't use starred expression here");
            case Node::Kind::ListDisplay:
                return makeList(items(node, env));
            case Node::Kind::TupleDisplay:
                return makeTuple(items(node, env));
            case Node::Kind::SetDisplay:
                return setOf(items(node, env));
            case Node::Kind::DictDisplay:
                return dictDisplay(node, env);
            case Node::Kind::ListComp:
            case Node::Kind::SetComp:
            case Node::Kind::DictComp:
            case Node::Kind::Generator:
                return comprehension(node, env);
        }
        throw EvalError("invalid syntax");
    }

    // Binds TARGET (a name, or names in a tuple or list) to VALUE in ENV.
    void bind(const Node& target, const Value& value, Env& env) {
        if (target.kind == Node::Kind::Name) {
            if (target.text.starts_with("__"))
                throw EvalError("access to '" + target.text + "' is not allowed");
            env.set(target.text, value);
            return;
        }
        const List values = itemsOfIterable(*this, value);
        const auto star =
            std::find_if(target.children.begin(), target.children.end(),
                         [](const NodePtr& n) { return n->kind == Node::Kind::Starred; });
        const std::size_t count = target.children.size();
        if (star == target.children.end()) {
            if (values.size() != count)
                throw EvalError(
                    values.size() > count
                        ? "too many values to unpack (expected " + std::to_string(count) + ")"
                        : "not enough values to unpack (expected " + std::to_string(count) +
                              ", got " + std::to_string(values.size()) + ")");
            for (std::size_t i = 0; i < count; ++i) bind(*target.children[i], values[i], env);
            return;
        }
        const auto before = static_cast<std::size_t>(star - target.children.begin());
        const std::size_t after = count - before - 1;
        if (values.size() < before + after)
            throw EvalError("not enough values to unpack (expected at least " +
                            std::to_string(before + after) + ", got " +
                            std::to_string(values.size()) + ")");
        for (std::size_t i = 0; i < before; ++i) bind(*target.children[i], values[i], env);
        bind(*(*star)->children[0],
             makeList(List(values.begin() + static_cast<std::ptrdiff_t>(before),
                           values.end() - static_cast<std::ptrdiff_t>(after))),
             env);
        for (std::size_t i = 0; i < after; ++i)
            bind(*target.children[before + 1 + i], values[values.size() - after + i], env);
    }

    const std::shared_ptr<const Node>& tree() const { return tree_; }

  private:
    struct Deeper {
        explicit Deeper(int& depth) : depth_(depth) {
            if (++depth_ > maxDepth) {
                --depth_;
                throw EvalError("expression nested too deeply (maximum recursion depth exceeded)");
            }
        }
        ~Deeper() { --depth_; }
        Deeper(const Deeper&) = delete;
        Deeper& operator=(const Deeper&) = delete;
        int& depth_;
    };

    void step() {
        if (++steps_ > maxSteps)
            throw EvalError("expression takes more than " + std::to_string(maxSteps) + " steps");
    }

    std::optional<Value> findName(const std::string& text, const EnvPtr& env) {
        if (text.starts_with("__")) throw EvalError("access to '" + text + "' is not allowed");
        if (env)
            if (const Value* local = env->find(text)) return *local;
        if (auto property = lookup_(text)) return property;
        std::optional<Value> global = globalName(text);
        if (global && isDeprecatedGlobal(text)) warnDeprecated(text);
        return global;
    }

    // sorted and range without "python." still work, as with the reference, which warns; the
    // warning goes out through the expander's own xacro.warning.
    void warnDeprecated(const std::string& text) {
        if (!call_ || !warned_ || !warned_->insert(text).second) return;
        call_("xacro.warning",
              Arguments{{Value{"using '" + text +
                               "' without 'python.' is deprecated: write python." + text}},
                        {}});
    }

    Value name(const std::string& text, const EnvPtr& env) {
        if (auto value = findName(text, env)) return *value;
        throw EvalError("name '" + text + "' is not defined");
    }

    // a.b.c: when no name a is defined, a property named "a.b" (a namespaced include's) is
    // looked for, then "a.b.c".
    Value attribute(const Node& node, const EnvPtr& env) {
        std::vector<const Node*> chain;
        const Node* head = &node;
        while (head->kind == Node::Kind::Attribute) {
            chain.push_back(head);
            head = head->children[0].get();
        }
        if (head->kind != Node::Kind::Name) return attributeOf(eval(*head, env), node.text);
        std::reverse(chain.begin(), chain.end());
        std::optional<Value> value = findName(head->text, env);
        std::size_t next = 0;
        if (!value) {
            std::string dotted = head->text;
            for (; next < chain.size() && !value; ++next) {
                dotted += "." + chain[next]->text;
                value = lookup_(dotted);
            }
            if (!value) throw EvalError("name '" + head->text + "' is not defined");
        }
        for (; next < chain.size(); ++next) {
            step();
            value = attributeOf(*value, chain[next]->text);
        }
        return *value;
    }

    Value slice(const Node& node, const EnvPtr& env) {
        auto slice = std::make_shared<Slice>();
        if (node.children[0]) slice->start = eval(*node.children[0], env);
        if (node.children[1]) slice->stop = eval(*node.children[1], env);
        if (node.children[2]) slice->step = eval(*node.children[2], env);
        return Value{slice};
    }

    static std::int64_t clampedIndex(const Value& v) {
        if (std::holds_alternative<std::shared_ptr<const BigInt>>(v.data))
            return bigOf(v) < 0 ? std::numeric_limits<std::int64_t>::min() / 2
                                : std::numeric_limits<std::int64_t>::max() / 2;
        if (!isInt(v))
            throw EvalError("slice indices must be integers or None or have an __index__ method");
        return std::clamp<std::int64_t>(asInt(v), std::numeric_limits<std::int64_t>::min() / 2,
                                        std::numeric_limits<std::int64_t>::max() / 2);
    }

    // start, step and count of a slice over LENGTH items, as Python adjusts them.
    static std::tuple<std::int64_t, std::int64_t, std::int64_t> sliceIndices(const Slice& s,
                                                                             std::int64_t length) {
        const bool noStep = std::holds_alternative<None>(s.step.data);
        const std::int64_t step = noStep ? 1 : clampedIndex(s.step);
        if (step == 0) throw EvalError("slice step cannot be zero");
        const auto adjust = [&](const Value& v, std::int64_t fallback) {
            if (std::holds_alternative<None>(v.data)) return fallback;
            std::int64_t i = clampedIndex(v);
            if (i < 0) {
                i += length;
                if (i < 0) i = step < 0 ? -1 : 0;
            } else if (i >= length) {
                i = step < 0 ? length - 1 : length;
            }
            return i;
        };
        const std::int64_t start = adjust(s.start, step < 0 ? length - 1 : 0);
        const std::int64_t stop = adjust(s.stop, step < 0 ? -1 : length);
        std::int64_t count = 0;
        if (step < 0 ? stop < start : start < stop)
            count = step < 0 ? (start - stop - 1) / -step + 1 : (stop - start - 1) / step + 1;
        return {start, step, count};
    }

    static std::int64_t itemIndex(const Value& index, std::int64_t size, const std::string& type) {
        if (!isInt(index))
            throw EvalError(type + " indices must be integers or slices, not " + typeName(index));
        if (std::holds_alternative<std::shared_ptr<const BigInt>>(index.data))
            throw EvalError(type + " index out of range");
        std::int64_t i = asInt(index);
        if (i < 0) i += size;
        if (i < 0 || i >= size) throw EvalError(type + " index out of range");
        return i;
    }

    Value subscript(const Value& value, const Value& index) {
        if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data)) {
            requireHashable(index);
            for (const auto& [k, v] : (*d)->items)
                if (identical(k, index) || equalValues(k, index)) return v;
            throw EvalError("KeyError: " + reprOf(index));
        }
        const auto* s = std::get_if<std::string>(&value.data);
        const List* items = nullptr;
        if (const auto* l = std::get_if<std::shared_ptr<List>>(&value.data)) items = l->get();
        if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data)) items = &(*t)->items;
        const auto* r = std::get_if<Range>(&value.data);
        if (!s && !items && !r) {
            if (const auto* f = std::get_if<std::shared_ptr<const Callable>>(&value.data);
                f && (*f)->typeName() == "type")
                throw EvalError("generic aliases such as " + (*f)->shown() +
                                "[...] are not supported");
            throw EvalError("'" + typeName(value) + "' object is not subscriptable");
        }
        const std::int64_t size = s       ? static_cast<std::int64_t>(s->size())
                                  : items ? static_cast<std::int64_t>(items->size())
                                          : r->size();
        const std::string type = typeName(value) == "range" ? "range object" : typeName(value);
        if (const auto* sl = std::get_if<std::shared_ptr<Slice>>(&index.data)) {
            const auto [start, step, count] = sliceIndices(**sl, size);
            if (r) return Value{Range{r->at(start), r->at(start + step * count), r->step * step}};
            countItems(static_cast<std::size_t>(count));
            if (s) {
                std::string out;
                for (std::int64_t i = 0; i < count; ++i)
                    out += (*s)[static_cast<std::size_t>(start + i * step)];
                return Value{out};
            }
            List part;
            part.reserve(static_cast<std::size_t>(count));
            for (std::int64_t i = 0; i < count; ++i)
                part.push_back((*items)[static_cast<std::size_t>(start + i * step)]);
            if (std::holds_alternative<std::shared_ptr<Tuple>>(value.data))
                return makeTuple(std::move(part));
            return makeList(std::move(part));
        }
        const std::int64_t i = itemIndex(index, size, type);
        if (s) return Value{std::string(1, (*s)[static_cast<std::size_t>(i)])};
        if (r) return Value{r->at(i)};
        return (*items)[static_cast<std::size_t>(i)];
    }

    Arguments arguments(const Node& node, const EnvPtr& env) {
        Arguments args;
        const auto keyword = [&](std::string key, Value value) {
            for (const auto& [k, v] : args.keywords)
                if (k == key) throw EvalError("keyword argument repeated: " + key);
            args.keywords.emplace_back(std::move(key), std::move(value));
        };
        for (std::size_t i = 1; i < node.children.size(); ++i) {
            const std::string& label = node.labels[i];
            Value value = eval(*node.children[i], env);
            if (label.empty()) {
                args.positional.push_back(std::move(value));
            } else if (label == "*") {
                for (Value& item : itemsOfIterable(*this, value))
                    args.positional.push_back(std::move(item));
            } else if (label == "**") {
                const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data);
                if (!d)
                    throw EvalError("argument after ** must be a mapping, not " + typeName(value));
                for (const auto& [k, v] : (*d)->items) {
                    const auto* key = std::get_if<std::string>(&k.data);
                    if (!key) throw EvalError("keywords must be strings");
                    keyword(*key, v);
                }
            } else {
                keyword(label, std::move(value));
            }
        }
        return args;
    }

    Value callNode(const Node& node, const EnvPtr& env) {
        const Value callee = eval(*node.children[0], env);
        return call(callee, arguments(node, env));
    }

    Value boolean(const Node& node, const EnvPtr& env) {
        const bool isAnd = node.kind == Node::Kind::And;
        Value value;
        for (const NodePtr& part : node.children) {
            value = eval(*part, env);
            if (truthOf(value) != isAnd) return value;
        }
        return value;
    }

    // a < b <= c: each operand evaluated once, and no further than the first false comparison.
    Value comparison(const Node& node, const EnvPtr& env) {
        Value left = eval(*node.children[0], env);
        for (std::size_t i = 0; i < node.compares.size(); ++i) {
            Value right = eval(*node.children[i + 1], env);
            if (!compare(*this, node.compares[i], left, right)) return Value{false};
            left = std::move(right);
        }
        return Value{true};
    }

    Value lambda(const Node& node, const EnvPtr& env) {
        for (const std::string& param : node.labels)
            if (param.find("__") == param.find_first_not_of('*'))
                throw EvalError("access to '" + param + "' is not allowed");
        List defaults;
        for (std::size_t i = 1; i < node.children.size(); ++i)
            defaults.push_back(eval(*node.children[i], env));
        return Value{std::make_shared<const Lambda>(tree_, node, env, std::move(defaults))};
    }

    Value named(const Node& node, const EnvPtr& env) {
        Value value = eval(*node.children[0], env);
        if (node.text.starts_with("__"))
            throw EvalError("access to '" + node.text + "' is not allowed");
        Env* target = env.get();
        while (target && target->comprehension) target = target->parent.get();
        if (!target)
            throw EvalError(
                "assignment expressions are only allowed inside a lambda or a comprehension");
        target->set(node.text, value);
        return value;
    }

    List items(const Node& node, const EnvPtr& env) {
        List out;
        for (const NodePtr& child : node.children) {
            if (child->kind == Node::Kind::Starred) {
                for (Value& item : itemsOfIterable(*this, eval(*child->children[0], env)))
                    out.push_back(std::move(item));
            } else {
                out.push_back(eval(*child, env));
            }
        }
        countItems(out.size());
        return out;
    }

    static Value setOf(const List& values) {
        auto set = std::make_shared<Set>();
        for (const Value& v : values) {
            requireHashable(v);
            if (std::none_of(set->items.begin(), set->items.end(),
                             [&](const Value& w) { return equalValues(v, w); }))
                set->items.push_back(v);
        }
        return Value{set};
    }

    static void setItem(Dict& dict, Value key, Value value) {
        requireHashable(key);
        for (auto& [k, v] : dict.items)
            if (identical(k, key) || equalValues(k, key)) {
                v = std::move(value);
                return;
            }
        dict.items.emplace_back(std::move(key), std::move(value));
    }

    Value dictDisplay(const Node& node, const EnvPtr& env) {
        auto dict = std::make_shared<Dict>();
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            const Node& key = *node.children[i];
            if (key.kind == Node::Kind::DoubleStarred) {
                const Value from = eval(*key.children[0], env);
                const auto* d = std::get_if<std::shared_ptr<Dict>>(&from.data);
                if (!d) throw EvalError("'" + typeName(from) + "' object is not a mapping");
                for (const auto& [k, v] : (*d)->items) setItem(*dict, k, v);
                continue;
            }
            Value k = eval(key, env);
            setItem(*dict, std::move(k), eval(*node.children[++i], env));
        }
        countItems(dict->items.size());
        return Value{dict};
    }

    Value comprehension(const Node& node, const EnvPtr& env) {
        // the first iterable is evaluated where the comprehension is written, the rest inside it
        const Value first = eval(*node.clauses[0].expr, env);
        // a list, set or dict comprehension goes through every item; a generator may stop early
        const bool drains = node.kind != Node::Kind::Generator;
        if (drains) expectAllItems(*this, first);
        auto inner = std::make_shared<Env>();
        inner->parent = env;
        inner->comprehension = true;
        auto generator = std::make_shared<Generator>(tree_, node, inner, iteratorOf(first), drains);
        if (node.kind == Node::Kind::Generator) return Value{generator};
        if (node.kind == Node::Kind::DictComp) {
            auto dict = std::make_shared<Dict>();
            while (generator->advance(*this)) {
                Value key = eval(*node.children[0], inner);
                setItem(*dict, std::move(key), eval(*node.children[1], inner));
                countItems(1);
            }
            return Value{dict};
        }
        List out;
        while (std::optional<Value> item = generator->next(*this)) out.push_back(std::move(*item));
        return node.kind == Node::Kind::SetComp ? setOf(out) : makeList(std::move(out));
    }

    std::shared_ptr<const Node> tree_;
    const NameLookup& lookup_;
    const FunctionCall& call_;
    std::set<std::string>* warned_;
    std::size_t items_ = 0;
    std::size_t calls_ = 0;
    std::size_t steps_ = 0;
    int depth_ = 0;
};

Evaluation& evaluationOf(Context& context) {
    auto* evaluation = dynamic_cast<Evaluation*>(&context);
    if (!evaluation) throw EvalError("a lambda or generator used outside an expression");
    return *evaluation;
}

Value Lambda::call(Context& context, Arguments args) const {
    Evaluation& evaluation = evaluationOf(context);
    evaluation.countCall();
    auto env = std::make_shared<Env>();
    env->parent = closure_;
    const std::vector<std::string>& params = node_.labels;
    std::size_t plain = 0;
    while (plain < params.size() && !params[plain].starts_with("*")) ++plain;
    const bool varArgs =
        plain < params.size() && params[plain].starts_with("*") && !params[plain].starts_with("**");
    const bool varKeywords = !params.empty() && params.back().starts_with("**");
    if (args.positional.size() > plain && !varArgs)
        throw EvalError("<lambda>() takes " + std::to_string(plain) + " positional arguments but " +
                        std::to_string(args.positional.size()) + " were given");
    std::vector<bool> given(plain, false);
    for (std::size_t i = 0; i < std::min(plain, args.positional.size()); ++i) {
        env->set(params[i], args.positional[i]);
        given[i] = true;
    }
    if (varArgs)
        env->set(params[plain].substr(1),
                 makeTuple(args.positional.size() > plain
                               ? List(args.positional.begin() + static_cast<std::ptrdiff_t>(plain),
                                      args.positional.end())
                               : List{}));
    auto extra = std::make_shared<Dict>();
    for (auto& [key, value] : args.keywords) {
        const auto found =
            std::find(params.begin(), params.begin() + static_cast<std::ptrdiff_t>(plain), key);
        if (found == params.begin() + static_cast<std::ptrdiff_t>(plain)) {
            if (!varKeywords)
                throw EvalError("<lambda>() got an unexpected keyword argument '" + key + "'");
            extra->items.emplace_back(Value{key}, value);
            continue;
        }
        const auto i = static_cast<std::size_t>(found - params.begin());
        if (given[i]) throw EvalError("<lambda>() got multiple values for argument '" + key + "'");
        env->set(key, value);
        given[i] = true;
    }
    if (varKeywords) env->set(params.back().substr(2), Value{extra});
    const std::size_t firstDefault = plain - defaults_.size();
    for (std::size_t i = 0; i < plain; ++i) {
        if (given[i]) continue;
        if (i < firstDefault)
            throw EvalError("<lambda>() missing required argument: '" + params[i] + "'");
        env->set(params[i], defaults_[i - firstDefault]);
    }
    return evaluation.eval(*node_.children[0], env);
}

bool Generator::advance(Evaluation& evaluation) {
    if (done_) return false;
    if (started_) {
        at_ = *previousFor(node_.clauses.size());
    } else {
        started_ = true;
        at_ = 0;
    }
    while (at_ < node_.clauses.size()) {
        const Clause& clause = node_.clauses[at_];
        if (clause.target) {
            if (!iterators_[at_]) {
                const Value items = evaluation.eval(*clause.expr, env_);
                if (drains_) expectAllItems(evaluation, items);
                iterators_[at_] = iteratorOf(items);
            }
            std::optional<Value> item = iterators_[at_]->next(evaluation);
            if (!item) {
                iterators_[at_].reset();
                const std::optional<std::size_t> back = previousFor(at_);
                if (!back) {
                    done_ = true;
                    return false;
                }
                at_ = *back;
                continue;
            }
            evaluation.bind(*clause.target, *item, *env_);
            ++at_;
        } else if (truthOf(evaluation.eval(*clause.expr, env_))) {
            ++at_;
        } else {
            at_ = *previousFor(at_);
        }
    }
    return true;
}

std::optional<Value> Generator::next(Context& context) {
    Evaluation& evaluation = evaluationOf(context);
    if (!advance(evaluation)) return std::nullopt;
    context.countItems();
    return evaluation.eval(*node_.children[0], env_);
}

}  // namespace

Value Evaluator::evaluate(const std::string& expression, const NameLookup& lookup,
                          const FunctionCall& call) {
    auto found = trees_.find(expression);
    if (found == trees_.end()) {
        // a file with more distinct expressions than this is no robot; the cache starts again
        if (trees_.size() > 100'000) trees_.clear();
        found = trees_.emplace(expression, std::shared_ptr<const Node>(parseExpression(expression)))
                    .first;
    }
    return Evaluation(found->second, lookup, call, &warned_).run();
}

Value evaluate(const std::string& expression, const NameLookup& lookup, const FunctionCall& call) {
    return Evaluation(std::shared_ptr<const Node>(parseExpression(expression)), lookup, call).run();
}

}  // namespace corvane::xacro
