// SPDX-License-Identifier: MIT
// Running out of memory while a setup path list is built: each allocation
// fails in turn, and every time the call must return 0 with null stored,
// without an exception and without leaking what it had already allocated.
//
// This program replaces the array allocation functions; it exports them, so
// the library it loads allocates through them too.
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "loaded_library.h"
#include "setup_paths.h"

namespace {

// Only allocations made while armed are counted or failed, so that the test
// framework's own allocations stay out of the way.
std::atomic<bool> armed{false};
std::atomic<int> allocations{0};
std::atomic<int> outstanding{0};
std::atomic<int> fail_at{-1};  // index of the armed allocation that fails

void *allocate(std::size_t size) noexcept
{
    if (!armed.load()) {
        return std::malloc(size == 0 ? 1 : size);
    }
    if (allocations.fetch_add(1) == fail_at.load()) {
        return nullptr;
    }
    ++outstanding;
    return std::malloc(size == 0 ? 1 : size);
}

void release(void *p) noexcept
{
    if (p != nullptr && armed.load()) {
        --outstanding;
    }
    std::free(p);
}

}  // namespace

void *operator new[](std::size_t size)
{
    void *p = allocate(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void operator delete[](void *p) noexcept { release(p); }
void operator delete[](void *p, std::size_t) noexcept { release(p); }

namespace {

// Calls get with the allocation at index `failing` made to fail (-1: none),
// and checks the outcome: a failed call returns 0 and stores null.  Returns
// the list's paths, empty when it failed.
template <typename Get, typename Free>
std::vector<std::string> call_failing(int failing, Get get, Free free_list)
{
    char *sentinel[1] = {nullptr};
    char **list = sentinel;
    allocations = 0;
    outstanding = 0;
    fail_at = failing;
    armed = true;
    const int count = get(&list);
    std::vector<std::string> paths;
    if (list != nullptr) {
        paths.assign(list, list + count);
    }
    free_list(list, count);
    armed = false;
    if (failing >= 0 && failing < allocations.load()) {
        EXPECT_EQ(count, 0) << "allocation " << failing << " failed";
    }
    if (count == 0) {
        EXPECT_EQ(list, nullptr) << "allocation " << failing;
    }
    EXPECT_EQ(outstanding.load(), 0) << "leaked with allocation " << failing << " failing";
    return paths;
}

// How many allocations the call makes, each of which was failed once.
template <typename Get, typename Free>
int fail_each_allocation_in_turn(Get get, Free free_list, const std::vector<std::string> &expected)
{
    EXPECT_EQ(call_failing(-1, get, free_list), expected);
    const int total = allocations.load();
    for (int failing = 0; failing < total; ++failing) {
        EXPECT_TRUE(call_failing(failing, get, free_list).empty()) << "allocation " << failing;
    }
    return total;
}

TEST(AllocationFailure, SplittingSeveralPaths)
{
    const auto split = [](char ***out) { return kivvm::split_setup_paths("one:two::four", out); };
    const int total = fail_each_allocation_in_turn(split, kivvm::free_setup_paths,
                                                   {"four", "", "two", "one"});
    EXPECT_EQ(total, 5) << "the array and one buffer per path";
}

using ExportedAllocationFailure = FreshLibrary;

TEST_F(ExportedAllocationFailure, SetupPathsOfTheSelectedVariant)
{
    ASSERT_EQ(kivvm.KIVVMInit("farunbastion"), 1);
    const int total = fail_each_allocation_in_turn(kivvm.KIVVMGetSetupPaths, kivvm.KIVVMFreeSetupPaths,
                                                   {"kiv"});
    EXPECT_EQ(total, 2) << "the array and one buffer";
}

}  // namespace
