// SPDX-License-Identifier: MIT
// The settled queries the benchmarks measure, by name, and their floors:
// exported calls in another shared library (floor.c).
#ifndef KIVVM_BENCH_QUERIES_H
#define KIVVM_BENCH_QUERIES_H

#include "kivvariantmanager.h"

extern "C" int kivvm_floor_int(void);
extern "C" const char *kivvm_floor_string(void);
extern "C" int kivvm_floor_with_argument(const char *argument);

template <typename Result>
struct Query {
    const char *name;
    Result (*call)();
};

inline const Query<int> kIntegerQueries[] = {
    {"KIVVMGetToolID", KIVVMGetToolID},
    {"KIVVMGetSubToolID", KIVVMGetSubToolID},
};

inline const Query<const char *> kStringQueries[] = {
    {"KIVVMGetToolName", KIVVMGetToolName},
    {"KIVVMGetSubToolName", KIVVMGetSubToolName},
    {"KIVVMGetToolExpandedName", KIVVMGetToolExpandedName},
    {"KIVVMGetRHOSetupLocation", KIVVMGetRHOSetupLocation},
    {"KIVVMGetZEFSectionName", KIVVMGetZEFSectionName},
    {"KIVVMGetMenuFile", KIVVMGetMenuFile},
    {"KIVVMGetTooBarFile", KIVVMGetTooBarFile},
    {"KIVVMGetSplashScreenName", KIVVMGetSplashScreenName},
    {"KIVVMGetHelpFileTagFile", KIVVMGetHelpFileTagFile},
};

#endif
