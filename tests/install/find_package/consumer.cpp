// SPDX-License-Identifier: MIT
// The shared consumer, compiled as C++.
#include "../consumer.c"
