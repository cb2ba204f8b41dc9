/* Host threads calling at once: the library serialises what must not overlap, and each thread
 * has its own last error. `thread_host MACHINE`: every thread's snapshots must equal the first. */
#include "systemmonitor/systemmonitor.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { THREADS = 4, ROUNDS = 8 };
static char *expected;

static void *take(void *failed) {
    int round;
    /* The main thread's failure is not this thread's. */
    if (sm_last_error()[0] != '\0') {
        *(int *)failed = 1;
    }
    for (round = 0; round < ROUNDS; ++round) {
        sm_snapshot *snapshot = sm_snapshot_take();
        if (snapshot == NULL || strcmp(sm_snapshot_to_json(snapshot), expected) != 0) {
            *(int *)failed = 1;
        }
        sm_snapshot_free(snapshot);
    }
    return NULL;
}

int main(int argc, char **argv) {
    pthread_t threads[THREADS];
    int failed[THREADS] = {0};
    int i;
    int status = 0;
    sm_snapshot *first;
    sm_machine *machine = argc == 2 ? sm_machine_open(argv[1]) : NULL;
    if (machine == NULL) {
        fprintf(stderr, "thread_host: %s\n", argc == 2 ? sm_last_error() : "usage: thread_host MACHINE");
        return 2;
    }
    first = sm_snapshot_take();
    expected = malloc(strlen(sm_snapshot_to_json(first)) + 1);
    strcpy(expected, sm_snapshot_to_json(first));
    sm_snapshot_free(first);
    sm_node_child(NULL, 0);
    for (i = 0; i < THREADS; ++i) {
        pthread_create(&threads[i], NULL, take, &failed[i]);
    }
    for (i = 0; i < THREADS; ++i) {
        pthread_join(threads[i], NULL);
        if (failed[i]) {
            fprintf(stderr, "thread_host: thread %d saw another snapshot or error\n", i);
            status = 1;
        }
    }
    if (sm_last_error()[0] == '\0') {
        fprintf(stderr, "thread_host: the main thread's error is gone\n");
        status = 1;
    }
    free(expected);
    sm_machine_close(machine);
    return status;
}
