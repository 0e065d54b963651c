#include "Glob.hpp"

#include <algorithm>
#include <optional>
#include <system_error>

namespace corvane::xacro {

namespace {

// The characters of UTF-8 TEXT; a byte that starts no valid sequence stands for itself.
std::u32string charactersOf(std::string_view text) {
    std::u32string characters;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : lead >> 5 == 0x6  ? 2
                                   : lead >> 4 == 0xE  ? 3
                                   : lead >> 3 == 0x1E ? 4
                                                       : 1;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = next >> 6 == 0x2;
            c = (c << 6) | (next & 0x3F);
        }
        characters.push_back(valid ? c : lead);
        i += valid ? length : 1;
    }
    return characters;
}

// One bracket expression: its ranges (a single character is a range of one), negated or not.
struct CharacterSet {
    std::vector<std::pair<char32_t, char32_t>> ranges;
    bool negated = false;
    bool matches(char32_t c) const {
        const bool in = std::any_of(ranges.begin(), ranges.end(),
                                    [c](const auto& r) { return r.first <= c && c <= r.second; });
        return in != negated;
    }
};

// The set written between '[' and ']', read as fnmatch reads it: a dash joins the characters
// beside it into a range, except one right after "[" or "[!" or right after a range; a dash
// before ']' is itself; a range running backwards (z-a) matches nothing.
CharacterSet characterSet(std::u32string_view body) {
    // the pieces between the dashes that make ranges, the last character of one and the first
    // of the next being a range's ends
    std::vector<std::u32string> chunks;
    std::size_t start = 0;
    for (std::size_t k = body.starts_with(U'!') ? 2 : 1; k < body.size();) {
        const std::size_t dash = body.find(U'-', k);
        if (dash == std::u32string_view::npos) break;
        chunks.emplace_back(body.substr(start, dash - start));
        start = dash + 1;
        k = dash + 3;
    }
    if (start < body.size())
        chunks.emplace_back(body.substr(start));
    else
        chunks.back() += U'-';
    CharacterSet set;
    if (chunks[0].starts_with(U'!')) {
        set.negated = true;
        chunks[0].erase(0, 1);
    }
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        const std::u32string& chunk = chunks[k];
        for (std::size_t c = k > 0 ? 1 : 0; c < chunk.size(); ++c) {
            if (c + 1 == chunk.size() && k + 1 < chunks.size())
                set.ranges.emplace_back(chunk[c], chunks[k + 1].front());
            else
                set.ranges.emplace_back(chunk[c], chunk[c]);
        }
    }
    return set;
}

// A pattern as a sequence of one-character tests and stars.
struct PatternItem {
    enum class Kind { Star, Any, Literal, Set } kind = Kind::Literal;
    char32_t literal = 0;
    CharacterSet set;
    bool matches(char32_t c) const {
        return kind == Kind::Any || (kind == Kind::Literal && c == literal) ||
               (kind == Kind::Set && set.matches(c));
    }
};

std::vector<PatternItem> patternItems(const std::u32string& pattern) {
    std::vector<PatternItem> items;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char32_t c = pattern[i];
        if (c == U'*') {
            if (items.empty() || items.back().kind != PatternItem::Kind::Star)
                items.push_back({PatternItem::Kind::Star, 0, {}});
            continue;
        }
        if (c == U'?') {
            items.push_back({PatternItem::Kind::Any, 0, {}});
            continue;
        }
        if (c == U'[') {
            std::size_t j = i + 1;
            if (j < pattern.size() && pattern[j] == U'!') ++j;
            if (j < pattern.size() && pattern[j] == U']') ++j;
            while (j < pattern.size() && pattern[j] != U']') ++j;
            if (j < pattern.size()) {
                items.push_back(
                    {PatternItem::Kind::Set, 0,
                     characterSet(std::u32string_view(pattern).substr(i + 1, j - i - 1))});
                i = j;
                continue;
            }
        }
        items.push_back({PatternItem::Kind::Literal, c, {}});
    }
    return items;
}

// Lists the names in FOLDER ("" for the current folder), folders only when asked.
std::vector<std::string> entriesOf(const std::string& folder, bool foldersOnly) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entry(folder.empty() ? "." : folder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        std::error_code kindError;
        if (foldersOnly && !entry->is_directory(kindError)) continue;
        names.push_back(entry->path().filename().string());
    }
    return names;
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

bool hasPatternCharacters(std::string_view text) {
    return text.find_first_of("*?[") != std::string_view::npos;
}

bool matchesPattern(std::string_view pattern, std::string_view name) {
    const std::vector<PatternItem> items = patternItems(charactersOf(pattern));
    const std::u32string text = charactersOf(name);
    // each item but a star takes one character: going back to the last star seen is enough
    std::size_t m = 0, n = 0;
    std::optional<std::size_t> starAt;
    std::size_t resumeAt = 0;
    while (n < text.size()) {
        if (m < items.size() && items[m].kind == PatternItem::Kind::Star) {
            starAt = m++;
            resumeAt = n;
        } else if (m < items.size() && items[m].matches(text[n])) {
            ++m;
            ++n;
        } else if (starAt) {
            m = *starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (m < items.size() && items[m].kind == PatternItem::Kind::Star) ++m;
    return m == items.size();
}

std::vector<std::string> globMatches(const std::filesystem::path& folder,
                                     const std::string& pattern) {
    std::vector<std::string> parts;
    for (std::size_t from = 0; from <= pattern.size();) {
        const auto slash = std::min(pattern.find('/', from), pattern.size());
        if (slash > from) parts.push_back(pattern.substr(from, slash - from));
        from = slash + 1;
    }
    std::vector<std::string> found{pattern.starts_with('/') ? "/" : folder.string()};
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::string& part = parts[p];
        const bool lastPart = p + 1 == parts.size();
        std::vector<std::string> next;
        for (const std::string& place : found) {
            if (!hasPatternCharacters(part)) {
                std::error_code error;
                const std::string path = joined(place, part);
                if (!lastPart ||
                    std::filesystem::exists(std::filesystem::symlink_status(path, error)))
                    next.push_back(path);
                continue;
            }
            for (const std::string& name : entriesOf(place, !lastPart))
                if ((part.starts_with('.') || !name.starts_with('.')) && matchesPattern(part, name))
                    next.push_back(joined(place, name));
        }
        found = std::move(next);
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace corvane::xacro
