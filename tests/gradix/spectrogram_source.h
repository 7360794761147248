// Where the colour-bar tests get their "spectrogram~" class from.
//
// gradix only sees a spectrogram~ through cords, attribute reads and
// notifications, so until the real plug-in is built the tests register a
// small stand-in UI class of that name with the attributes gradix reads
// (mag_min, mag_max, color_scheme, custom_color1..5) and one it must ignore
// (textsize).  Built with GRADIX_TESTS_REAL_SPECTROGRAM=1 they load the real
// spectrogram~ plug-in instead; the tests themselves do not change.
#pragma once

#include "ext.h"

#include <string>

// Makes the class "spectrogram~" available in the box name space, once per
// process.  False and a reason in *err when it cannot.
bool provide_spectrogram_class(std::string *err);

// True when the stand-in is in use (a few tests drive stand-in-only knobs).
bool spectrogram_is_standin();

// Stand-in only: custom_color<stop> (1..5) answers three values instead of
// four from now on; 0 restores all five.
void standin_shorten_custom_color(t_object *spectrogram, int stop);
