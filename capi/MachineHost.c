/* A C host of the C interface: `machine_host [--machine FILE] --json` prints what
 * `hwsnap --json` prints, after walking every snapshot through the accessors. The fixture
 * machines run through it as through hwsnap. */
#include "systemmonitor/systemmonitor.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "machine_host: %s\n", what);
        ++failures;
    }
}

/* Every accessor answers for every node and property; an index past the end is an error. */
static void walk(const sm_node *node) {
    size_t i;
    expect(sm_node_name(node) != NULL && sm_node_key(node) != NULL, "node without name or key");
    expect(sm_node_type_of(node) >= SM_SYSTEM_ROOT && sm_node_type_of(node) <= SM_VOLUME,
           "node type out of range");
    expect(sm_node_type_name(node) != NULL, "node without type name");
    for (i = 0; i < sm_node_property_count(node); ++i) {
        const sm_property *property = sm_node_property(node, i);
        expect(property != NULL && sm_property_key(property) != NULL &&
                   sm_property_text(property) != NULL,
               "property without key or text");
        expect(sm_property_type(property) <= SM_DOUBLE, "property type out of range");
    }
    expect(sm_node_property(node, i) == NULL && sm_last_error()[0] != '\0',
           "property past the end");
    for (i = 0; i < sm_node_child_count(node); ++i) {
        walk(sm_node_child(node, i));
    }
    expect(sm_node_child(node, i) == NULL, "child past the end");
}

static int print_snapshot(void) {
    sm_snapshot *snapshot = sm_snapshot_take();
    const char *json;
    if (snapshot == NULL) {
        fprintf(stderr, "machine_host: %s\n", sm_last_error());
        return 1;
    }
    walk(sm_snapshot_root(snapshot));
    json = sm_snapshot_to_json(snapshot);
    expect(json == sm_snapshot_to_json(snapshot), "the JSON text moved");
    printf("%s\n", json);
    sm_snapshot_free(snapshot);
    return 0;
}

int main(int argc, char **argv) {
    const char *path = NULL;
    sm_machine *machine;
    size_t step;
    int i;
    for (i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--machine") == 0 && i + 1 < argc) {
            path = argv[++i];
        } else if (strcmp(argv[i], "--version") == 0) {
            printf("systemmonitor-c %s\n", sm_version());
            return 0;
        }
    }
    expect(sm_snapshot_root(NULL) == NULL && sm_last_error()[0] != '\0', "NULL accepted");
    if (path == NULL) {
        return print_snapshot() || failures != 0;
    }
    machine = sm_machine_open(path);
    if (machine == NULL) {
        fprintf(stderr, "machine_host: %s\n", sm_last_error());
        return 2;
    }
    expect(sm_machine_open(path) == NULL, "a second machine opened");
    for (step = 0; step < sm_machine_step_count(machine); ++step) {
        if (sm_machine_step(machine, step) != 0 || print_snapshot() != 0) {
            return 1;
        }
    }
    expect(sm_machine_step(machine, step) != 0, "a step past the last");
    sm_machine_close(machine);
    return failures != 0;
}
