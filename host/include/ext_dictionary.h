// Dictionaries: only pointers are used by plug-ins.
#pragma once

#include "ext_mess.h"

typedef struct _hashtab t_hashtab;
typedef struct _linklist t_linklist;

typedef struct _dictionary {
    t_object d_obj;
    t_hashtab *d_hashtab;
    t_linklist *d_linklist;
    void *d_transaction_mutex;
    char d_use_transaction;
} t_dictionary;
