// The XML parser under urdfdom takes a UTF-8 lead byte together with the bytes it announces, even
// when the text ends first, and reads on past the end of the buffer. This program places the text
// it imports right before an inaccessible page, so that any read past its end crashes the test.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <new>
#include <string>

#include "TestSupport.hpp"

namespace {

// Allocations placed before a guard page while `guardNextAllocations` is set, so that operator
// delete can tell them from ordinary ones.
struct GuardedBlock {
    void* data = nullptr;
    char* mapping = nullptr;
    std::size_t mappedBytes = 0;
};
bool guardNextAllocations = false;
std::array<GuardedBlock, 16> guardedBlocks;

void* allocateBeforeGuardPage(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t mappedBytes = (bytes + page - 1) / page * page + page;
    void* mapping =
        mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    char* const guard = static_cast<char*>(mapping) + mappedBytes - page;
    if (mprotect(guard, page, PROT_NONE) != 0) throw std::bad_alloc();
    for (auto& block : guardedBlocks) {
        if (block.data == nullptr) {
            block = {guard - bytes, static_cast<char*>(mapping), mappedBytes};
            return block.data;
        }
    }
    throw std::bad_alloc();
}

bool releaseGuarded(void* data) {
    for (auto& block : guardedBlocks) {
        if (block.data == data && data != nullptr) {
            munmap(block.mapping, block.mappedBytes);
            block = {};
            return true;
        }
    }
    return false;
}

// A string whose terminating NUL is the last readable byte before a guard page.
std::string atEndOfPage(const std::string& text) {
    guardNextAllocations = true;
    std::string placed;
    placed.reserve(text.size());
    guardNextAllocations = false;
    placed = text;
    return placed;
}

std::string padded(const std::string& head, const std::string& tail) {
    return head + std::string(4096, ' ') + tail;
}

}  // namespace

void* operator new(std::size_t bytes) {
    if (guardNextAllocations) return allocateBeforeGuardPage(bytes);
    if (void* data = std::malloc(bytes == 0 ? 1 : bytes)) return data;
    throw std::bad_alloc();
}

void operator delete(void* data) noexcept {
    if (!releaseGuarded(data)) std::free(data);
}

void operator delete(void* data, std::size_t) noexcept {
    operator delete(data);
}

TEST(TextEnd, LeadByteAtTheEndOfCharacterDataIsNotReadPast) {
    const std::string text =
        atEndOfPage(padded("<?xml version=\"1.0\"?><robot name=\"r\"><link name=\"a\"/>", "\xF0"));
    EXPECT_FALSE(corvane::testing::importUrdf(text));
}

TEST(TextEnd, LeadByteAtTheEndOfAnAttributeValueIsNotReadPast) {
    const std::string text = atEndOfPage(padded("<?xml version=\"1.0\"?><robot name=\"", "\xE0"));
    EXPECT_FALSE(corvane::testing::importUrdf(text));
}

// A lead byte a few bytes before the end announces bytes past the terminating NUL too, although
// the text ends in ASCII: such a text must not be read in place.
TEST(TextEnd, LeadByteShortlyBeforeTheEndIsNotReadPast) {
    for (const char* tail : {"\xF0>",
                             "\xF0"
                             "a\n",
                             "\xE0>\n", "\xF4<a>"}) {
        const std::string text = atEndOfPage(
            padded("<?xml version=\"1.0\"?><robot name=\"r\"><link name=\"a\"/>", tail));
        EXPECT_FALSE(corvane::testing::importUrdf(text)) << "tail " << tail;
    }
}

// The usual text, ending in ASCII, is read where it stands, right up to its terminating NUL.
TEST(TextEnd, CompleteDocumentAtTheEndOfAPageImports) {
    const std::string text = atEndOfPage(
        padded("<?xml version=\"1.0\"?>", "<robot name=\"r\"><link name=\"a\"/></robot>"));
    EXPECT_TRUE(corvane::testing::importUrdf(text));
}
