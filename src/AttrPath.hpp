// The target of an attribute assignment as the mapping builds it, without copying its pieces.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <corvane/Builders.hpp>
#include <corvane/Syntax.hpp>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::Plugins::Urdf {

// An attribute target: at most one name from the robot description, kept whole as one segment
// even when it contains ".", followed by a dotted attribute path that is split at ".". The path is
// held as the pieces it is made of (such as "local_transform", ".position" and ".x"), viewed, not
// copied: a path lives only while its assignment is made, and its pieces are joined only when the
// target's tokens are made.
class AttrPath {
  public:
    // Paths are short: they are joined on the stack unless one is not.
    static constexpr std::size_t kShortPath = 128;

    static AttrPath plain(std::string_view path) { return AttrPath({}, false, path); }
    static AttrPath named(std::string_view name, std::string_view path) {
        return AttrPath(name, true, path);
    }

    AttrPath with(std::string_view suffix) const {
        AttrPath longer = *this;
        assert(longer.partCount_ < longer.parts_.size());
        longer.parts_[longer.partCount_++] = suffix;
        return longer;
    }

    // The identifier tokens of the target: the name, then the pieces of the path between dots,
    // empty pieces included, exactly as splitting the joined path at "." gives them.
    std::vector<Token> tokens() const {
        std::array<char, kShortPath> buffer;
        std::string longPath;
        return NodeBuilder::dottedIdentifiers(joined(buffer, longPath),
                                              named_ ? std::optional(name_) : std::nullopt);
    }

    // Whether the target starts with a name from the robot description. Targets without one are
    // the plugin's fixed attribute paths, which recur in every body.
    bool isNamed() const { return named_; }

    // The parts joined, in `buffer` when they fit, else in `longPath`.
    std::string_view joined(std::array<char, kShortPath>& buffer, std::string& longPath) const {
        std::size_t length = 0;
        for (const std::string_view part : parts()) length += part.size();
        if (length > buffer.size()) {
            for (const std::string_view part : parts()) longPath.append(part);
            return longPath;
        }
        char* end = buffer.data();
        for (const std::string_view part : parts()) end = std::copy(part.begin(), part.end(), end);
        return {buffer.data(), length};
    }

  private:
    AttrPath(std::string_view name, bool named, std::string_view path)
        : name_(name), named_(named), parts_{path}, partCount_(1) {}

    std::span<const std::string_view> parts() const { return {parts_.data(), partCount_}; }

    std::string_view name_;
    bool named_;
    // A prefix and up to three suffixes, e.g. "kinematics.local_cm_transform", ".position", ".x".
    std::array<std::string_view, 4> parts_;
    std::size_t partCount_;
};

}  // namespace corvane::Plugins::Urdf
