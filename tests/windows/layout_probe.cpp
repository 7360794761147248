// The sizes and field offsets of the SDK types that plug-ins and the host
// share, as one array of numbers.  `./run windows-check` compiles this
// file for Windows x64 twice, against the host's headers and against the
// real SDK's, and compares the arrays in the generated assembly: Windows is
// LLP64 (long is 32 bits) and pads some records differently from Linux, so
// the host's headers must give the SDK's Windows layouts there.
#include "ext.h"
#include "ext_obex.h"
#include "jpatcher_api.h"
#include "jgraphics.h"
#include "ext_buffer.h"
#include "ext_critical.h"
#include "ext_sysparallel.h"

#include <stddef.h>

#define FIELD(type, field) offsetof(type, field)

// sizeof(t_jbox) first: the check names it.
extern "C" const unsigned long long layout_probe[] = {
    sizeof(t_jbox),
    sizeof(long), sizeof(t_atom_long), sizeof(t_max_err), sizeof(t_ptr_int), sizeof(t_critical),
    sizeof(t_symbol), FIELD(t_symbol, s_thing),
    sizeof(t_atom), FIELD(t_atom, a_w),
    sizeof(t_object), FIELD(t_object, o_magic), FIELD(t_object, o_inlet), FIELD(t_object, o_outlet),
    sizeof(t_messlist), FIELD(t_messlist, m_fun), FIELD(t_messlist, m_type),
    sizeof(t_class), FIELD(t_class, c_size), FIELD(t_class, c_tiny), FIELD(t_class, c_filename),
    FIELD(t_class, c_flags), FIELD(t_class, c_messcount), FIELD(t_class, c_messlist), FIELD(t_class, c_obexoffset),
    FIELD(t_class, c_attr_get), FIELD(t_class, c_superclass),
    sizeof(t_pt), sizeof(t_rect), sizeof(t_jrgba), sizeof(t_jgraphics_format), sizeof(t_jpopupmenu_options),
    sizeof(t_jbox), FIELD(t_jbox, obex), FIELD(t_jbox, b_patcher), FIELD(t_jbox, b_patching_rect),
    FIELD(t_jbox, b_presentation_rect), FIELD(t_jbox, b_name), FIELD(t_jbox, b_id), FIELD(t_jbox, b_firstin),
    FIELD(t_jbox, b_fontname), FIELD(t_jbox, b_fontsize), FIELD(t_jbox, b_color), FIELD(t_jbox, b_binbuf),
    FIELD(t_jbox, b_temp), FIELD(t_jbox, b_spooled), FIELD(t_jbox, b_growy), FIELD(t_jbox, b_fontface),
    FIELD(t_jbox, b_annotation), FIELD(t_jbox, b_opaque), FIELD(t_jbox, b_editactive),
    FIELD(t_jbox, b_prototypename), FIELD(t_jbox, b_commasupport), FIELD(t_jbox, b_ptemp),
    sizeof(t_sysparallel_task), FIELD(t_sysparallel_task, data), FIELD(t_sysparallel_task, workerproc),
    FIELD(t_sysparallel_task, workercount), FIELD(t_sysparallel_task, workers), FIELD(t_sysparallel_task, priority),
    FIELD(t_sysparallel_task, benchmark), FIELD(t_sysparallel_task, iteration), FIELD(t_sysparallel_task, begintime),
    FIELD(t_sysparallel_task, cancel), FIELD(t_sysparallel_task, pool), FIELD(t_sysparallel_task, maxworkercount),
    FIELD(t_sysparallel_task, flags),
    sizeof(t_sysparallel_worker), FIELD(t_sysparallel_worker, data), FIELD(t_sysparallel_worker, workerproc),
    FIELD(t_sysparallel_worker, task), FIELD(t_sysparallel_worker, id), FIELD(t_sysparallel_worker, begintime),
    FIELD(t_sysparallel_worker, endtime),
    sizeof(t_attr), FIELD(t_attr, reserved),
    sizeof(t_dictionary),
};
