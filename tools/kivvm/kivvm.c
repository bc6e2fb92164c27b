/* SPDX-License-Identifier: MIT */
/*
 * kivvm - show what kivvariantmanager answers for an identifying string.
 *
 * Uses the library the way a host does: KIVVMInit first, then every query,
 * and the setup path list released with KIVVMFreeSetupPaths.
 */
#include <stdio.h>
#include <string.h>

#include "kivvariantmanager.h"

enum { EXIT_SELECTED = 0, EXIT_NO_MATCH = 1, EXIT_USAGE = 2 };

static const char usage[] =
    "usage: kivvm [--json] IDENTITY\n"
    "\n"
    "Selects the variant whose key occurs in IDENTITY and prints its identity,\n"
    "derived names and setup paths.\n"
    "\n"
    "  --json    print one JSON object instead of aligned text\n"
    "  --help    print this help and exit\n"
    "\n"
    "Exit status: 0 a variant was selected, 1 no variant matches, 2 bad usage.\n";

/* One answer of the library: an integer, or a string that may be null. */
struct field {
    const char *label;
    int is_integer;
    int integer;
    const char *string;
};

enum { FIELD_COUNT = 11 };

/* Everything the library answers, in the order it is printed. */
struct answers {
    const char *identity;
    int selected;
    struct field fields[FIELD_COUNT];
    char **paths;
    int path_count;
};

static struct field integer_field(const char *label, int value)
{
    struct field f = {0};
    f.label = label;
    f.is_integer = 1;
    f.integer = value;
    return f;
}

static struct field string_field(const char *label, const char *value)
{
    struct field f = {0};
    f.label = label;
    f.string = value;
    return f;
}

static void collect(struct answers *a, const char *identity)
{
    struct field *f = a->fields;

    a->identity = identity;
    a->selected = KIVVMInit(identity);
    *f++ = integer_field("ToolID", KIVVMGetToolID());
    *f++ = string_field("ToolName", KIVVMGetToolName());
    *f++ = integer_field("SubToolID", KIVVMGetSubToolID());
    *f++ = string_field("SubToolName", KIVVMGetSubToolName());
    *f++ = string_field("ToolExpandedName", KIVVMGetToolExpandedName());
    *f++ = string_field("RHOSetupLocation", KIVVMGetRHOSetupLocation());
    *f++ = string_field("ZEFSectionName", KIVVMGetZEFSectionName());
    *f++ = string_field("MenuFile", KIVVMGetMenuFile());
    *f++ = string_field("TooBarFile", KIVVMGetTooBarFile());
    *f++ = string_field("SplashScreenName", KIVVMGetSplashScreenName());
    *f = string_field("HelpFileTagFile", KIVVMGetHelpFileTagFile());
    a->path_count = KIVVMGetSetupPaths(&a->paths);
}

static void print_text(const struct answers *a)
{
    int i;

    printf("%-18s %s\n", "identity", a->identity);
    printf("%-18s %s\n", "selected", a->selected ? "yes" : "no");
    for (i = 0; i < FIELD_COUNT; ++i) {
        const struct field *f = &a->fields[i];
        if (f->is_integer) {
            printf("%-18s %d\n", f->label, f->integer);
        } else {
            printf("%-18s %s\n", f->label, f->string ? f->string : "(null)");
        }
    }
    if (a->path_count == 0) {
        printf("%-18s %s\n", "SetupPaths", "(none)");
    }
    for (i = 0; i < a->path_count; ++i) {
        printf("%-18s %s\n", i == 0 ? "SetupPaths" : "", a->paths[i]);
    }
}

/* A JSON string literal; bytes from 0x80 up pass through unchanged. */
static void print_json_string(const char *s)
{
    const unsigned char *p;

    if (s == NULL) {
        fputs("null", stdout);
        return;
    }
    putchar('"');
    for (p = (const unsigned char *)s; *p != '\0'; ++p) {
        switch (*p) {
        case '"': fputs("\\\"", stdout); break;
        case '\\': fputs("\\\\", stdout); break;
        case '\b': fputs("\\b", stdout); break;
        case '\f': fputs("\\f", stdout); break;
        case '\n': fputs("\\n", stdout); break;
        case '\r': fputs("\\r", stdout); break;
        case '\t': fputs("\\t", stdout); break;
        default:
            if (*p < 0x20) {
                printf("\\u%04x", (unsigned)*p);
            } else {
                putchar(*p);
            }
        }
    }
    putchar('"');
}

static void print_json(const struct answers *a)
{
    int i;

    fputs("{\n  \"identity\": ", stdout);
    print_json_string(a->identity);
    printf(",\n  \"selected\": %s", a->selected ? "true" : "false");
    for (i = 0; i < FIELD_COUNT; ++i) {
        const struct field *f = &a->fields[i];
        printf(",\n  \"%s\": ", f->label);
        if (f->is_integer) {
            printf("%d", f->integer);
        } else {
            print_json_string(f->string);
        }
    }
    fputs(",\n  \"SetupPaths\": [", stdout);
    for (i = 0; i < a->path_count; ++i) {
        fputs(i == 0 ? "" : ", ", stdout);
        print_json_string(a->paths[i]);
    }
    fputs("]\n}\n", stdout);
}

int main(int argc, char **argv)
{
    int json = 0;
    int i = 1;
    struct answers a;

    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        } else if (strcmp(argv[i], "--json") == 0) {
            json = 1;
        } else if (strcmp(argv[i], "--help") == 0) {
            fputs(usage, stdout);
            return EXIT_SELECTED;
        } else {
            fprintf(stderr, "kivvm: unknown option %s\n", argv[i]);
            fputs(usage, stderr);
            return EXIT_USAGE;
        }
    }
    if (argc - i != 1) {
        fputs(usage, stderr);
        return EXIT_USAGE;
    }

    collect(&a, argv[i]);
    if (!a.selected) {
        fprintf(stderr, "kivvm: no variant matches \"%s\"\n", a.identity);
    }
    if (json) {
        print_json(&a);
    } else {
        print_text(&a);
    }
    KIVVMFreeSetupPaths(a.paths, a.path_count);
    return a.selected ? EXIT_SELECTED : EXIT_NO_MATCH;
}
