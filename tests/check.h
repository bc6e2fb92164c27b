/* SPDX-License-Identifier: MIT */
/* CHECK for the test hosts written in C: counts checks, reports a failed one
 * with its place, and CHECK_REPORT() prints the closing line and gives the
 * exit status. */
#ifndef KIVVM_TESTS_CHECK_H
#define KIVVM_TESTS_CHECK_H

#include <stdio.h>

static int check_failures = 0;
static int check_count = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        ++check_count;                                                               \
        if (!(cond)) {                                                               \
            ++check_failures;                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
        }                                                                            \
    } while (0)

#define CHECK_REPORT()                                                                \
    (printf("%d passed, %d failed\n", check_count - check_failures, check_failures), \
     check_failures == 0 ? 0 : 1)

#endif
