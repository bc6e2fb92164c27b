// SPDX-License-Identifier: MIT
// A C++ exception thrown in one of this build's programs is caught by its
// handler (on 32-bit Windows only the unwind tables' registration makes it).
#include <cstring>
#include <stdexcept>

int main()
{
    try {
        throw std::runtime_error("caught");
    } catch (const std::exception &e) {
        return std::strcmp(e.what(), "caught") == 0 ? 0 : 1;
    }
}
