// Look-ups the import makes for every joint: the body made for a link, and whether some link has a
// given name. Both keep their entries in one flat array, so that a look-up in a robot of a
// hundred thousand links reads one or two adjacent places in memory instead of a bucket and then a
// node somewhere in the heap.
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

// The names of the links of one import, asked whether they hold a name.
class LinkNames {
  public:
    // Empties the set and makes room for `links` names.
    void reset(std::size_t links);
    // Adds a name, which must stay alive while the set is asked.
    void add(std::string_view name);
    // Readies the set for questions once every name is added.
    void seal();
    bool contains(std::string_view name) const;
    void clear();

  private:
    struct Entry {
        std::size_t hash;
        std::string_view name;
    };
    // Ordered by hash: a name is looked for only among the entries with its hash.
    std::vector<Entry> entries_;
};

}  // namespace corvane::Plugins::Urdf
