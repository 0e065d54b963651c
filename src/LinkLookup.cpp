#include "LinkLookup.hpp"

#include <algorithm>
#include <bit>
#include <functional>

namespace corvane::Plugins::Urdf {

namespace {
// Fewer than half the slots in use keeps the runs of occupied slots short.
std::size_t slotCountFor(std::size_t entries) {
    return std::bit_ceil(std::max<std::size_t>(2 * entries, 16));
}
}  // namespace

void LinkBodies::reset(std::size_t links) {
    slots_.assign(slotCountFor(links), Slot{});
    used_ = 0;
}

std::size_t LinkBodies::slotOf(const urdf::Link* link) const {
    // Heap addresses differ mostly in their middle bits: multiplying by a large odd constant
    // spreads those over the high bits, which pick the slot.
    const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(link));
    const std::uint64_t mixed = bits * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(mixed >> 32) & (slots_.size() - 1);
}

void LinkBodies::insert(const urdf::Link* link, VarAssignment* body) {
    if (!link) return;
    if (2 * (used_ + 1) > slots_.size()) {
        // More links than announced: grow, keeping what is recorded.
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(slotCountFor(used_ + 1), Slot{});
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.link) insert(slot.link, slot.body);
        }
    }
    for (std::size_t i = slotOf(link);; i = (i + 1) & (slots_.size() - 1)) {
        Slot& slot = slots_[i];
        if (slot.link == link) return;
        if (!slot.link) {
            slot = Slot{link, body};
            ++used_;
            return;
        }
    }
}

VarAssignment* LinkBodies::find(const urdf::Link* link) const {
    if (!link || slots_.empty()) return nullptr;
    for (std::size_t i = slotOf(link);; i = (i + 1) & (slots_.size() - 1)) {
        const Slot& slot = slots_[i];
        if (slot.link == link) return slot.body;
        if (!slot.link) return nullptr;
    }
}

void LinkBodies::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
}

void NameTable::reset(std::size_t names) {
    slots_.assign(slotCountFor(names), Slot{});
    used_ = 0;
}

std::size_t NameTable::slotOf(std::string_view name, std::size_t hash) const {
    for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
        const Slot& slot = slots_[i];
        if (!slot.used || (slot.hash == hash && slot.name == name)) return i;
    }
}

bool NameTable::insert(std::string_view name) {
    if (2 * (used_ + 1) > slots_.size()) {
        // More names than announced: grow, keeping what is recorded.
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(slotCountFor(used_ + 1), Slot{});
        for (const Slot& slot : old) {
            if (slot.used) slots_[slotOf(slot.name, slot.hash)] = slot;
        }
    }
    const std::size_t hash = std::hash<std::string_view>{}(name);
    Slot& slot = slots_[slotOf(name, hash)];
    if (slot.used) return false;
    slot = Slot{hash, name, true, false};
    ++used_;
    return true;
}

bool NameTable::contains(std::string_view name) const {
    if (slots_.empty()) return false;
    return slots_[slotOf(name, std::hash<std::string_view>{}(name))].used;
}

bool* NameTable::markOf(std::string_view name) {
    if (slots_.empty()) return nullptr;
    Slot& slot = slots_[slotOf(name, std::hash<std::string_view>{}(name))];
    return slot.used ? &slot.marked : nullptr;
}

void NameTable::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
}

}  // namespace corvane::Plugins::Urdf
