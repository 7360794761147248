// Parallel tasks: one call of the worker function per worker, each on its own
// thread with its own worker record; execute returns when all have finished.
#pragma once

#include "ext_mess.h"

enum t_sysparallel_priority {
    SYSPARALLEL_PRIORITY_DEFAULT = 0x00,
    SYSPARALLEL_PRIORITY_LOW = 0x00,
    SYSPARALLEL_PRIORITY_MEDIUM = 0x04,
    SYSPARALLEL_PRIORITY_HIGH = 0x08,
    SYSPARALLEL_PRIORITY_TASK_LOCAL = 0xa0
};

#define SYSPARALLEL_STATE_IDLE 0
#define SYSPARALLEL_STATE_RUN 1
#define SYSPARALLEL_STATE_DONE 0
#define SYSPARALLEL_STATE_QUIT 3
#define SYSPARALLEL_MAX_WORKERS 64
#define SYSPARALLEL_TASK_FLAG_WORKERTRIGGERS 0x1

struct _sysparallel_worker;
struct _sysparallel_thread_pool;

typedef struct _sysparallel_task {
    t_object ob;
    void *obex;
    void *data;
    method workerproc;
    long workercount;
    struct _sysparallel_worker **workers;
    unsigned char priority;
    char benchmark;
    long iteration;
    double begintime;
    double endtime;
    long cancel;
    struct _sysparallel_thread_pool *pool;
    long maxworkercount;
    long flags;
} t_sysparallel_task;

typedef struct _sysparallel_worker {
    t_object ob;
    void *obex;
    void *data;
    method workerproc;
    t_sysparallel_task *task;
    long id;
    double begintime;
    double endtime;
} t_sysparallel_worker;

BEGIN_USING_C_LINKAGE
long sysparallel_processorcount(void);
t_sysparallel_task *sysparallel_task_new(void *data, method workerproc, long maxworkercount);
t_max_err sysparallel_task_workercount(t_sysparallel_task *x, long workercount);
t_max_err sysparallel_task_execute(t_sysparallel_task *x);
void sysparallel_task_free(t_sysparallel_task *x);
END_USING_C_LINKAGE
