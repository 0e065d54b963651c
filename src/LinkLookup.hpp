// Look-ups made once per joint or link of large robots: the body made for a link, and whether a
// name is among a set of link or joint names. Both keep their entries in one flat array, so that a
// look-up in a robot of a hundred thousand links reads one or two adjacent places in memory
// instead of a bucket and then a node somewhere in the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace urdf {
class Link;
}

namespace corvane {
class VarAssignment;
}

namespace corvane::Plugins::Urdf {

// The body made for each link of one import, found by the link.
class LinkBodies {
  public:
    // Empties the table and makes room for `links` links.
    void reset(std::size_t links);
    // Records `body` for `link`; a link recorded before keeps its first body.
    void insert(const urdf::Link* link, VarAssignment* body);
    // The body recorded for `link`, or null.
    VarAssignment* find(const urdf::Link* link) const;
    void clear();

  private:
    struct Slot {
        const urdf::Link* link = nullptr;
        VarAssignment* body = nullptr;
    };
    std::size_t slotOf(const urdf::Link* link) const;

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// A set of names, each with a mark for the caller's use (unset when the name is added): the names
// of the links of one import, asked whether a joint shares a link's name, and the link names of a
// large description while its tree is checked. Names are views, which must stay alive while the
// table is used.
class NameTable {
  public:
    // Empties the table and makes room for `names` names.
    void reset(std::size_t names);
    // Adds a name; false when the table holds it already.
    bool insert(std::string_view name);
    bool contains(std::string_view name) const;
    // The mark of `name`, or null when the table does not hold it.
    bool* markOf(std::string_view name);
    void clear();

  private:
    struct Slot {
        std::size_t hash = 0;
        std::string_view name;
        bool used = false;
        bool marked = false;
    };
    // The slot holding `name`, or the empty slot where it would go.
    std::size_t slotOf(std::string_view name, std::size_t hash) const;

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace corvane::Plugins::Urdf
