// The host's SDK types have the real SDK's sizes and field offsets on
// Linux x86-64, so a plug-in built against the real headers finds every
// field where it expects it.
#include "ext.h"
#include "ext_obex.h"
#include "jgraphics.h"
#include "ext_buffer.h"
#include "ext_critical.h"
#include "ext_sysparallel.h"

#include <gtest/gtest.h>



TEST(Layout, BasicTypes)
{
    EXPECT_EQ(sizeof(t_object), 32u);
    EXPECT_EQ(offsetof(t_object, o_messlist), 0u);
    EXPECT_EQ(offsetof(t_object, o_magic), 8u);
    EXPECT_EQ(offsetof(t_object, o_inlet), 16u);
    EXPECT_EQ(offsetof(t_object, o_outlet), 24u);
    EXPECT_EQ(sizeof(t_symbol), 16u);
    EXPECT_EQ(offsetof(t_symbol, s_thing), 8u);
    EXPECT_EQ(sizeof(t_atom), 16u);
    EXPECT_EQ(offsetof(t_atom, a_w), 8u);
    EXPECT_EQ(sizeof(t_messlist), 24u);
    EXPECT_EQ(offsetof(t_messlist, m_type), 16u);
    EXPECT_EQ(sizeof(t_jrgba), 32u);
    EXPECT_EQ(sizeof(t_rect), 32u);
    EXPECT_EQ(sizeof(t_pt), 16u);
    EXPECT_EQ(sizeof(t_attr), 96u);
    EXPECT_EQ(offsetof(t_attr, reserved), 88u);
    EXPECT_EQ(sizeof(t_dictionary), 64u);
    EXPECT_EQ(sizeof(t_critical), 8u);
    EXPECT_EQ(sizeof(t_max_err), 8u);
    EXPECT_EQ(sizeof(t_atom_long), 8u);
    EXPECT_EQ(sizeof(t_atom_float), 8u);
    EXPECT_EQ(sizeof(long), 8u);
    EXPECT_EQ(sizeof(t_fourcc), 4u);
    EXPECT_EQ(sizeof(t_jgraphics_format), 4u);
    EXPECT_EQ(sizeof(t_filepath), 2u);
}

TEST(Layout, Class)
{
    EXPECT_EQ(sizeof(t_class), 152u);
    EXPECT_EQ(offsetof(t_class, c_size), 24u);
    EXPECT_EQ(offsetof(t_class, c_tiny), 32u);
    EXPECT_EQ(offsetof(t_class, c_noinlet), 33u);
    EXPECT_EQ(offsetof(t_class, c_filename), 40u);
    EXPECT_EQ(offsetof(t_class, c_menufun), 56u);
    EXPECT_EQ(offsetof(t_class, c_flags), 64u);
    EXPECT_EQ(offsetof(t_class, c_messlist), 80u);
    EXPECT_EQ(offsetof(t_class, c_obexoffset), 104u);
    EXPECT_EQ(offsetof(t_class, c_attr_get), 120u);
    EXPECT_EQ(offsetof(t_class, c_superclass), 144u);
}

TEST(Layout, Box)
{
    EXPECT_EQ(sizeof(t_jbox), 288u);
    EXPECT_EQ(offsetof(t_jbox, obex), 32u);
    EXPECT_EQ(offsetof(t_jbox, b_patcher), 40u);
    EXPECT_EQ(offsetof(t_jbox, b_patching_rect), 48u);
    EXPECT_EQ(offsetof(t_jbox, b_presentation_rect), 80u);
    EXPECT_EQ(offsetof(t_jbox, b_name), 112u);
    EXPECT_EQ(offsetof(t_jbox, b_id), 120u);
    EXPECT_EQ(offsetof(t_jbox, b_firstin), 128u);
    EXPECT_EQ(offsetof(t_jbox, b_fontsize), 152u);
    EXPECT_EQ(offsetof(t_jbox, b_color), 168u);
    EXPECT_EQ(offsetof(t_jbox, b_binbuf), 208u);
    EXPECT_EQ(offsetof(t_jbox, b_temp), 216u);
    EXPECT_EQ(offsetof(t_jbox, b_spooled), 224u);
    EXPECT_EQ(offsetof(t_jbox, b_growy), 232u);
    EXPECT_EQ(offsetof(t_jbox, b_fontface), 243u);
    EXPECT_EQ(offsetof(t_jbox, b_annotation), 248u);
    EXPECT_EQ(offsetof(t_jbox, b_opaque), 256u);
    EXPECT_EQ(offsetof(t_jbox, b_editactive), 259u);
    EXPECT_EQ(offsetof(t_jbox, b_prototypename), 264u);
    EXPECT_EQ(offsetof(t_jbox, b_commasupport), 272u);
    EXPECT_EQ(offsetof(t_jbox, b_reserved3), 275u);
    EXPECT_EQ(offsetof(t_jbox, b_ptemp), 280u);
}

TEST(Layout, ParallelTasks)
{
    EXPECT_EQ(sizeof(t_sysparallel_worker), 88u);
    EXPECT_EQ(offsetof(t_sysparallel_worker, data), 40u);
    EXPECT_EQ(offsetof(t_sysparallel_worker, task), 56u);
    EXPECT_EQ(offsetof(t_sysparallel_worker, id), 64u);
    EXPECT_EQ(offsetof(t_sysparallel_worker, endtime), 80u);
    EXPECT_EQ(sizeof(t_sysparallel_task), 136u);
    EXPECT_EQ(offsetof(t_sysparallel_task, workercount), 56u);
    EXPECT_EQ(offsetof(t_sysparallel_task, workers), 64u);
    EXPECT_EQ(offsetof(t_sysparallel_task, priority), 72u);
    EXPECT_EQ(offsetof(t_sysparallel_task, benchmark), 73u);
    EXPECT_EQ(offsetof(t_sysparallel_task, iteration), 80u);
    EXPECT_EQ(offsetof(t_sysparallel_task, cancel), 104u);
    EXPECT_EQ(offsetof(t_sysparallel_task, maxworkercount), 120u);
    EXPECT_EQ(offsetof(t_sysparallel_task, flags), 128u);
}

TEST(Layout, Constants)
{
    EXPECT_EQ(CLASS_FLAG_NEWDICTIONARY, 4);
    EXPECT_EQ(JBOX_FIXWIDTH, 0x80000);
    EXPECT_EQ(JBOX_DRAWFIRSTIN | JBOX_DRAWINLAST | JBOX_TRANSPARENT | JBOX_GROWBOTH | JBOX_HILITE, 0x14D);
    EXPECT_EQ(ePopupMenu, 128);
    EXPECT_EQ(eShiftKey, 2);
    EXPECT_EQ(JMOUSE_CURSOR_ARROW, 1);
    EXPECT_EQ(JMOUSE_CURSOR_CROSSHAIR, 4);
    EXPECT_EQ(JMOUSE_CURSOR_DRAGGINGHAND, 7);
    EXPECT_EQ(PATH_TYPE_TILDE, 7);
    EXPECT_EQ(PATH_TYPE_BOOT, 3);
    EXPECT_EQ((long)MAGIC, 1758379419L);
    EXPECT_EQ(FOUR_CHAR_CODE('PNG '), 0x504E4720);
    EXPECT_EQ(A_GIMME, 8);
    EXPECT_EQ(A_CANT, 9);
    EXPECT_EQ(ASSIST_MAX_STRING_LEN, 500);
}
